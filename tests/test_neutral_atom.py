"""The neutral-atom compiler: the lattice it places atoms on and the controls it
emits, against the reference model."""

import tavik.tavik_core as core
from reference import analog as ref
from support import graph

analog = core.analog


def test_geometry_matches_reference_and_ignores_names_and_interactions():
    compiler = analog.NeutralAtomCompiler()
    for n in list(range(130)) + [1023, 1024, 1025]:
        g = graph(["same"] * n, [("same", "other", 1.0)])
        got = [(c.x, c.y) for c in compiler.map_to_spatial_geometry(g)]
        assert got == ref.map_to_spatial_geometry(n) and all(type(v) is float for p in got for v in p)


def test_controls_keep_values_as_given():
    compiler = analog.NeutralAtomCompiler()
    coords = compiler.map_to_spatial_geometry(graph("abc"))
    for positions in (coords, []):  # the graph is not used
        controls = compiler.generate_rydberg_controls(graph=graph("ab"), coords=positions)
        assert (controls.omega, controls.delta) == ([1.0] * 100, [0.5] * 100)
        first, second = controls.atom_positions, controls.atom_positions
        assert [(c.x, c.y) for c in first] == [(0, 0), (5, 0), (0, 5)][: len(positions)]
        assert all(a is not b for a, b in zip(first, second))  # elements are copied too
