// The qudit simulator placeholder: one zero amplitude per site.
#pragma once

#include <cstdint>
#include <vector>

namespace tavik::sim {

struct QuditSimulator {
  std::uint64_t levels;  // stored, not used yet
  std::uint64_t num_sites;

  std::vector<double> simulate() const;
};

}  // namespace tavik::sim
