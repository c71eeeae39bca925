#include "bindings/core/bindings.h"
#include "bindings/core/result_costs.h"
#include "sim/ising_backend.h"
#include "sim/qudit.h"

namespace tavik::bindings {

using namespace sim;

namespace {

std::vector<double> simulate(const QuditSimulator& simulator) { return simulator.simulate(kQuditSiteBytes); }

}  // namespace

py::Module sim_module() {
  py::Module m("sim");
  m.add(py::Class<IsingSimulator, "IsingSimulator()">("")
            .init<>()
            .method<&IsingSimulator::solve_exact, "solve_exact($self, graph)">(
                "Ground state of the graph's Ising energy by enumerating all 2^N spin configurations (N ≤ 20):\n"
                "a list of N spins, +1 or -1, in variable order; ties go to the lowest configuration index."));
  m.add(py::Class<LogicalGraph, "LogicalGraph(variables, interactions)">("")
            .init<std::vector<Variable>, std::vector<Interaction>>()
            .rw<&LogicalGraph::variables>("variables")
            .rw<&LogicalGraph::interactions>("interactions"));
  m.add(py::Class<Variable, "Variable(name, domain)">("")
            .init<std::string, std::string>()
            .rw<&Variable::name>("name")
            .rw<&Variable::domain>("domain"));
  m.add(py::Class<Interaction, "Interaction(i, j, weight)">("")
            .init<std::string, std::string, double>()
            .rw<&Interaction::i>("i")
            .rw<&Interaction::j>("j")
            .rw<&Interaction::weight>("weight"));
  m.add(py::Class<QuditSimulator, "QuditSimulator(levels, num_sites)">("")
            .init<std::uint64_t, std::uint64_t>()
            .method<&simulate, "simulate($self)">("A list of num_sites zeros."));
  return m;
}

}  // namespace tavik::bindings
