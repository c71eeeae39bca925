# pyright: strict
"""Uses every public name of tavik.arrays, tavik.sweep and tavik.qubo with the types they promise.

Type-checked under mypy --strict and pyright (strict) and also run, like uses_every_name.py.
"""

from typing import Any

import numpy as np
import numpy.typing as npt

import tavik.arrays as ta
from tavik import qubo, sweep

Q = np.array([[-1.0, 2.0], [0.0, -1.0]])
spectrum: tuple[npt.NDArray[np.uint8], float, npt.NDArray[np.float64]] = ta.qubo_energy_spectrum(Q, 2)
norm: float = ta.exact_ising_norm((np.array([0]), np.array([0.5])), {(0, 1): 1.0}, 2)
state: npt.NDArray[np.complex128] = ta.run_statevector([("h", [0], [])], 1)
runs: tuple[npt.NDArray[np.uint8], npt.NDArray[np.float64]] = ta.simulate_qubo_runs(Q, [1, 0], 3, 0.1, 7)
lookup: tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint64]] = ta.build_ecc_lookup_table(3, [[0, 1], [1, 2]])
one_rate = ta.logical_failure_probability(3, np.array([[1, 1, 0], [0, 1, 1]]), [0], 0.1)
many_rates = ta.logical_failure_probability(3, [[0, 1], [1, 2]], np.ones(3), np.array([0.1, 0.2]))
routing: tuple[npt.NDArray[np.float64], list[str]] = ta.vrp_qubo_matrix(np.zeros((2, 2)), 1.0, 1.0)
bisection: tuple[float, npt.NDArray[np.int64]] = ta.stoer_wagner_bisect(np.array([[0, 1, 1.0], [1, 2, 2.0]]), 3)

curves: dict[str, npt.NDArray[np.float64]] = sweep.failure_curves({"r3": (3, [[0, 1], [1, 2]], [0])}, [0.1],
                                                                   client="serial", progress=False)
stats: list[sweep.NoisyStats] = sweep.noisy_validation(Q, [1, 0], 10, [0.1], [1], client="serial")
mean_energy: float = stats[0].mean
squares: list[int] = sweep.map(pow, [2, 3], [2, 2], client="serial")

model: qubo.ModelLike = ({("a", "b"): -1.0}, 0.5)
low: qubo.Lowest = qubo.lowest(model, 2, vartype="SPIN")
low_samples: npt.NDArray[np.int8] = low.samples
low_energies: npt.NDArray[np.float64] = qubo.lowest(Q).energies
levels: tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]] = qubo.levels(Q, 3)
assert low.variables == ["a", "b"] and low.vartype == "SPIN" and callable(low.to_sampleset)

from tavik import qec  # noqa: E402

poly: qec.FailurePolynomial = qec.failure_polynomial(3)
counts: tuple[int, ...] = poly.counts
low, high = poly.bounds([0.01, 0.1])
threshold: qec.Bracket = poly.pseudo_threshold()
crossed: qec.Bracket = qec.crossing(poly, qec.failure_polynomial((np.eye(4, dtype=np.uint8)[:3], [0]), max_weight=2))
table: dict[str, npt.NDArray[Any]] = qec.curves({"d=3": poly}, [0.1])
threads: list[int] = sweep.map(abs, [-1, -2], client="threads")
assert float(poly(0.01)) > 0 and threads == [1, 2] and table["n"].tolist() == [9]

from tavik import circuits  # noqa: E402

bell: npt.NDArray[np.complex128] = circuits.simulate([("h", [0], []), ("cx", [0, 1], [])])
from_text = circuits.simulate('qreg q[2]; h q[0]; cx q[0], q[1];', n_qubits=2)
marginal: npt.NDArray[np.float64] = circuits.probabilities(bell, [1])
shots: npt.NDArray[np.uint8] = circuits.sample(bell, 10, seed=1, qubits=[0])
tally: dict[str, int] = circuits.counts(bell, 10, seed=np.random.default_rng(1))
zz_xx: float | complex = circuits.expectation(bell, {"ZZ": 1.0, "XX": 0.5})
assert sum(tally.values()) == 10 and abs(zz_xx - 1.5) < 1e-12 and circuits.GATES["ccx"] == (3, 0)
from tavik import graphs  # noqa: E402

cut: graphs.MinCut = graphs.min_cut(([0, 1, 2], [1, 2, 0], [1.0, 2.0, 3.0]))
cut_value: float = cut.value
assert cut_value == 3.0 and list(cut.side) == [1]
