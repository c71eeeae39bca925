// Circuit-cutting reconstruction: the expectation value of an uncut circuit
// from the measured histograms of its sub-circuits, one joint sample at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::cutting {

// A measured histogram, bitstring -> count, in the order it was given.
// Histograms are immutable once built, so copies share one buffer: handing a
// record's histogram to a call costs a reference count, not a deep copy.
class Histogram {
 public:
  class Builder {
   public:
    void reserve(std::size_t entries, std::size_t key_bytes);
    void add(std::string_view key, std::uint64_t count);
    Histogram build() &&;

   private:
    std::string keys_;
    std::vector<std::size_t> ends_;
    std::vector<std::uint64_t> counts_;
  };

  std::size_t size() const { return block_ ? block_[0] : 0; }
  std::string_view key(std::size_t k) const;
  std::uint64_t count(std::size_t k) const { return block_[kHeader + k]; }

  // Σ count over bitstrings with an even number of '1' characters minus Σ
  // count over the odd ones, summed exactly whatever the counts and their
  // order, then rounded once to the nearest double.
  double parity_sum() const;

  // Hints for a walk over many histograms, whose buffers are scattered: the
  // line holding the sizes, then, once that has arrived, the first lines of
  // what parity_sum reads, so that its streams start without a wait.
  void prefetch_sizes() const;
  void prefetch_entries() const;

 private:
  // One allocation, read front to back by parity_sum: the entry count, the
  // key bytes, the common key width (kMixedWidths if they differ), then
  // counts[entries], key end offsets[entries], and all keys back to back,
  // padded by a zero word.
  static constexpr std::size_t kHeader = 3;
  static constexpr std::uint64_t kMixedWidths = ~std::uint64_t{0};
  std::shared_ptr<const std::uint64_t[]> block_;
};

struct SubcircuitSampleCounts {
  std::uint64_t sample_index;
  std::string subcircuit_label;
  Histogram counts;
  std::uint64_t shots;

  std::string repr() const;
};

struct SampleCoefficient {
  std::uint64_t sample_index;
  double coefficient;

  std::string repr() const;
};

// Σ over coefficients (in order, from -0.0) of coefficient ×
// Π over labels (in order) of parity_sum / shots of the histogram stored for
// (sample, label). Every (sample, label) must have exactly one histogram, and
// every histogram used must have shots > 0 (ValueError otherwise).
double reconstruct_expectation(const std::vector<SubcircuitSampleCounts>& counts,
                               const std::vector<SampleCoefficient>& coefficients,
                               const std::vector<std::string>& subcircuit_labels);

// The double in the shortest decimal that reads back as the same value,
// never with an exponent: 2 for 2.0, 0.0000001 for 1e-7, -0, NaN, inf, -inf.
std::string shortest_decimal(double value);

}  // namespace tavik::cutting
