// The street rule and the joining of burnt lines (see streets.h).
#include "prepare/streets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace towngrow::io {
namespace {

// Clips the segment a-b to the box [0, cols] x [0, rows] (Liang-Barsky);
// false when nothing of it lies inside. t0, t1: the kept part.
bool Clip(const PixelPoint& a, const PixelPoint& b, int rows, int cols, double& t0, double& t1) {
  t0 = 0.0;
  t1 = 1.0;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x, cols - a.x, a.y, rows - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
  }
  return t0 <= t1;
}

class LineWalk {
public:
  LineWalk(int rows, int cols, std::vector<std::uint8_t>& burnt)
      : rows_(rows), cols_(cols), burnt_(burnt) {}

  void Reset() { haveLast_ = false; }

  // A cell the line passes through, in order.
  void Visit(long c, long r) {
    if (c < 0 || r < 0 || c >= cols_ || r >= rows_) return;
    if (!burnt_[static_cast<std::size_t>(r) * cols_ + c]) return;
    if (haveLast_ && (std::labs(c - lastC_) > 1 || std::labs(r - lastR_) > 1)) Connect(c, r);
    haveLast_ = true;
    lastC_ = c;
    lastR_ = r;
  }

  long added = 0;

private:
  // Bresenham's line from the last kept cell to (c, r), both ends excluded.
  void Connect(long c1, long r1) {
    long c = lastC_, r = lastR_;
    const long dc = std::labs(c1 - c), dr = -std::labs(r1 - r);
    const long sc = c < c1 ? 1 : -1, sr = r < r1 ? 1 : -1;
    long err = dc + dr;
    for (;;) {
      const long e2 = 2 * err;
      if (e2 >= dr) {
        err += dr;
        c += sc;
      }
      if (e2 <= dc) {
        err += dc;
        r += sr;
      }
      if (c == c1 && r == r1) break;
      std::uint8_t& cell = burnt_[static_cast<std::size_t>(r) * cols_ + c];
      if (!cell) {
        cell = 1;
        ++added;
      }
    }
  }

  int rows_, cols_;
  std::vector<std::uint8_t>& burnt_;
  bool haveLast_ = false;
  long lastC_ = 0, lastR_ = 0;
};

}  // namespace

void ApplyStreetRule(const std::vector<std::uint8_t>& street, int rows, int cols,
                     unsigned char nodeId, unsigned char vertexId, std::vector<std::uint8_t>& ids) {
  // The 8 neighbours in order round the cell: N, NE, E, SE, S, SW, W, NW.
  static const int dr[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
  static const int dc[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  for (int r = 0; r < rows; ++r) {
    const std::size_t row = static_cast<std::size_t>(r) * cols;
    for (int c = 0; c < cols; ++c) {
      if (!street[row + c]) continue;
      bool ring[8];
      int neighbours = 0;
      for (int k = 0; k < 8; ++k) {
        const int rr = r + dr[k], cc = c + dc[k];
        ring[k] = rr >= 0 && cc >= 0 && rr < rows && cc < cols &&
                  street[static_cast<std::size_t>(rr) * cols + cc] != 0;
        neighbours += ring[k];
      }
      int runs = 0;
      for (int k = 0; k < 8; ++k) runs += ring[k] && !ring[(k + 7) % 8];
      const bool end = neighbours == 0 || (runs == 1 && neighbours <= 2);
      ids[row + c] = end || runs >= 3 ? nodeId : vertexId;
    }
  }
}

long JoinLineCells(const std::vector<PixelPoint>& line, int rows, int cols,
                   std::vector<std::uint8_t>& burnt) {
  LineWalk walk(rows, cols, burnt);
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    const PixelPoint& a = line[i];
    const PixelPoint& b = line[i + 1];
    double t0, t1;
    if (!Clip(a, b, rows, cols, t0, t1)) {
      walk.Reset();
      continue;
    }
    if (t0 > 0.0) walk.Reset();  // the line comes in from outside
    const double x0 = a.x + (b.x - a.x) * t0, y0 = a.y + (b.y - a.y) * t0;
    const double x1 = a.x + (b.x - a.x) * t1, y1 = a.y + (b.y - a.y) * t1;
    // Every cell the segment passes through, in order (a grid traversal).
    long c = static_cast<long>(std::floor(x0)), r = static_cast<long>(std::floor(y0));
    const long ce = static_cast<long>(std::floor(x1)), re = static_cast<long>(std::floor(y1));
    const double dx = x1 - x0, dy = y1 - y0;
    const long sc = dx > 0 ? 1 : -1, sr = dy > 0 ? 1 : -1;
    const double inf = std::numeric_limits<double>::infinity();
    double tMaxX = dx != 0 ? (sc > 0 ? c + 1 - x0 : x0 - c) / std::fabs(dx) : inf;
    double tMaxY = dy != 0 ? (sr > 0 ? r + 1 - y0 : y0 - r) / std::fabs(dy) : inf;
    const double tDX = dx != 0 ? 1.0 / std::fabs(dx) : inf;
    const double tDY = dy != 0 ? 1.0 / std::fabs(dy) : inf;
    walk.Visit(c, r);
    for (long n = std::labs(ce - c) + std::labs(re - r); n > 0; --n) {
      if (tMaxX < tMaxY) {
        c += sc;
        tMaxX += tDX;
      } else {
        r += sr;
        tMaxY += tDY;
      }
      walk.Visit(c, r);
    }
    if (t1 < 1.0) walk.Reset();  // the line leaves the grid
  }
  return walk.added;
}

}  // namespace towngrow::io
