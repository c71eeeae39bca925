"""stoer_wagner_bisect on random dense weighted graphs against the pure-Python
reference, a NumPy implementation with the same arithmetic order (results
checked identical) and networkx.stoer_wagner (same cut weight checked); and
tavik.arrays.stoer_wagner_bisect on the edges as an (m, 3) array."""

import math
import os
import random
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


if __name__ == "__main__":
    main()
