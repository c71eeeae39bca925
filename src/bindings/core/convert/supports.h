// Stabilizer supports as the list face takes them (lists of qubit lists),
// laid out for the decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "ecc/lookup_table.h"

namespace tavik::bindings {

// Stabilizer supports as lists, laid out as the compressed rows the decoder reads.
class FlatSupports {
 public:
  explicit FlatSupports(const std::vector<std::vector<std::uint64_t>>& supports) {
    starts_.reserve(supports.size() + 1);
    starts_.push_back(0);
    for (const auto& support : supports) {
      qubits_.insert(qubits_.end(), support.begin(), support.end());
      starts_.push_back(qubits_.size());
    }
  }
  ecc::SupportRows rows() const { return {starts_, qubits_}; }

 private:
  std::vector<std::uint64_t> starts_, qubits_;
};

}  // namespace tavik::bindings
