"""tavik.graphs.min_cut: minimal by brute force (value and side, exact sums), the twin's
value bit for bit where sums are exact, the peers' values on larger graphs, the input forms
and the bad-input table."""

import itertools
import math
import random

import numpy as np
import pytest

from support import run_child
from tavik import arrays, graphs

nx = pytest.importorskip("networkx")
sp = pytest.importorskip("scipy.sparse")


def random_edges(rng, n, m, weight):
    return [(rng.randrange(n), rng.randrange(n), weight()) for _ in range(m)]


def cut_of(edges, side):
    """The exact weight of the edges leaving `side`, correctly rounded."""
    return math.fsum(w for u, v, w in edges if (u in side) != (v in side))


def solve(edges, n):
    u, v, w = zip(*edges) if edges else ((), (), ())
    return graphs.min_cut((np.array(u, dtype=np.int64), np.array(v, dtype=np.int64), np.array(w, float)), n_nodes=n)


WEIGHTS = {
    "integers": lambda rng: lambda: float(rng.randint(0, 4)),
    "uniform": lambda rng: lambda: rng.uniform(0.0, 3.0),
    "tenths (inexact sums, ties)": lambda rng: lambda: rng.choice([0.1, 0.2, 0.3]),
    "subnormal to 1e300 (exact sums rounded once)": lambda rng: lambda: rng.choice([5e-324, 3e-310, 1e-300, 0.7, 1e300]),
}


@pytest.mark.parametrize("kind", list(WEIGHTS))
@pytest.mark.parametrize("n", [2, 3, 5, 8, 11, 14])
def test_minimal_by_brute_force(kind, n):
    rng = random.Random(f"{kind}/{n}")
    for _ in range(12 if n < 12 else 2):
        edges = random_edges(rng, n, rng.randint(0, 3 * n), WEIGHTS[kind](rng))
        cut = solve(edges, n)
        side = set(cut.side.tolist())
        assert sorted(side | set(cut.other.tolist())) == list(range(n)) and 0 < len(side) <= n // 2
        assert cut.value == cut_of(edges, side)  # the exact sum of its own side
        subsets = itertools.chain.from_iterable(itertools.combinations(range(n), k) for k in range(1, n // 2 + 1))
        assert cut.value == min(cut_of(edges, set(s)) for s in subsets)


@pytest.mark.parametrize("scale", [1.0, 0.125, 2.0**-30])
@pytest.mark.parametrize("n", [30, 200])
def test_value_is_the_twins_on_exact_weights(scale, n):
    rng = random.Random(f"{scale}/{n}")
    for density in (0.05, 0.3):
        edges = [(i, j, scale * rng.randint(0, 9)) for i in range(n) for j in range(i) if rng.random() < density]
        edges += edges[: len(edges) // 5]  # parallel edges
        twin, _ = arrays.stoer_wagner_bisect(edges, n)
        assert solve(edges, n).value.hex() == twin.hex()


def planted(rng, n):
    g = nx.Graph()
    half, p = n // 2, min(0.3, 12 / n)
    for part in (range(half), range(half, n)):
        g.add_edges_from((u, v, {"weight": rng.randint(1, 5)}) for u in part for v in part if u < v and rng.random() < p)
    g.add_edges_from((rng.randrange(half), rng.randrange(half, n), {"weight": 1}) for _ in range(3))
    return g


def bridged(rng, n):
    """Two dense halves of unit edges and one bridge, the heaviest edge of all yet lighter than
    any node's degree: the minimum cut, which contracting heavy edges first would lose."""
    g = nx.Graph()
    half, p = n // 2, min(0.5, 60 / n)
    for part in (range(half), range(half, n)):
        g.add_edges_from((u, v, {"weight": 1}) for u in part for v in part if u < v and rng.random() < p)
    g.add_edge(0, n - 1, weight=6)
    return g


FAMILIES = {
    "random": lambda rng, n: nx.gnm_random_graph(n, 4 * n, seed=rng.randrange(10**6)),
    "planted cut": planted,
    "heavy bridge": bridged,
    "grid": lambda rng, n: nx.convert_node_labels_to_integers(nx.grid_2d_graph(int(n**0.5), int(n**0.5))),
    "geometric": lambda rng, n: nx.random_geometric_graph(n, (8 / n) ** 0.5, seed=rng.randrange(10**6)),
}


def weighted(rng, g, integer):
    for _, _, d in g.edges(data=True):
        d.setdefault("weight", rng.randint(1, 9) if integer else rng.uniform(0.5, 2.0))
    return g


@pytest.mark.parametrize("integer", [True, False], ids=["integer", "float"])
@pytest.mark.parametrize("family", list(FAMILIES))
def test_peers_agree(family, integer):
    rng = random.Random(f"{family}/{integer}")
    g = weighted(rng, FAMILIES[family](rng, 120), integer)
    if not nx.is_connected(g):
        g = g.subgraph(max(nx.connected_components(g), key=len)).copy()
    cut = graphs.min_cut(g)
    peer, _ = nx.stoer_wagner(g)
    assert cut.value == peer if integer else math.isclose(cut.value, peer, rel_tol=1e-12)
    assert cut.value == cut_of([(u, v, d["weight"]) for u, v, d in g.edges(data=True)], set(cut.side))
    igraph = pytest.importorskip("igraph")
    big = weighted(rng, FAMILIES[family](rng, 1200), integer)
    labels = list(big.nodes)
    index = {x: i for i, x in enumerate(labels)}
    peer_graph = igraph.Graph(n=len(labels), edges=[(index[u], index[v]) for u, v in big.edges])
    expected = peer_graph.mincut(capacity=[d["weight"] for _, _, d in big.edges(data=True)]).value
    assert math.isclose(graphs.min_cut(big).value, expected, rel_tol=1e-12, abs_tol=0.0)


def test_input_forms_agree():
    rng = random.Random(7)
    g = weighted(rng, nx.gnm_random_graph(40, 160, seed=3), True)
    matrix = nx.to_scipy_sparse_array(g, nodelist=range(40))
    named = nx.relabel_nodes(g, {i: f"n{i}" for i in g.nodes})
    multi = nx.MultiGraph()
    multi.add_nodes_from(g.nodes)
    for u, v, d in g.edges(data=True):  # each weight split over two parallel edges
        multi.add_edge(u, v, cost=d["weight"] - 0.5)
        multi.add_edge(v, u, cost=0.5)
    expected = graphs.min_cut(g)
    assert isinstance(expected.side, list) and expected.value > 0
    for result in (graphs.min_cut(matrix), graphs.min_cut(sp.triu(matrix)), graphs.min_cut(sp.tril(matrix).tocsc())):
        assert (result.value, result.side.tolist(), result.other.tolist()) == (expected.value, *expected[1:])
    assert graphs.min_cut(named)[1:] == tuple([f"n{i}" for i in part] for part in expected[1:])
    assert graphs.min_cut(multi, weight="cost") == expected
    # Disconnected: value 0, the smallest component, whatever the weights.
    g.add_edges_from([(40, 41, {"weight": 5.0}), (41, 42, {"weight": 5.0})])
    assert graphs.min_cut(g) == (0.0, [40, 41, 42], list(range(40)))


BAD = [
    (([0, 1], [1, 2], [1.0, -0.5]), {}, ValueError, "graph weights[1] is -0.5: weights must be finite and >= 0"),
    (([0, 1], [1, 2], [np.nan, 1.0]), {}, ValueError, "graph weights[0] is nan"),
    (([0, 1], [1, 2], [1.0, np.inf]), {}, ValueError, "graph weights[1] is inf"),
    (([0, 1], [1, 2], [1e308, 1e308]), {}, ValueError, "graph: weights: their sum overflows float64"),
    (([0, 1], [1, 7], [1.0, 1.0]), {"n_nodes": 3}, ValueError, "graph cols[1]: index 7 is out of range for n_nodes = 3"),
    (([0], [0], [1.0]), {}, ValueError, "graph: a cut needs at least 2 nodes, got 1"),
    (([0, 1], [1], [1.0, 1.0]), {}, ValueError, "graph: rows, cols and weights differ in length (2, 1, 2)"),
    (([0, -1], [1, 2], [1.0, 1.0]), {}, ValueError, "graph rows: index -1 is negative"),
    ((sp.csr_array(np.array([[0.0, 1.0], [2.0, 0.0]]))), {}, ValueError, "symmetric or triangular"),
    ((sp.csr_array(np.ones((2, 3)))), {}, ValueError, "must be square, got shape (2, 3)"),
    (nx.Graph([("a", "b", {"weight": -1})]), {}, ValueError, "graph: the weight of edge ('a', 'b') is -1"),
    (nx.Graph([("a", "b", {"weight": "x"})]), {}, TypeError, "the weight of edge ('a', 'b') is not a real number"),
    (nx.DiGraph([(0, 1)]), {}, TypeError, "graph: a directed graph"),
    (nx.Graph([(0, 1)]), {"n_nodes": 3}, TypeError, "n_nodes: a networkx graph has its own nodes"),
    ([(0, 1, 1.0)], {}, TypeError, "graph: expected a networkx graph, a scipy.sparse matrix"),
    (nx.Graph([(0, 1)]), {"weight": 3}, TypeError, "weight: expected an attribute name (str), not int"),
]  # fmt: skip


@pytest.mark.parametrize("graph, keywords, error, message", BAD)
def test_bad_input(graph, keywords, error, message):
    with pytest.raises(error) as raised:
        graphs.min_cut(graph, **keywords)
    assert message in str(raised.value)


def test_same_side_on_one_cpu():
    code = ("import random, networkx as nx; from tavik import graphs\n"
            "g = nx.random_geometric_graph(1500, 0.06, seed=5)\n"
            "for u, v, d in g.edges(data=True): d['weight'] = random.Random(u * 7919 + v).uniform(0.5, 2)\n"
            "print(graphs.min_cut(g))")  # fmt: skip
    one, every = run_child(code, cpus=1), run_child(code)
    assert one.returncode == 0 and one.stdout == every.stdout and "value" in one.stdout
