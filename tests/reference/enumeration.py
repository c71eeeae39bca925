"""Reference models of the exhaustive kernels: the QUBO spectrum, the Ising
error norm, the exact Ising solver and the qudit placeholder."""

import math

from tavik.exceptions import SizeViolation

INT64_MAX = 2**63 - 1
INT64_MIN = -(2**63)


class Panic(Exception):
    """Stands for the module's internal failure in the reference models."""


def _check(index, length):
    if index >= length:
        raise Panic(f"index out of bounds: the len is {length} but the index is {index}")


def energy_key(energy):
    """energy·1e9 rounded half away from zero, saturated to int64, NaN → 0."""
    r = energy * 1e9
    if r != r:
        return 0
    if math.isinf(r):
        return INT64_MAX if r > 0 else INT64_MIN
    a = abs(r)
    whole = math.floor(a)
    if a - whole >= 0.5:  # exact: a and whole are close doubles
        whole += 1
    key = int(whole) if r >= 0 else -int(whole)
    return max(INT64_MIN, min(INT64_MAX, key))


def qubo_energy_spectrum(qubo, n_vars):
    if n_vars > 20:
        raise SizeViolation("SizeViolation: qubo_energy_spectrum requires n_vars <= 20")
    if n_vars == 0:
        return [], 0.0, [0.0]
    n = n_vars
    best_energy, best = math.inf, [0] * n
    keys = set()
    for idx in range(2**n):
        x = [(idx >> k) & 1 for k in range(n)]
        energy = 0.0
        for (i, j), w in qubo:
            _check(i, n)
            _check(j, n)
            energy += (w * float(x[i])) * float(x[j])
        if energy < best_energy:
            best_energy, best = energy, x
        keys.add(energy_key(energy))
    return best, best_energy, sorted(k / 1e9 for k in keys)


def exact_ising_norm(dh, dj, n_sites):
    if n_sites > 20:
        raise SizeViolation("SizeViolation: exact_ising_norm requires n_sites <= 20")
    if n_sites == 0 or (not dh and not dj):
        return 0.0
    n = n_sites
    norm = 0.0
    for idx in range(2**n):
        s = [1.0 if (idx >> k) & 1 else -1.0 for k in range(n)]
        delta = 0.0
        for site, h in dh:
            _check(site, n)
            delta += s[site] * h
        for (i, j), coupling in dj:
            _check(i, n)
            _check(j, n)
            delta += (coupling * s[i]) * s[j]
        if abs(delta) > norm:
            norm = abs(delta)
    return norm


def solve_exact(variables, interactions):
    """variables: list of names; interactions: list of (i, j, weight)."""
    n = len(variables)
    if n > 20:
        raise SizeViolation("SizeViolation: N > 20 is not supported for exact solver")
    if n == 0:
        return []
    position = {}
    for k, name in enumerate(variables):
        position[name] = k
    best_energy, best = math.inf, [-1] * n
    for idx in range(2**n):
        s = [1 if (idx >> k) & 1 else -1 for k in range(n)]
        energy = 0.0
        for i, j, w in interactions:
            if i not in position or j not in position:
                continue
            p, q = position[i], position[j]
            if p == q:
                energy += w * float(s[p])
            else:
                energy += (w * float(s[p])) * float(s[q])
        if energy < best_energy:
            best_energy, best = energy, s
    return best
