#include "analog/corrections.h"


namespace tavik {

namespace {

// max(x, 0.01) with a NaN x giving 0.01 (IEEE maxNum), so that a NaN or
// hopeless error still yields a finite, bounded scale.
double clamped_scale(double error) {
  const double x = error + 1.0;
  return x > 0.01 ? x : 0.01;
}

// Hides a value from the optimiser. J / 1.0 must stay a real division: it
// quiets a signalling NaN, as the reference arithmetic does.
double opaque(double x) {
  __asm__("" : "+m"(x));
  return x;
}

// Error of each ordered site pair, later entries replacing earlier ones:
// open addressing, sized once, no allocation per entry.
class ErrorTable {
 public:
  explicit ErrorTable(const std::vector<QuboTerm>& errors) {
    std::size_t capacity = 16;
    while (capacity < 2 * errors.size()) capacity *= 2;
    slots_.resize(capacity);
    mask_ = capacity - 1;
    for (const QuboTerm& e : errors) {
      Slot& slot = probe(e.i, e.j);
      slot = {e.i, e.j, e.w, true};
    }
  }

  const double* find(std::uint64_t i, std::uint64_t j) {
    const Slot& slot = probe(i, j);
    return slot.used ? &slot.error : nullptr;
  }

 private:
  struct Slot {
    std::uint64_t i = 0, j = 0;
    double error = 0.0;
    bool used = false;
  };

  // The slot holding (i, j), or the empty slot where it belongs.
  Slot& probe(std::uint64_t i, std::uint64_t j) {
    std::uint64_t z = i * 0x9E3779B97F4A7C15ULL ^ j;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    for (std::size_t s = static_cast<std::size_t>(z ^ (z >> 31)) & mask_;; s = (s + 1) & mask_) {
      Slot& slot = slots_[s];
      if (!slot.used || (slot.i == i && slot.j == j)) return slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace

std::vector<double> apply_detuning_correction(const std::vector<double>& detunings,
                                              const std::vector<std::pair<std::uint64_t, double>>& offsets) {
  // Dense by site: only sites below the length can matter. Every value goes
  // through the subtraction, a missing offset subtracting 0.0, as the
  // reference arithmetic does.
  std::vector<double> offset(detunings.size(), 0.0);
  for (const auto& [site, value] : offsets)
    if (site < offset.size()) offset[site] = value;
  std::vector<double> out(detunings.size());
  for (std::size_t k = 0; k < detunings.size(); ++k) out[k] = detunings[k] - offset[k];
  return out;
}

CouplingList apply_coupling_correction(const std::vector<QuboTerm>& couplings, const std::vector<QuboTerm>& errors) {
  CouplingList out;
  out.terms.reserve(couplings.size());
  if (couplings.empty()) return out;
  ErrorTable table(errors);
  for (const QuboTerm& c : couplings) {
    const double* error = table.find(c.i, c.j);
    out.terms.push_back({c.i, c.j, c.w / (error == nullptr ? opaque(1.0) : clamped_scale(*error))});
  }
  return out;
}

double apply_rabi_correction(double rabi_frequency, double global_rabi_error) {
  return rabi_frequency / clamped_scale(global_rabi_error);
}

}  // namespace tavik
