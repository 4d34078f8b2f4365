// The multiple-resolution budget in one pass over the cells. Level l holds
// the class counts of both maps in the blocks of side 2^l along one strip of
// 2^l rows. Two rows of cells fill a strip of level 1; a finished strip of
// level l adds its agreement sum_k min(R_k, S_k) per block and is folded
// into the strip of level l + 1, which is finished after two of them (or
// at the bottom of the map). Memory: about cols x (K + 1) x 2 counts over
// all levels together; time: a few operations per cell plus a fraction of
// that for the coarser levels.
#include <algorithm>
#include <cstdint>

#include "compare/compare_internal.h"

namespace towngrow::compare_detail {

int ResolutionLevels(int rows, int cols) {
  const long long side = std::max(rows, cols);
  int levels = 1;
  while ((1LL << levels) < side) ++levels;
  return levels;
}

namespace {

struct Pass {
  int K, K1, L, cols;
  std::vector<std::uint64_t>& agreement;  // [level]: 0 = cells
  ResolutionScratch& s;

  std::size_t Blocks(int level) const {
    const long long side = 1LL << level;
    return static_cast<std::size_t>((cols + side - 1) / side);
  }

  // Level l's strip is done: its agreement, then fold it one level up.
  void Finish(int level) {
    std::vector<std::uint64_t>& here = s.levels[static_cast<std::size_t>(level)];
    const std::size_t blocks = Blocks(level);
    const std::size_t width = static_cast<std::size_t>(K1) * 2;
    std::uint64_t sum = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::uint64_t* cell = &here[b * width];
      for (int k = 0; k < K; ++k) sum += std::min(cell[2 * k], cell[2 * k + 1]);
    }
    agreement[static_cast<std::size_t>(level)] += sum;
    if (level == L)
      s.totals.assign(here.begin(), here.begin() + static_cast<std::ptrdiff_t>(width));
    if (level < L) {
      std::vector<std::uint64_t>& up = s.levels[static_cast<std::size_t>(level) + 1];
      for (std::size_t b = 0; b < blocks; ++b)
        for (std::size_t i = 0; i < width; ++i) up[(b >> 1) * width + i] += here[b * width + i];
    }
    std::fill(here.begin(), here.begin() + static_cast<std::ptrdiff_t>(blocks * width), 0);
    if (level < L && ++s.pending[static_cast<std::size_t>(level) + 1] == 2) {
      s.pending[static_cast<std::size_t>(level) + 1] = 0;
      Finish(level + 1);
    }
  }
};

}  // namespace

void ResolutionAgreement(const RasterView& observed, const RasterView& simulated,
                         const ClassTable& t, std::vector<std::uint64_t>& agreementCells,
                         ResolutionScratch& scratch) {
  const int L = ResolutionLevels(observed.rows, observed.cols);
  agreementCells.assign(static_cast<std::size_t>(L) + 1, 0);
  Pass pass{t.K, t.K + 1, L, observed.cols, agreementCells, scratch};
  scratch.levels.resize(static_cast<std::size_t>(L) + 1);
  scratch.pending.assign(static_cast<std::size_t>(L) + 1, 0);
  for (int l = 1; l <= L; ++l)
    scratch.levels[static_cast<std::size_t>(l)].assign(
        pass.Blocks(l) * static_cast<std::size_t>(pass.K1) * 2, 0);

  const std::uint8_t* of = t.of.data();
  const std::uint8_t none = static_cast<std::uint8_t>(t.K);
  std::uint64_t* level1 = scratch.levels[1].data();
  const std::size_t width = static_cast<std::size_t>(pass.K1) * 2;
  std::uint64_t agree = 0;
  auto cell = [&](unsigned char idA, unsigned char idS, int c) {
    const std::uint8_t ca = of[idA], cs = of[idS];
    if (ca == none || cs == none) return;
    agree += ca == cs ? 1 : 0;
    std::uint64_t* block = level1 + (static_cast<std::size_t>(c) >> 1) * width;
    ++block[2 * ca];
    ++block[2 * cs + 1];
  };
  for (int r = 0; r < observed.rows; r += 2) {
    const unsigned char* a0 = observed.Row(r);
    const unsigned char* s0 = simulated.Row(r);
    int c = 0;
    if (r + 1 < observed.rows) {
      const unsigned char* a1 = observed.Row(r + 1);
      const unsigned char* s1 = simulated.Row(r + 1);
      for (; c + 2 <= observed.cols; c += 2) {
        const unsigned char id = a0[c];
        if (a0[c + 1] == id && a1[c] == id && a1[c + 1] == id && s0[c] == id && s0[c + 1] == id &&
            s1[c] == id && s1[c + 1] == id && of[id] != none) {
          agree += 4;  // one ID in all eight cells: the common case
          std::uint64_t* block = level1 + (static_cast<std::size_t>(c) >> 1) * width;
          block[2 * of[id]] += 4;
          block[2 * of[id] + 1] += 4;
          continue;
        }
        cell(a0[c], s0[c], c);
        cell(a0[c + 1], s0[c + 1], c + 1);
        cell(a1[c], s1[c], c);
        cell(a1[c + 1], s1[c + 1], c + 1);
      }
      if (c < observed.cols) cell(a1[c], s1[c], c);  // an odd last column
    }
    for (; c < observed.cols; ++c) cell(a0[c], s0[c], c);
    pass.Finish(1);
  }
  agreementCells[0] = agree;
  // Strips left half-filled at the bottom of the map.
  for (int l = 2; l <= L; ++l)
    if (scratch.pending[static_cast<std::size_t>(l)] > 0) pass.Finish(l);
}

}  // namespace towngrow::compare_detail
