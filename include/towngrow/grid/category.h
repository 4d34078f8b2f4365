// Kinds of land and the random primitives that every rule of the model
// draws through. The number and order of draws decide, for a given seed,
// which town grows.
#pragma once

namespace towngrow {

enum LandUseCategory : int {
  Blank = 0,
  StreetNode = 1,
  StreetVertex = 2,
  House = 3,
  Industry = 4,
  Commerce = 5,
  Others = 6,
};

// 0 for n == 0 without a draw; otherwise one draw r and r % n + 1 with the
// remainder's sign taken positive (1..|n|, never above 32768).
int RandInt(int n);

// Index of the largest of nCount draws RandInt(weights[i]) (ties go to the
// earlier index); -1 without a draw when nCount < 1 or weights is null.
int GetMaxIndex(const int* weights, int nCount);

// 0..5 map to the enumerators of those values, everything else to Others.
LandUseCategory IntToCategory(int n);

// Share count: a percentage of a square neighbourhood of the given radius
// as a number of cells, trunc(percent * (2r+1)^2 * 0.01 + 0.5).
int ShareCount(int percent, int radius);

}  // namespace towngrow
