"""The analog records built directly: values are stored as given, unchecked."""

import math

import tavik.tavik_core as core
from support import bits, graph

analog = core.analog


def test_records_keep_values_as_given():
    coords = analog.NeutralAtomCompiler().map_to_spatial_geometry(graph("abc"))
    params = analog.RydbergControlParameters(omega=[2.0, math.nan], delta=[], atom_positions=coords[1:])  # no length check
    assert bits(params.omega) == bits([2.0, math.nan]) and params.delta == [] and params.atom_positions[0].x == 5.0
    gbs = analog.PhotonicGBSParameters([[1.0, 2.0], [3.0]], [0.5])  # ragged: stored as given
    assert (gbs.adjacency_matrix, gbs.phases) == ([[1.0, 2.0], [3.0]], [0.5])
