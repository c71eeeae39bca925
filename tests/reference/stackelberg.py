"""Pure-Python Stackelberg solver: scores, spread, best iteration and chain
strength in the documented order of operations."""

import math

from reference.failures import Failure, out_of_bounds


def clamp(x, lo, hi):
    return lo if x < lo else hi if x > hi else x  # NaN stays NaN


def fixed4(x):
    return "NaN" if math.isnan(x) else ("inf" if x > 0 else "-inf") if math.isinf(x) else f"{x:.4f}"


def score_repr(score):
    kappa, confidence, gap, iterations, std = score
    return (f"EquilibriumScore(kappa={fixed4(kappa)}, confidence={fixed4(confidence)}, "
            f"energy_gap={fixed4(gap)}, kappa_std={fixed4(std)}, iterations={iterations})")


def solve(target_kappa, learning_rate, confidences, best_energies, second_best_energies, chain_break_fractions,
          current_chain_strength):
    """(strength, (kappa, confidence, energy_gap, iterations, kappa_std), repr of the score)"""
    scores = []
    for t, c in enumerate(confidences):
        for values in (best_energies, second_best_energies, chain_break_fractions):
            if t >= len(values):
                raise out_of_bounds(len(values), t)
        gap = abs(second_best_energies[t] - best_energies[t])
        g = 10.0 if math.isnan(gap) else min(gap, 10.0)
        raw = (c * 0.5 + (g / 10.0) * 0.3) + (1.0 - clamp(chain_break_fractions[t], 0.0, 1.0)) * 0.2
        scores.append([clamp(raw, 0.0, 1.0), c, gap, t, 0.0])

    n = len(scores)
    sigma = 0.0
    if n >= 2:
        total = -0.0
        for sc in scores:
            total += sc[0]
        mean = total / n
        squares = 0.0
        for sc in scores:
            squares += (sc[0] - mean) * (sc[0] - mean)
        sigma = math.sqrt(squares / n)
    for sc in scores:
        sc[4] = sigma

    if n == 0:
        raise out_of_bounds(0, 0)
    best = 0
    for t in range(1, n):
        if math.isnan(scores[best][0]) or math.isnan(scores[t][0]):
            raise Failure("Panic", "called `Option::unwrap()` on a `None` value")
        if scores[best][0] <= scores[t][0]:
            best = t

    effective = learning_rate * (1.0 - clamp(sigma * 5.0, 0.0, 0.9))
    k = scores[best][0]
    strength = current_chain_strength if k >= target_kappa else current_chain_strength * (effective * (1.0 - k) + 1.0)
    return strength, tuple(scores[best]), score_repr(scores[best])
