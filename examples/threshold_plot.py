"""Logical failure of rotated surface codes under bit flips, decoded by their
minimum-weight lookup tables: exact curves for distance 3 and 5, a certified
band for distance 7, each code's pseudo-threshold (where p_L = p) and the rate
where the distance-3 and distance-5 curves cross; repetition codes in a second
panel.

    python examples/threshold_plot.py                      # threshold.png
    python examples/threshold_plot.py --max-weight 8 --out docs/threshold.png

Every curve comes from tavik.qec's failure polynomials: exact counts of the
failing error patterns by weight, complete for d = 3 and 5 (9 and 25 data
qubits) and up to --max-weight flips for d = 7 (49 data qubits), whose band
holds the exact value at every rate.
"""

from __future__ import annotations

import argparse

import numpy as np
import numpy.typing as npt

from tavik import qec


def repetition_code(distance: int) -> tuple[npt.NDArray[np.uint8], list[int]]:
    """Bit-flip repetition code: Z_q Z_{q+1} checks; logical Z on qubit 0."""
    checks = np.zeros((distance - 1, distance), dtype=np.uint8)
    for q in range(distance - 1):
        checks[q, q : q + 2] = 1
    return checks, [0]


def describe(bracket: qec.Bracket) -> str:
    if bracket is None:
        return "none in (0, 1/2)"
    if isinstance(bracket, tuple):
        return f"in [{bracket[0]:.4f}, {bracket[1]:.4f}]"
    return f"{bracket:.4f}"


def plot(surface: dict[int, qec.FailurePolynomial], repetition: dict[int, qec.FailurePolynomial],
         p: npt.NDArray[np.float64], out: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4.6), gridspec_kw={"width_ratios": [3, 2]})
    floor = 1e-10
    colours = {3: "tab:blue", 5: "tab:orange", 7: "tab:green"}
    for ax in (left, right):
        ax.loglog(p, p, color="0.4", linestyle="--", linewidth=1, label="$p_L = p$")
    for d, poly in surface.items():
        lo, hi = poly.bounds(p)
        label = f"d = {d}, n = {poly.n}" + ("" if poly.complete else f" (weights ≤ {poly.max_weight})")
        if poly.complete:
            left.loglog(p, poly(p), color=colours[d], linewidth=1.8, label=label)
        else:
            left.fill_between(p, lo, hi, color=colours[d], alpha=0.3, linewidth=0, label=label + ": certified band")
            left.loglog(p, lo, color=colours[d], linewidth=1.0)
        threshold = poly.pseudo_threshold()
        if isinstance(threshold, float):
            left.plot([threshold], [threshold], "o", color=colours[d], markersize=6, markeredgecolor="k")
    if 3 in surface and 5 in surface:
        cross = qec.crossing(surface[3], surface[5])
        if isinstance(cross, float):
            left.axvline(cross, color="tab:red", linewidth=1, linestyle=":")
            left.annotate(f"d = 3 and d = 5\ncross at p = {cross:.4f}", (cross, 1e-9), xytext=(5, 0),
                          textcoords="offset points", ha="left", fontsize=8, color="tab:red")
    left.set(xlim=(p[0], p[-1]), ylim=(floor, 1), xlabel="physical bit-flip rate $p$",
             ylabel="logical failure probability $p_L$", title="Rotated surface codes (o: pseudo-threshold, p_L = p)")
    left.legend(fontsize=8, loc="upper left")

    shades = plt.get_cmap("viridis")(np.linspace(0.0, 0.85, len(repetition)))
    for (d, poly), colour in zip(repetition.items(), shades):
        right.loglog(p, poly(p), color=colour, linewidth=1.4, label=f"d = {d}")
    right.set(xlim=(p[0], p[-1]), ylim=(floor, 1), xlabel="physical bit-flip rate $p$",
              title="Repetition codes (p_L < p up to p = 1/2)")
    right.legend(fontsize=8, loc="upper left")
    for ax in (left, right):
        ax.grid(True, which="major", alpha=0.3)
    fig.tight_layout()
    fig.savefig(out, dpi=150)
    plt.close(fig)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default="threshold.png", help="the PNG to write (default: %(default)s)")
    parser.add_argument("--max-distance", type=int, default=7, choices=(3, 5, 7),
                        help="largest surface-code distance (default: %(default)s)")
    parser.add_argument("--max-weight", type=int, default=7,
                        help="flips counted for d = 7 (default: %(default)s; 8 takes about a minute)")
    parser.add_argument("--points", type=int, default=60, help="rates from 1e-3 to 0.5 (default: %(default)s)")
    args = parser.parse_args()

    p = np.geomspace(1e-3, 0.5, args.points)
    surface = {d: qec.failure_polynomial(d, max_weight=args.max_weight if d == 7 else None)
               for d in (3, 5, 7) if d <= args.max_distance}  # fmt: skip
    repetition = {d: qec.failure_polynomial(repetition_code(d)) for d in (3, 5, 9, 15, 25)}
    for d, poly in surface.items():
        lo, hi = poly.bounds(1e-3)
        value = f"{lo:.6e}" if poly.complete else f"in [{lo:.6e}, {hi:.6e}]"
        print(f"surface d={d}: P_L(0.001) {'=' if poly.complete else ''} {value}, "
              f"pseudo-threshold {describe(poly.pseudo_threshold())}")
    for a, b in ((3, 5), (5, 7)):
        if b in surface:
            print(f"crossing d={a}/d={b}: {describe(qec.crossing(surface[a], surface[b]))}")
    print(f"repetition d=3..25: pseudo-thresholds {[describe(poly.pseudo_threshold()) for poly in repetition.values()]}")
    plot(surface, repetition, p, args.out)
    print(f"wrote {args.out}")


if __name__ == "__main__":
    main()
