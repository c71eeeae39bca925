"""The whole pipeline (ranking, selection, remapping) against the reference model
step by step."""

import math
import random

import pytest

import tavik.tavik_core as core
from reference import ecc as ref
from support import bits
from support import patch_records as records

ecc = core.ecc


@pytest.mark.parametrize("seed", range(30))
def test_random_pipeline_matches_reference(seed):
    # ranking -> selection -> remapping, each step against the reference
    rng = random.Random(seed)
    n_vars = rng.randint(0, 30)
    weights = [0.0, -0.0, 1.0, -1.0, 0.5, 1e300, -1e300, 3.0, 5e-324, math.inf, -math.inf]
    qubo = [((rng.randrange(n_vars + 3), rng.randrange(n_vars + 3)), rng.choice([rng.uniform(-2, 2), rng.choice(weights)]))
            for _ in range(rng.randint(0, 60))]
    ranking = core.qubo_criticality(qubo, n_vars)
    assert bits(ranking) == bits(ref.qubo_criticality(qubo, n_vars))
    ranked = ranking[: rng.randint(0, 8)] + [(rng.randrange(12), rng.random()) for _ in range(rng.randint(0, 8))]
    distance, budget = rng.randint(0, 6), rng.randint(0, 300)
    assignments = ecc.select_patches(ranked, budget, distance)
    assert records(assignments) == ref.select_patches(ranked, budget, distance)
    circuit = [(rng.choice(["h", "cx", "ccx", "", "ünïcode"]), [rng.randrange(40) for _ in range(rng.randint(0, 3))])
               for _ in range(rng.randint(0, 15))]
    assert ecc.remap_circuit(circuit, assignments) == ref.remap_circuit(circuit, assignments)
