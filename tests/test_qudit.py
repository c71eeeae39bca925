"""The qudit simulator placeholder: its zeros, and the sizes it refuses."""

import pytest

from reference.failures import outcome
from support import bits
from tavik.tavik_core import sim


def test_qudit_simulator():
    first, second = sim.QuditSimulator(3, 4).simulate(), sim.QuditSimulator(3, 4).simulate()
    assert bits(first) == bits([0.0] * 4) and first is not second
    assert sim.QuditSimulator(0, 0).simulate() == []
    with pytest.raises(OverflowError):
        sim.QuditSimulator(-1, 2)
    for sites in (2**60, 2**64 - 1):
        assert outcome(sim.QuditSimulator(0, sites).simulate) == ("Panic", "capacity overflow")
    with pytest.raises(MemoryError):  # refused before anything is allocated
        sim.QuditSimulator(0, 2**59).simulate()
