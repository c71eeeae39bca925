"""A short tour of tavik's native core on built-in data: `python -m tavik`."""

import tavik.tavik_core as core


def section(title):
    print(f"\n== {title} ==")


def tour_enumeration():
    section("Exhaustive QUBO spectrum")
    # A 3-variable QUBO: reward each variable, penalise each pair.
    qubo = [((0, 0), -1.0), ((1, 1), -1.0), ((2, 2), -1.0), ((0, 1), 2.0), ((1, 2), 2.0), ((0, 2), 0.5)]
    best, energy, spectrum = core.qubo_energy_spectrum(qubo, 3)
    print(f"terms: {qubo}")
    print(f"ground state x = {best}, energy {energy}; distinct energies {spectrum}")

    section("Exact Ising error norm")
    dh = [(0, 0.01), (1, -0.02)]
    dj = [((0, 1), 0.005), ((1, 2), -0.01)]
    print(f"dh = {dh}, dj = {dj}: ||ΔH|| = {core.exact_ising_norm(dh, dj, 3)}")

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


def tour_simulation():
    section("Statevector simulation")
    bell = core.run_statevector([("h", [0], []), ("cx", [0, 1], [])], 2)
    print("H on qubit 0, then CNOT 0 -> 1 (qubit 0 is the low bit of the index):")
    for index, (re, im) in enumerate(bell):
        print(f"  |{index:02b}>  {re:+.6f} {im:+.6f}i")
    phase = core.run_statevector([("x", [0], []), ("t", [0], [])], 1)[1]
    print(f"X then T on one qubit leaves |1> with amplitude {phase}")

    section("Noisy runs of a QUBO")
    qubo = [((0, 0), -1.0), ((1, 1), -1.0), ((2, 2), -1.0), ((0, 1), 2.0), ((1, 2), 2.0)]
    base = [1, 0, 1]  # the ground state of this QUBO
    runs, energies = core.simulate_qubo_runs(qubo, base, 6, 0.2, 2024)
    print(f"base {base}, 6 runs at noise 0.2, seed 2024:")
    for bits, energy in zip(runs, energies):
        print(f"  {bits}  energy {energy:+.1f}")
    hits = sum(bits == base for bits in runs)
    print(f"{hits} of {len(runs)} runs returned the base assignment")

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


def main():
    print(f"tavik.tavik_core: {len(core.__all__)} top-level names")
    tour_enumeration()
    tour_simulation()


if __name__ == "__main__":
    main()
