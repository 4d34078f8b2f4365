// The random source of the model: the classic C runtime linear
// congruential sequence (state = state * 214013 + 2531011, result
// (state >> 16) & 0x7FFF), so that a seed repeats a run exactly. The state
// is per thread and is 1 until seeded.
#pragma once

namespace towngrow {

void SeedRandom(unsigned int seed);  // as srand
int RandomDraw();                    // as rand: 0 to 32767

}  // namespace towngrow
