#include "sim/qudit.h"

#include "errors.h"

namespace tavik::sim {

std::vector<double> QuditSimulator::simulate() const {
  // 2^60 doubles and more have a byte size beyond the signed 64-bit range:
  // no allocator could be asked for them.
  if (num_sites >= std::uint64_t{1} << 60) throw Panic("capacity overflow");
  return std::vector<double>(num_sites, 0.0);
}

}  // namespace tavik::sim
