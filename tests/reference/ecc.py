"""Pure-Python models of the error-correction routines, following their documented
algorithms step by step (same walk and arithmetic orders), failing with the module's
exception types and messages."""

import math

from reference.failures import Failure
from tavik.exceptions import SizeViolation

popcount = int.bit_count


# --- surface-code patch -----------------------------------------------------


def build_surface_code(distance=3):
    d = distance
    x_stabilizers, z_stabilizers = [], []
    for r in range(-1, d):
        for c in range(-1, d):
            positions = [(r, c), (r + 1, c), (r, c + 1), (r + 1, c + 1)]
            support = [row * d + col for row, col in positions if 0 <= row < d and 0 <= col < d]
            odd = (r + c) % 2 == 1
            if len(support) == 4:
                (x_stabilizers if odd else z_stabilizers).append(support)
            elif len(support) == 2 and r in (-1, d - 1) and not odd:  # top or bottom boundary
                z_stabilizers.append(support)
            elif len(support) == 2 and r not in (-1, d - 1) and odd:  # left or right boundary
                x_stabilizers.append(support)
    data_qubits = [a * d + b for a in range(d) for b in range(d)]
    return dict(distance=d, data_qubits=data_qubits, x_stabilizers=x_stabilizers, z_stabilizers=z_stabilizers,
                logical_x=list(range(d)), logical_z=[k * d for k in range(d)])  # fmt: skip


# --- lookup decoding and logical failure probability ----------------------------


def support_mask(support, n_data, what):
    mask = 0
    for q in support:
        if q >= n_data:
            raise ValueError(f"{what} references data qubit {q} but n_data is {n_data}")
        mask |= 1 << q
    return mask


def stabilizer_masks(n_data, stabilizers):
    if n_data > 26:
        raise SizeViolation("SizeViolation: lookup decoding requires n_data <= 26")
    if len(stabilizers) > 32:
        raise SizeViolation("SizeViolation: lookup decoding requires at most 32 Z-stabilizers")
    return [support_mask(support, n_data, "stabilizer") for support in stabilizers]


def syndrome(pattern, masks):
    return sum((popcount(pattern & mask) & 1) << j for j, mask in enumerate(masks))


def build_table(n, masks):
    """Syndrome -> correction; a dict stands in for the dense array (absent keys are empty entries)."""
    table = {}
    for k in range(2**n):
        e = sum(1 << q for q in range(n) if k >> (n - 1 - q) & 1)  # qubit 0 is the counter's top bit
        s, w = syndrome(e, masks), popcount(e)
        if s not in table or table[s][0] > w:
            table[s] = (w, e)
    return {s: e for s, (w, e) in table.items()}


def build_ecc_lookup_table(n_data, z_stabilizers):
    masks = stabilizer_masks(n_data, z_stabilizers)
    table = build_table(n_data, masks)
    return [([s >> i & 1 for i in range(len(masks))], [table[s] >> q & 1 for q in range(n_data)]) for s in sorted(table)]


def powi(x, e):
    result = x if e & 1 else 1.0
    while e >> 1:
        e >>= 1
        x = x * x
        if e & 1:
            result = result * x
    return result


def logical_failure_probability(n_data, z_stabilizers, logical_z, physical_error_rate):
    masks = stabilizer_masks(n_data, z_stabilizers)
    table = build_table(n_data, masks)
    logical = support_mask(logical_z, n_data, "logical_z")
    p, n = physical_error_rate, n_data
    weights = [powi(p, w) * powi(1.0 - p, n - w) for w in range(n + 1)]
    acc = 0.0
    for k in range(2**n):  # ascending, bit q is qubit q: those whose decoded residual anticommutes with logical Z
        if popcount((k ^ table.get(syndrome(k, masks), 0)) & logical) & 1:
            acc += weights[popcount(k)]
    return acc


# --- criticality, patch selection, remapping ----------------------------------


def qubo_criticality(qubo, n_vars):
    criticality = [0.0] * n_vars
    for (i, j), w in qubo:
        if i < n_vars and j < n_vars:
            criticality[i] += abs(w)
            if i != j:
                criticality[j] += abs(w)
    if n_vars >= 2 and any(math.isnan(c) for c in criticality):
        raise Failure("Panic", "called `Option::unwrap()` on a `None` value")
    return sorted(enumerate(criticality), key=lambda pair: pair[1], reverse=True)  # stable


def select_patches(ranked, physical_qubit_budget, distance):
    """Exact integer arithmetic: the unsigned arithmetic's results where it does not wrap."""
    cost = distance * distance
    if cost == 0 or cost > physical_qubit_budget:
        return []
    out, used = [], 0
    for var, _weight in ranked:
        out.append((var, distance, used, used + cost))
        used += cost
        if used + cost > physical_qubit_budget:
            break
    return out


def remap_circuit(circuit, assignments):
    representative = {a.logical_var: a.physical_start for a in assignments}  # the last record wins
    return [(name, [representative.get(q, q) for q in operands]) for name, operands in circuit]
