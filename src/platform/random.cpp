#include "towngrow/platform/random.h"

#include "platform/draws.h"

namespace towngrow {

void SeedRandom(unsigned int seed) { detail::t_randomState = seed; }

int RandomDraw() { return detail::Draw(); }

}  // namespace towngrow
