"""Reference models of the exhaustive kernels: the QUBO spectrum, the Ising
error norm and the exact Ising solver."""

import math

from tavik.exceptions import SizeViolation


def energy_key(energy):
    """energy·1e9 rounded half away from zero, saturated to int64, NaN → 0."""
    r = energy * 1e9
    if r != r:
        return 0
    a = abs(r)
    whole = 2**63 if math.isinf(a) else math.floor(a) + (a - math.floor(a) >= 0.5)  # exact: a and its floor are close
    return max(-(2**63), min(2**63 - 1, whole if r >= 0 else -whole))


def qubo_energy_spectrum(qubo, n_vars):
    best_energy, best, keys = math.inf, [0] * n_vars, set()
    for idx in range(2**n_vars):
        x = [(idx >> k) & 1 for k in range(n_vars)]
        energy = 0.0
        for (i, j), w in qubo:
            energy += (w * float(x[i])) * float(x[j])
        if energy < best_energy:
            best_energy, best = energy, x
        keys.add(energy_key(energy))
    return best, best_energy, sorted(k / 1e9 for k in keys)


def exact_ising_norm(dh, dj, n_sites):
    if n_sites > 20:
        raise SizeViolation("SizeViolation: exact_ising_norm requires n_sites <= 20")
    norm = 0.0
    for idx in range(2**n_sites):
        s = [1.0 if (idx >> k) & 1 else -1.0 for k in range(n_sites)]
        delta = 0.0
        for site, h in dh:
            delta += s[site] * h
        for (i, j), coupling in dj:
            delta += (coupling * s[i]) * s[j]
        norm = max(norm, abs(delta))  # a NaN never replaces the norm
    return norm


def solve_exact(variables, interactions):
    """variables: list of names; interactions: list of (i, j, weight)."""
    n = len(variables)
    if n > 20:
        raise SizeViolation("SizeViolation: N > 20 is not supported for exact solver")
    position = {name: k for k, name in enumerate(variables)}  # a repeated name binds to its last position
    best_energy, best = math.inf, [-1] * n
    for idx in range(2**n):
        s = [1 if (idx >> k) & 1 else -1 for k in range(n)]
        energy = 0.0
        for i, j, w in interactions:
            if i in position and j in position:
                p, q = position[i], position[j]
                energy += w * float(s[p]) if p == q else (w * float(s[p])) * float(s[q])
        if energy < best_energy:
            best_energy, best = energy, s
    return best
