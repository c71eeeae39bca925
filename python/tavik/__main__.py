"""A short tour of tavik's native core on built-in data: `python -m tavik`."""

import argparse

import tavik.tavik_core as core

DESCRIPTION = """\
A short tour of tavik.tavik_core on small built-in examples, one section per
area: exhaustive QUBO and Ising enumeration, statevector simulation, noisy
runs and the co-design solver, surface-code error correction, the routing
QUBO and minimum-cut bisection, analog compilation with calibration
corrections, and circuit-cutting reconstruction; then the same kernels
through tavik.arrays, with NumPy arrays in and out on every core. Each
section prints its inputs and results, then one line saying what the
numbers show. It takes about a second and needs nothing but the installed
package."""


def section(title):
    print(f"\n== {title} ==")


def shows(text):
    print(f"-> {text}")


def tour_enumeration():
    section("Exhaustive QUBO spectrum")
    # A 3-variable QUBO: reward each variable, penalise each pair.
    qubo = [((0, 0), -1.0), ((1, 1), -1.0), ((2, 2), -1.0), ((0, 1), 2.0), ((1, 2), 2.0), ((0, 2), 0.5)]
    best, energy, spectrum = core.qubo_energy_spectrum(qubo, 3)
    print(f"terms: {qubo}")
    print(f"ground state x = {best}, energy {energy}; distinct energies {spectrum}")
    shows("the pair penalties make x = [1, 0, 1] cheapest; every one of the 8 assignments lands on one of 4 energies")

    section("Exact Ising error norm")
    dh = [(0, 0.01), (1, -0.02)]
    dj = [((0, 1), 0.005), ((1, 2), -0.01)]
    print(f"dh = {dh}, dj = {dj}: ||ΔH|| = {core.exact_ising_norm(dh, dj, 3)}")
    shows("the worst case over all 8 spin states: every term at full strength, 0.01 + 0.02 + 0.005 + 0.01")

    section("Exact Ising ground state of a logical graph")
    sim = core.sim
    names = ["a", "b", "c", "d"]
    graph = sim.LogicalGraph(
        [sim.Variable(n, "spin") for n in names],
        [sim.Interaction("a", "b", 1.0), sim.Interaction("b", "c", 1.0), sim.Interaction("c", "d", 1.0),
         sim.Interaction("a", "a", -0.5)],
    )
    spins = sim.IsingSimulator().solve_exact(graph)
    print("antiferromagnetic chain a-b-c-d with a field on a:", dict(zip(names, spins)))
    shows("positive couplings make neighbours disagree; the field on a fixes which of the two Néel states wins")


def tour_frontends():
    section("One-hot tour QUBO of a routing instance")
    # A depot and two customers on a line at 0, 3 and 5 (already augmented).
    points = [0.0, 3.0, 5.0]
    dist = [[abs(p - q) for q in points] for p in points]
    qubo = core.vrp_qubo_terms(dist, 10.0, 1.0)
    print(f"distance matrix {dist}: {len(qubo)} terms over {len(dist) ** 2} variables x_<node>_<position>")
    for key in list(qubo)[:6]:
        print(f"  {key}: {qubo[key]}")
    # The tour depot → 1 → 2 → depot: x_0_0, x_1_1, x_2_2 set.
    tour = {"x_0_0", "x_1_1", "x_2_2"}
    energy = sum(w for (a, b), w in qubo.items() if a in tour and b in tour)
    print(f"energy of the tour 0 → 1 → 2 → 0: {energy} (= -2·3·A + tour length {dist[0][1] + dist[1][2] + dist[2][0]})")
    shows("a valid tour pays only its length on top of the constant one-hot offset")

    section("Minimum-cut bisection")
    # Two triangles joined by one weak edge.
    edges = [(0, 1, 3.0), (1, 2, 3.0), (0, 2, 3.0), (3, 4, 3.0), (4, 5, 3.0), (3, 5, 3.0), (2, 3, 0.5)]
    weight, side = core.stoer_wagner_bisect(edges, 6)
    rest = [v for v in range(6) if v not in side]
    print(f"edges {edges}")
    print(f"cut weight {weight}: {side} | {rest}")
    shows("the cheapest cut is the weak bridge between the two triangles")


def tour_analog():
    analog, sim = core.analog, core.sim
    section("Neutral-atom compilation")
    names = ["a", "b", "c", "d", "e"]
    graph = sim.LogicalGraph(
        [sim.Variable(n, "spin") for n in names],
        [sim.Interaction("a", "b", 1.0), sim.Interaction("b", "c", -0.5), sim.Interaction("e", "e", 0.25)],
    )
    compiler = analog.NeutralAtomCompiler()
    coords = compiler.map_to_spatial_geometry(graph)
    print("atoms on a 3 x 3 lattice, pitch 5:", {n: (c.x, c.y) for n, c in zip(names, coords)})
    controls = compiler.generate_rydberg_controls(graph, coords)
    print(f"Rydberg drive: {len(controls.omega)} steps, omega = {controls.omega[0]}, delta = {controls.delta[0]}")
    shows("atoms fill the lattice row by row in variable order; the drive is a constant pulse")

    section("Photonic GBS encoding")
    gbs = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph)
    for name, row in zip(names, gbs.adjacency_matrix):
        print(f"  {name}: {row}")
    print("phases (atan of the self-terms):", gbs.phases)
    shows("couplings become a symmetric adjacency matrix; only e has a self-term, so only e gets a phase")

    section("Calibration pre-distortion")
    print("detunings [1.0, 2.0, 3.0], site 1 off by +0.5 ->",
          core.apply_detuning_correction([1.0, 2.0, 3.0], [(1, 0.5)]))
    print("coupling 2.0 on (0, 1), measured 25% too strong ->",
          core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), 0.25)]))
    print("Rabi 1.0 with a -2.0 drive error (clamped) ->", core.apply_rabi_correction(1.0, -2.0))
    shows("each control is divided by its measured error so that the hardware delivers the intended value")


def tour_cutting():
    cutting = core.cutting
    section("Circuit-cutting reconstruction")
    # Two joint samples of a circuit cut into sub-circuits A and B.
    counts = [
        cutting.SubcircuitSampleCounts(0, "A", {"00": 70, "11": 20, "01": 10}, 100),
        cutting.SubcircuitSampleCounts(0, "B", {"0": 90, "1": 10}, 100),
        cutting.SubcircuitSampleCounts(1, "A", {"00": 40, "10": 60}, 100),
        cutting.SubcircuitSampleCounts(1, "B", {"0": 55, "1": 45}, 100),
    ]
    coefficients = [cutting.SampleCoefficient(0, 0.5), cutting.SampleCoefficient(1, -0.5)]
    for record in counts + coefficients:
        print(" ", record)
    print("<O> =", cutting.reconstruct_expectation(counts, coefficients, ["A", "B"]))
    try:
        cutting.reconstruct_expectation(counts[:3], coefficients, ["A", "B"])
    except ValueError as exc:
        print("with a histogram left out:", exc)
    shows("the expectation is the coefficient-weighted sum of parity averages; a missing histogram is refused")


def tour_error_correction():
    ecc = core.ecc
    section("Rotated surface-code patches")
    patch = ecc.build_surface_code()
    print(f"{patch}: Z stabilizers {patch.z_stabilizers}, logical Z {patch.logical_z}")
    shows("a distance-3 patch protects one logical qubit with 9 data qubits and weight-2 and weight-4 checks")

    section("Minimum-weight lookup decoder (distance 3)")
    for syndrome, correction in core.build_ecc_lookup_table(len(patch.data_qubits), patch.z_stabilizers)[:6]:
        flipped = [q for q, bit in enumerate(correction) if bit]
        print(f"syndrome {syndrome} -> flip qubits {flipped}")
    print("...")
    shows("each syndrome maps to the fewest bit flips that explain it")

    section("Exact logical failure probability under bit flips")
    patches = [ecc.build_surface_code(d) for d in (3, 5)]
    print(("p        " + "".join(f"d={p.distance:<12}" for p in patches)).rstrip())
    for rate in (0.001, 0.01, 0.05, 0.1):
        values = [core.logical_failure_probability(len(p.data_qubits), p.z_stabilizers, p.logical_z, rate)
                  for p in patches]
        print((f"{rate:<9}" + "".join(f"{v:<14.4e}" for v in values)).rstrip())
    shows("below p ≈ 0.09 the larger code fails less often, far less at small p; above it, more often")

    section("Protecting the most critical QUBO variables")
    qubo = [((0, 1), -2.0), ((1, 2), 0.5), ((2, 2), 1.0), ((3, 3), -0.25), ((0, 3), 1.5)]
    ranked = core.qubo_criticality(qubo, 4)
    assignments = ecc.select_patches(ranked, 20, 3)
    print(f"criticality ranking {ranked}")
    print(f"budget of 20 physical qubits at distance 3: {assignments}")
    circuit = [("h", [0]), ("cx", [0, 1]), ("rz", [3])]
    print(f"{circuit} -> {ecc.remap_circuit(circuit, assignments)}")
    shows("the budget covers two patches, so only the two most critical variables are moved to protected qubits")


def tour_simulation():
    section("Statevector simulation")
    bell = core.run_statevector([("h", [0], []), ("cx", [0, 1], [])], 2)
    print("H on qubit 0, then CNOT 0 -> 1 (qubit 0 is the low bit of the index):")
    for index, (re, im) in enumerate(bell):
        print(f"  |{index:02b}>  {re:+.6f} {im:+.6f}i")
    phase = core.run_statevector([("x", [0], []), ("t", [0], [])], 1)[1]
    print(f"X then T on one qubit leaves |1> with amplitude {phase}")
    shows("a Bell state: half the probability on |00> and |11>; T adds a phase of pi/4 to |1>")

    section("Noisy runs of a QUBO")
    qubo = [((0, 0), -1.0), ((1, 1), -1.0), ((2, 2), -1.0), ((0, 1), 2.0), ((1, 2), 2.0)]
    base = [1, 0, 1]  # the ground state of this QUBO
    runs, energies = core.simulate_qubo_runs(qubo, base, 6, 0.2, 2024)
    print(f"base {base}, 6 runs at noise 0.2, seed 2024:")
    for bits, energy in zip(runs, energies):
        print(f"  {bits}  energy {energy:+.1f}")
    hits = sum(bits == base for bits in runs)
    print(f"{hits} of {len(runs)} runs returned the base assignment")
    shows("noise flips bits away from the ground state, and every flip costs energy")

    section("Stackelberg chain-strength recommendation")
    solver = core.StackelbergSolver(target_kappa=0.9, max_iterations=10, learning_rate=0.5)
    strength, score = solver.solve(
        confidences=[0.5, 0.9, 0.7],
        best_energies=[-3.0, -3.0, -2.0],
        second_best_energies=[-2.0, 2.0, -1.5],
        chain_break_fractions=[0.1, 0.0, 0.05],
        current_chain_strength=2.0,
    )
    print(f"best iteration: {score}")
    print(f"recommended chain strength: {strength:.4f} (was 2.0)")
    shows("the best kappa (0.80) is below the 0.9 target, so the recommended chain strength rises")


def tour_arrays():
    import numpy as np

    import tavik.arrays as ta

    section("The same kernels on NumPy arrays (tavik.arrays)")
    rng = np.random.default_rng(5)
    Q = np.triu(rng.uniform(-1, 1, (16, 16)))
    best, energy, spectrum = ta.qubo_energy_spectrum(Q, 16)
    terms = [((i, j), float(Q[i, j])) for i in range(16) for j in range(16) if Q[i, j] != 0.0]
    same = core.qubo_energy_spectrum(terms, 16)[2] == spectrum.tolist()
    print(f"a dense 16-variable QUBO matrix: ground state {best}, energy {energy:.6f}, {spectrum.size} distinct energies")
    print(f"identical to tavik_core on the equivalent term list: {same}")
    p = np.geomspace(1e-3, 0.3, 6)
    patch = core.ecc.build_surface_code(3)
    failure = ta.logical_failure_probability(9, patch.z_stabilizers, patch.logical_z, p)
    print("distance-3 surface code, logical failure at p =", np.array2string(p, precision=4))
    print("                                             ", np.array2string(failure, precision=3))
    shows("arrays in and out, the lock released and every CPU used, with the core's bits: 6 rates in one walk")


def main(argv=None):
    argparse.ArgumentParser(prog="python -m tavik", description=DESCRIPTION).parse_args(argv)
    print(f"tavik.tavik_core: {len(core.__all__)} top-level names")
    tour_enumeration()
    tour_simulation()
    tour_error_correction()
    tour_frontends()
    tour_analog()
    tour_cutting()
    tour_arrays()


if __name__ == "__main__":
    main()
