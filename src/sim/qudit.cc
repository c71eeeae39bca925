#include "sim/qudit.h"

#include "common/errors.h"
#include "common/memory.h"

namespace tavik::sim {

std::vector<double> QuditSimulator::simulate() const {
  // 2^60 doubles and more have a byte size beyond the signed 64-bit range:
  // no allocator could be asked for them.
  if (num_sites >= std::uint64_t{1} << 60) throw Panic("capacity overflow");
  // The result costs a double here and a list slot and a float object in
  // Python per site: refuse up front what the machine cannot hold.
  require_memory(num_sites, 1, sizeof(double) + 8 + 24);
  return std::vector<double>(num_sites, 0.0);
}

}  // namespace tavik::sim
