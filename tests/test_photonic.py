"""The photonic compiler's encoding of a graph, against the reference model bit for bit."""

import random

import pytest

import tavik.tavik_core as core
from reference import analog as ref
from support import bits, graph, rand_double

analog = core.analog


@pytest.mark.parametrize("seed", range(10))
def test_photonic_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    pool = [f"q{k}" for k in range(rng.randrange(1, 12))]
    names = [rng.choice(pool) for _ in range(rng.randrange(0, 14))]
    interactions = [(rng.choice(pool + ["ghost"]), rng.choice(pool), rand_double(rng)) for _ in range(rng.randrange(0, 40))]
    out = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph=graph(names, interactions))
    adjacency, phases = ref.arrazola_bromley_encoding(names, interactions)
    assert [bits(row) for row in out.adjacency_matrix + [out.phases]] == [bits(row) for row in adjacency + [phases]]
