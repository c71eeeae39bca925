// The qudit simulator placeholder: one zero amplitude per site.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik::sim {

struct QuditSimulator {
  std::uint64_t levels;  // stored, not used yet
  std::uint64_t num_sites;

  // num_sites zeros. MemoryError up front unless they fit with
  // `result_bytes_per_site` more for each: what the caller's form costs.
  std::vector<double> simulate(std::size_t result_bytes_per_site) const;
};

}  // namespace tavik::sim
