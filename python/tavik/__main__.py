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


def main():
    print(f"tavik.tavik_core: {len(core.__all__)} top-level names")
    tour_enumeration()


if __name__ == "__main__":
    main()
