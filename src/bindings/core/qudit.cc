#include "bindings/core/bindings.h"
#include "bindings/core/result_costs.h"
#include "sim/qudit.h"

namespace tavik::bindings {

using namespace sim;

namespace {

std::vector<double> simulate(const QuditSimulator& simulator) { return simulator.simulate(kQuditSiteBytes); }

}  // namespace

void register_qudit(py::Module& m) {
  m.add(py::Class<QuditSimulator, "QuditSimulator(levels, num_sites)">("")
            .init<std::uint64_t, std::uint64_t>()
            .method<&simulate, "simulate($self)">("A list of num_sites zeros."));
}

}  // namespace tavik::bindings
