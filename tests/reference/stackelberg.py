"""Pure-Python Stackelberg solver: scores, spread, best iteration and chain
strength in the documented order of operations."""

import math
from functools import reduce

from reference.failures import Failure, checked


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
        e_best, e_second = checked(best_energies, t), checked(second_best_energies, t)
        gap, breaks = abs(e_second - e_best), checked(chain_break_fractions, t)
        g = 10.0 if math.isnan(gap) else min(gap, 10.0)
        raw = (c * 0.5 + (g / 10.0) * 0.3) + (1.0 - clamp(breaks, 0.0, 1.0)) * 0.2
        scores.append((clamp(raw, 0.0, 1.0), c, gap, t))

    # Population standard deviation, both sums in order (the first from −0.0); every score carries it.
    n, kappas, sigma = len(scores), [sc[0] for sc in scores], 0.0
    if n >= 2:
        mean = reduce(lambda total, k: total + k, kappas, -0.0) / n
        sigma = math.sqrt(reduce(lambda total, k: total + (k - mean) * (k - mean), kappas, 0.0) / n)

    best = 0
    checked(kappas, best)  # the first score starts as the best
    for t in range(1, n):
        if math.isnan(kappas[best]) or math.isnan(kappas[t]):
            raise Failure("Panic", "called `Option::unwrap()` on a `None` value")
        if kappas[best] <= kappas[t]:
            best = t

    effective = learning_rate * (1.0 - clamp(sigma * 5.0, 0.0, 0.9))
    k, score = kappas[best], (*scores[best], sigma)
    strength = current_chain_strength if k >= target_kappa else current_chain_strength * (effective * (1.0 - k) + 1.0)
    return strength, score, score_repr(score)
