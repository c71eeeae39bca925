"""Reference models of the analog compilers and the calibration corrections."""

import math


def map_to_spatial_geometry(n):
    """Positions (x, y) of n atoms: row-major lattice of pitch 5.0."""
    if n == 0:
        return []
    side = math.ceil(math.sqrt(n))
    return [(float(v % side) * 5.0, float(v // side) * 5.0) for v in range(n)]


def arrazola_bromley_encoding(names, interactions):
    """(A, phases) for variable names in order and (i, j, w) interactions."""
    n = len(names)
    position = {name: k for k, name in enumerate(names)}  # a repeated name keeps its last position
    adjacency = [[0.0] * n for _ in range(n)]
    phases = [0.0] * n
    for i, j, w in interactions:  # the last assignment wins
        if i in position and j in position:
            a, b = position[i], position[j]
            if a == b:
                phases[a] = math.atan(w)
            else:
                adjacency[a][b] = adjacency[b][a] = w
    return adjacency, phases


def clamp(x):
    """max(x, 0.01) by the IEEE maxNum rule: a NaN x gives 0.01."""
    return 0.01 if math.isnan(x) else max(x, 0.01)


def apply_detuning_correction(detunings, offsets):
    table = dict(offsets)  # a repeated site keeps its last offset
    return [d - table.get(k, 0.0) for k, d in enumerate(detunings)]


def apply_coupling_correction(couplings, errors):
    table = dict(errors)
    return [(pair, j / clamp(table[pair] + 1.0) if pair in table else j / 1.0) for pair, j in couplings]


def apply_rabi_correction(rabi_frequency, global_rabi_error):
    return rabi_frequency / clamp(global_rabi_error + 1.0)
