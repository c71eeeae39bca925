"""stoer_wagner_bisect on random dense weighted graphs against the pure-Python
reference, a NumPy implementation with the same arithmetic order (results
checked identical) and networkx.stoer_wagner (same cut weight checked); and
tavik.arrays.stoer_wagner_bisect on the edges as an (m, 3) array. Then sparse
graphs (a ring with random chords): against networkx at 1,000 nodes, and the
growth of time and memory from 2,000 to 20,000 nodes."""

import inspect
import math
import os
import random
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))

import tavik.arrays as ta  # noqa: E402
import tavik.tavik_core as core  # noqa: E402
from common import best_time, fmt_time, print_table  # noqa: E402
from reference.stoer_wagner import stoer_wagner_bisect as reference  # noqa: E402

try:
    import networkx as nx
except ImportError:  # the `bench` extra installs it
    nx = None


def numpy_bisect(edges, n):
    """The documented phases with vectorised tightness updates (elementwise,
    so in the same order) and a sequential cumulative sum for the cut."""
    adj = np.zeros((n, n))
    for i, j, w in edges:
        adj[i, j] = w + adj[i, j]
        adj[j, i] = w + adj[j, i]
    groups = [[v] for v in range(n)]
    active = np.ones(n, dtype=bool)
    best_weight, best_side = math.inf, []
    for _ in range(n - 1):
        start = int(np.argmax(active))
        candidate = active.copy()
        candidate[start] = False
        tight = np.where(candidate, adj[start], -math.inf)
        last = start
        for _ in range(int(active.sum()) - 1):
            prev = last
            masked = np.where(candidate & ~np.isnan(tight), tight, -math.inf)
            last = int(np.argmax(masked))  # first maximum: the lowest index wins ties
            if masked[last] == -math.inf:
                raise RuntimeError("a candidate remains while n_in_a < active_count")
            candidate[last] = False
            tight[candidate] = adj[last, candidate] + tight[candidate]
        s, t = prev, last
        others = active.copy()
        others[t] = False
        cut = float(np.cumsum(adj[t, others])[-1])
        if cut < best_weight:
            best_weight, best_side = cut, list(groups[t])
        others[s] = False
        adj[s, others] = adj[t, others] + adj[s, others]
        adj[others, s] = adj[others, t] + adj[others, s]
        groups[s] += groups[t]
        groups[t] = []
        active[t] = False
    return best_weight, best_side


def dense_graph(n, seed):
    # Integer weights: every implementation's sums are exact, so networkx's
    # cut weight can be compared exactly.
    rng = random.Random(seed)
    return [(i, j, float(rng.randint(1, 1000))) for i in range(n) for j in range(i + 1, n)]


def ring_with_chords(n, chords, seed):
    """A ring (so connected) and `chords` random edges, parallel edges and
    self-loops included; integer weights, so every sum is exact."""
    rng = random.Random(seed)
    edges = [(i, (i + 1) % n, float(rng.randint(1, 1000))) for i in range(n)]
    return edges + [(rng.randrange(n), rng.randrange(n), float(rng.randint(1, 1000))) for _ in range(chords)]


# Run in a fresh interpreter that builds the edges itself. Its peak resident
# memory is set back to the current size just before the call (clear_refs),
# so the peak less the size before is what the call took.
MEASURE = """
import random, time
import tavik.tavik_core as core
{source}
edges = ring_with_chords({n}, {chords}, {n})

def resident(field):
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) * 1024 for line in status if line.startswith(field))

with open("/proc/self/clear_refs", "w") as clear:
    clear.write("5")
before = resident("VmRSS:")
start = time.perf_counter()
core.stoer_wagner_bisect(edges, {n})
print(time.perf_counter() - start, resident("VmHWM:") - before)
"""


def time_and_memory(n, chords):
    code = MEASURE.format(source=inspect.getsource(ring_with_chords), n=n, chords=chords)
    seconds, memory = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                                     check=True).stdout.split()
    return float(seconds), int(memory)


def sparse_rows():
    n = 1000
    edges = ring_with_chords(n, 4 * n, n)
    t_core = best_time(lambda: core.stoer_wagner_bisect(edges, n), repeat=3)
    t_nx = None
    if nx is not None:
        graph = nx.Graph()
        graph.add_nodes_from(range(n))
        for i, j, w in edges:
            if i != j:
                graph.add_edge(i, j, weight=w + graph.get_edge_data(i, j, {"weight": 0.0})["weight"])
        cut, _ = nx.stoer_wagner(graph)
        assert cut == core.stoer_wagner_bisect(edges, n)[0], "networkx cut differs"
        t_nx = best_time(lambda: nx.stoer_wagner(graph), repeat=1, min_seconds=0)
    print_table(
        "stoer_wagner_bisect, a ring and 4n random chords with random integer weights",
        ["n", "edges", "tavik_core", "networkx", "vs networkx"],
        [[n, len(edges), fmt_time(t_core), fmt_time(t_nx), f"{t_nx / t_core:.0f}x" if t_nx else "-"]],
    )

    rows, first = [], None
    for n in (2000, 20000):
        seconds, memory = time_and_memory(n, 3 * n)
        first = first or (seconds, memory)
        rows.append([n, 4 * n, fmt_time(seconds), f"{seconds / first[0]:.0f}x", f"{memory / 2**20:.1f} MB",
                     f"{memory / first[1]:.1f}x"])
    print_table(
        "stoer_wagner_bisect, a ring and 3n random chords (one run each, in a fresh interpreter)",
        ["n", "edges", "time", "vs n=2000", "memory of the call", "vs n=2000"],
        rows,
    )


def main():
    rows = []
    for n in (100, 200, 400):
        edges = dense_graph(n, n)
        ours = core.stoer_wagner_bisect(edges, n)
        slow = n <= 200  # the pure-Python and networkx runs take minutes at 400 nodes
        t_core = best_time(lambda: core.stoer_wagner_bisect(edges, n))
        table = np.array(edges)
        weight, side = ta.stoer_wagner_bisect(table, n)
        assert (weight, side.tolist()) == ours, "tavik.arrays differs"
        t_arrays = best_time(lambda: ta.stoer_wagner_bisect(table, n))
        t_np = best_time(lambda: numpy_bisect(edges, n), repeat=1, min_seconds=0)
        assert numpy_bisect(edges, n) == ours, "NumPy implementation differs"
        t_ref = t_nx = None
        if slow:
            assert reference(edges, n) == ours, "reference differs"
            t_ref = best_time(lambda: reference(edges, n), repeat=1, min_seconds=0)
        if nx is not None and slow:
            graph = nx.Graph()
            graph.add_nodes_from(range(n))
            graph.add_weighted_edges_from(edges)
            cut, _ = nx.stoer_wagner(graph)
            assert cut == ours[0], f"networkx cut {cut} != {ours[0]}"
            t_nx = best_time(lambda: nx.stoer_wagner(graph), repeat=1, min_seconds=0)

        def ratio(t):
            return f"{t / t_core:.0f}x" if t else "-"

        rows.append([n, len(edges), fmt_time(t_core), fmt_time(t_arrays), fmt_time(t_np), fmt_time(t_ref),
                     fmt_time(t_nx), f"{t_core / t_arrays:.2f}x", ratio(t_np), ratio(t_ref), ratio(t_nx)])
    print_table(
        "stoer_wagner_bisect, complete graphs with random integer weights "
        "(best of runs; 2 shared cores, expect noise)",
        ["n", "edges", "tavik_core", "arrays", "NumPy", "pure Python", "networkx", "arrays vs core", "vs NumPy",
         "vs Python", "vs networkx"],
        rows,
    )
    print("tavik_core includes converting the edge list; networkx times exclude building its Graph.")
    print("arrays: tavik.arrays.stoer_wagner_bisect on an (m, 3) float64 array; ratios are against tavik_core.")
    sparse_rows()


if __name__ == "__main__":
    main()
