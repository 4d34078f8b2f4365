// The suitability gate of the rules (towngrow/scenario.h): installed on a
// thread by a SuitabilityScope (the driver installs one for a step whose
// surface and weights ask for it), asked by every rule just before it
// writes a new cell. Without a gate, or for an ID whose weight is 0, it
// answers yes without a draw, at the cost of one thread-local load.
#pragma once

#include <cmath>
#include <cstddef>

#include "platform/draws.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/scenario.h"

namespace towngrow {
namespace detail {

struct SuitabilityGate {
  const Suitability* surface = nullptr;
  double weight[256] = {};  // of the first land use with each ID; 0: no test
  bool any = false;         // some weight above 0
  long tested = 0;
  long refused = 0;

  void Load(const CLandUseSet* set) {
    any = false;
    for (double& w : weight) w = 0.0;
    if (set == nullptr) return;
    for (int i = set->m_LandUseArray.GetSize() - 1; i >= 0; --i) {
      const auto* use = static_cast<const CLandUse*>(set->m_LandUseArray.GetAt(i));
      if (use == nullptr) continue;
      weight[use->m_ID] = use->m_dSuitabilityWeight > 0 ? use->m_dSuitabilityWeight : 0.0;
    }
    for (double w : weight) any = any || w > 0;
  }

  bool Passes(int row, int col, int id) {
    const double w = weight[id & 0xFF];
    if (w <= 0) return true;
    const int draw = Draw();
    ++tested;
    double s = 1.0;
    if (row >= 0 && col >= 0 && row < surface->rows && col < surface->cols)
      s = surface->values[static_cast<std::size_t>(row) * static_cast<std::size_t>(surface->cols) +
                          static_cast<std::size_t>(col)];
    const bool pass = static_cast<double>(draw) < std::pow(static_cast<double>(s), w) * 32768.0;
    if (!pass) ++refused;
    return pass;
  }
};

inline thread_local SuitabilityGate* t_suitabilityGate = nullptr;

// Whether a development of `id` into (row, col) passes this thread's gate.
inline bool SuitabilityPasses(int row, int col, int id) {
  SuitabilityGate* gate = t_suitabilityGate;
  return gate == nullptr || gate->Passes(row, col, id);
}

}  // namespace detail
}  // namespace towngrow
