"""Mistakes a user could make; every line marked "# error:" must be flagged by both checkers.

The mark names the mypy error code, then the pyright rule. No unmarked line may be flagged.
"""

import tavik.tavik_core as core
from tavik.tavik_core import cutting, sim
from tavik.tavik_core.ecc import build_surface_code  # error: import-not-found reportMissingImports

patch = core.ecc.build_surface_code()
patch.distanse  # error: attr-defined reportAttributeAccessIssue
core.run_statevector("x", "2")  # error: arg-type reportArgumentType
patch.distance = 5  # error: misc reportAttributeAccessIssue
core.EquilibriumScore()  # error: call-arg reportCallIssue
sim.Variable("a")  # error: call-arg reportCallIssue
cutting.reconstruct_expectation([], [], "A")  # error: arg-type reportArgumentType
core.qubo_energy_spectrum({(0, 0): 1.0}, 1)  # error: arg-type reportArgumentType
core.stoer_wagner_bisect([[0, 1, 1.0]], 2)  # error: list-item reportArgumentType
assignment: list[str] = core.qubo_energy_spectrum([], 0)[0]  # error: assignment reportAssignmentType
