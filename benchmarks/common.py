"""Timing and table helpers shared by the benchmark scripts."""

import time


def best_time(fn, repeat=5, min_seconds=0.2):
    """Best wall-clock time of one call of fn(), over `repeat` rounds of as many
    calls as fill `min_seconds`."""
    fn()  # warm up (lazy initialisation, caches)
    calls = 1
    while True:
        start = time.perf_counter()
        for _ in range(calls):
            fn()
        elapsed = time.perf_counter() - start
        if elapsed >= min_seconds or calls >= 1 << 20:
            break
        calls *= 2
    best = elapsed / calls
    for _ in range(repeat - 1):
        start = time.perf_counter()
        for _ in range(calls):
            fn()
        best = min(best, (time.perf_counter() - start) / calls)
    return best


def cpu_time(fn, repeat=5):
    """Least CPU time of one call of fn() (all threads): on a shared machine,
    others' load disturbs it less than wall-clock time."""
    fn()
    best = float("inf")
    for _ in range(repeat):
        start = time.process_time()
        fn()
        best = min(best, time.process_time() - start)
    return best


def fmt_time(seconds):
    if seconds is None:
        return "-"
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6), ("ns", 1e-9)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def print_table(title, header, rows):
    """Print rows (lists of cells) under a header, columns left-aligned."""
    cells = [header] + [[str(c) for c in row] for row in rows]
    widths = [max(len(r[i]) for r in cells) for i in range(len(header))]
    print(f"\n{title}")
    for k, row in enumerate(cells):
        print("  ".join(c.ljust(w) for c, w in zip(row, widths)).rstrip())
        if k == 0:
            print("  ".join("-" * w for w in widths))
