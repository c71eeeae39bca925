"""Surface-code patches: the documented distance-3 stabilizers, the construction rule of
the reference model, and the commutation every patch must satisfy."""

import pytest

from reference import ecc as ref
from support import X3, Z3
from tavik.tavik_core import ecc

FIELDS = ["distance", "data_qubits", "x_stabilizers", "z_stabilizers", "logical_x", "logical_z"]


@pytest.mark.parametrize("d", range(16))
def test_patches(d):
    patch = ecc.build_surface_code() if d == 3 else ecc.build_surface_code(distance=d)  # 3 is the default
    for support in patch.x_stabilizers:
        support.append(99)  # every read builds new lists, the inner ones too
    assert {name: getattr(patch, name) for name in FIELDS} == ref.build_surface_code(d)
    assert repr(patch) == f"SurfaceCodePatch(distance={d}, data_qubits={d * d})"
    assert d != 3 or (patch.x_stabilizers, patch.z_stabilizers) == (X3, Z3)  # documented: they pin the reference
    overlap = lambda a, b: len(set(a) & set(b))  # noqa: E731
    assert all(overlap(x, z) % 2 == 0 for x in patch.x_stabilizers for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_x, z) % 2 == 0 for z in patch.z_stabilizers)
    assert all(overlap(patch.logical_z, x) % 2 == 0 for x in patch.x_stabilizers)
    assert set(patch.logical_x) & set(patch.logical_z) == ({0} if d else set())
    assert d % 2 == 0 or len(patch.x_stabilizers) == len(patch.z_stabilizers) == (d * d - 1) // 2
