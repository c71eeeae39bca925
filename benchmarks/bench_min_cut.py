"""tavik.graphs.min_cut against igraph's Graph.mincut() (same value checked) at 20,000
nodes and 100,000 edges, then alone on graphs of a million edges: time, the memory the
call adds to the process at its peak, and how soon Ctrl-C stops it.

Run: python benchmarks/bench_min_cut.py [--quick]  (--quick leaves out igraph, which takes
minutes at this size)."""

import os
import resource
import signal
import sys
import time

import numpy as np

sys.path.insert(0, os.path.dirname(__file__))

from common import fmt_time, print_table  # noqa: E402
from tavik import graphs  # noqa: E402

try:
    import igraph
except ImportError:  # a peer for comparison only
    igraph = None


def planted(rng, n, m, crossing):
    """Two random halves of m/2 edges each (a ring through each keeps it connected),
    joined by `crossing` light edges: the minimum cut is those edges, between the halves."""
    half = n // 2
    parts = []
    for lo in (0, half):
        u = rng.integers(lo, lo + half, m // 2 - half)
        v = rng.integers(lo, lo + half, m // 2 - half)
        ring = np.arange(lo, lo + half)
        parts.append((np.concatenate([u, ring]), np.concatenate([v, np.roll(ring, 1)])))
    rows = np.concatenate([parts[0][0], parts[1][0], rng.integers(0, half, crossing)])
    cols = np.concatenate([parts[0][1], parts[1][1], rng.integers(half, n, crossing)])
    weights = np.concatenate([rng.uniform(1.0, 4.0, len(rows) - crossing), rng.uniform(0.01, 0.1, crossing)])
    return rows, cols, weights, n


def random_graph(rng, n, m):
    u, v = rng.integers(0, n, m - n), rng.integers(0, n, m - n)
    ring = np.arange(n)
    return np.concatenate([u, ring]), np.concatenate([v, np.roll(ring, 1)]), rng.uniform(0.5, 2.0, m), n


def grid(side):
    ids = np.arange(side * side).reshape(side, side)
    rows = np.concatenate([ids[:, :-1].ravel(), ids[:-1, :].ravel()])
    cols = np.concatenate([ids[:, 1:].ravel(), ids[1:, :].ravel()])
    return rows, cols, np.random.default_rng(3).integers(1, 5, len(rows)).astype(float), side * side


def timed(graph):
    rows, cols, weights, n = graph
    start = time.perf_counter()
    cut = graphs.min_cut((rows, cols, weights), n_nodes=n)
    return cut, time.perf_counter() - start


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def peak_extra(graph):
    """Bytes the call adds at its peak (Linux: the process's high-water mark after the
    call against its resident size before; the inputs already exist)."""
    before = rss_bytes()
    timed(graph)
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - before


def stop_latency(graph, after=0.05):
    """Seconds from a SIGINT, sent `after` seconds into the call, to KeyboardInterrupt."""
    fired = []
    previous = signal.signal(signal.SIGALRM, lambda *_: (fired.append(time.perf_counter()),
                                                         os.kill(os.getpid(), signal.SIGINT)))
    # Started in the background by a shell, a process inherits SIGINT ignored.
    previous_int = signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.setitimer(signal.ITIMER_REAL, after)
    try:
        timed(graph)
        return None  # done before the signal
    except KeyboardInterrupt:
        return time.perf_counter() - fired[0]
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
        signal.signal(signal.SIGINT, previous_int)


def main():
    quick = "--quick" in sys.argv
    rng = np.random.default_rng(2026)
    rows = []
    graph = planted(rng, 20_000, 100_000, 12)
    cut, ours = timed(graph)
    if igraph is not None and not quick:
        peer = igraph.Graph(n=graph[3], edges=np.column_stack(graph[:2]).tolist())
        start = time.perf_counter()
        theirs = peer.mincut(capacity=graph[2].tolist())
        seconds = time.perf_counter() - start
        assert theirs.value == cut.value or abs(theirs.value - cut.value) <= 1e-12 * cut.value, (theirs.value, cut)
        rows.append(["planted, 20k nodes, 100k edges", fmt_time(ours), fmt_time(seconds), f"{seconds / ours:.0f}x",
                     f"{cut.value:.6g} both"])
    else:
        rows.append(["planted, 20k nodes, 100k edges", fmt_time(ours), "-", "-", f"{cut.value:.6g}"])
    print_table("min_cut against igraph's Graph.mincut()", ["graph", "tavik", "igraph", "ratio", "value"], rows)

    big = {
        "random, 200k nodes, 1M edges": random_graph(rng, 200_000, 1_000_000),
        "planted, 200k nodes, 1M edges": planted(rng, 200_000, 1_000_000, 20),
        "grid 708 x 708 (1M edges)": grid(708),
        "random, 100k nodes, 5M edges": random_graph(rng, 100_000, 5_000_000),
    }
    table = []
    for name, g in big.items():
        cut, seconds = timed(g)
        table.append([name, f"{len(g[0]):,}", fmt_time(seconds), f"{cut.value:.6g}", len(cut.side)])
    print_table("min_cut alone", ["graph", "edges", "time", "value", "side"], table)
    extra = peak_extra(big["random, 100k nodes, 5M edges"])
    print(f"\npeak memory added by the 5M-edge call: {extra / 2**20:.0f} MiB ({extra / 5e6:.0f} bytes an edge)")
    latency = stop_latency(big["random, 100k nodes, 5M edges"])
    print("Ctrl-C 0.05 s into the 5M-edge call: " + ("finished first" if latency is None else
                                                     f"stopped after {latency * 1e3:.1f} ms"))


if __name__ == "__main__":
    main()
