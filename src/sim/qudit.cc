#include "sim/qudit.h"

#include "common/errors.h"
#include "common/memory.h"

namespace tavik::sim {

std::vector<double> QuditSimulator::simulate(std::size_t result_bytes_per_site) const {
  // 2^60 doubles and more have a byte size beyond the signed 64-bit range:
  // no allocator could be asked for them.
  if (num_sites >= std::uint64_t{1} << 60) throw Panic("capacity overflow");
  // Refuse up front what the machine cannot hold.
  require_memory(num_sites, 1, sizeof(double) + result_bytes_per_site);
  return std::vector<double>(num_sites, 0.0);
}

}  // namespace tavik::sim
