"""Logical failure curves of repetition and surface codes under bit flips,
decoded by their lookup tables, with each code's pseudo-threshold marked
(the rate p at which the logical failure probability equals p).

    python examples/threshold_plot.py                 # threshold.png, a local Dask cluster
    python examples/threshold_plot.py --serial --out small.png --max-distance 7 --points 12

Every value is exact (a sum over all 2^n error patterns, bit-identical to
tavik_core.logical_failure_probability); the sweep runs one task per code.
"""

from __future__ import annotations

import argparse

import numpy as np
import numpy.typing as npt

import tavik.tavik_core as core
from tavik import sweep


def repetition_code(distance: int) -> sweep.Code:
    """Bit-flip repetition code: Z_q Z_{q+1} checks; logical Z on qubit 0."""
    return distance, [[q, q + 1] for q in range(distance - 1)], [0]


def surface_code(distance: int) -> sweep.Code:
    patch = core.ecc.build_surface_code(distance)
    return len(patch.data_qubits), patch.z_stabilizers, patch.logical_z


def codes(max_distance: int) -> dict[str, sweep.Code]:
    found: dict[str, sweep.Code] = {f"repetition d={d}": repetition_code(d) for d in range(3, max_distance + 1, 2)}
    found.update({f"surface d={d}": surface_code(d) for d in (3, 5) if d <= max_distance})
    return found


def pseudo_threshold(p: npt.NDArray[np.float64], failure: npt.NDArray[np.float64]) -> float | None:
    """The first rate where the curve crosses p_L = p from below, interpolated
    on log scales; None if it never does."""
    gap = np.log(failure) - np.log(p)
    for k in range(len(p) - 1):
        if gap[k] < 0 <= gap[k + 1]:
            t = -gap[k] / (gap[k + 1] - gap[k])
            return float(np.exp(np.log(p[k]) + t * (np.log(p[k + 1]) - np.log(p[k]))))
    return None


def plot(curves: dict[str, npt.NDArray[np.float64]], p: npt.NDArray[np.float64], out: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(8, 6))
    ax.loglog(p, p, "k--", linewidth=1, label="p_L = p")
    repetition = [name for name in curves if name.startswith("repetition")]
    shades = plt.get_cmap("viridis")(np.linspace(0.0, 0.9, max(len(repetition), 1)))
    colours = dict(zip(repetition, shades))
    surface_colours = iter(["tab:red", "tab:orange", "tab:pink"])
    for name, failure in curves.items():
        surface = name not in colours
        colour = next(surface_colours) if surface else colours[name]
        ax.loglog(p, failure, "-o" if surface else "-", color=colour, markersize=3, label=name)
        crossing = pseudo_threshold(p, failure)
        if crossing is not None:
            ax.plot([crossing], [crossing], "x", color=colour, markersize=9, markeredgewidth=2)
    ax.set_xlabel("physical bit-flip rate p")
    ax.set_ylabel("logical failure probability p_L")
    ax.set_title("Lookup-table decoding under bit flips (x: pseudo-threshold)")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize=7, ncol=2)
    fig.tight_layout()
    fig.savefig(out, dpi=120)
    plt.close(fig)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default="threshold.png", help="the PNG to write (default: %(default)s)")
    parser.add_argument("--max-distance", type=int, default=25, help="largest repetition distance (default: 25)")
    parser.add_argument("--points", type=int, default=40, help="rates from 1e-3 to 0.5 (default: %(default)s)")
    parser.add_argument("--serial", action="store_true", help="run in this process instead of a local Dask cluster")
    args = parser.parse_args()

    p = np.geomspace(1e-3, 0.5, args.points)
    curves = sweep.failure_curves(codes(args.max_distance), p, client="serial" if args.serial else None)
    for name, failure in curves.items():
        crossing = pseudo_threshold(p, failure)
        print(f"{name:>16}: p_L({p[0]:g}) = {failure[0]:.3e}, pseudo-threshold "
              + (f"{crossing:.4f}" if crossing is not None else "none in range"))
    plot(curves, p, args.out)
    print(f"wrote {args.out}")


if __name__ == "__main__":
    main()
