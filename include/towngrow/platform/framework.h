// Framework stand-ins: the root class, the single-byte string, the integer
// point and the non-owning pointer array that the model's classes rest on.
#pragma once

#include <string>
#include <vector>

namespace towngrow {

// Root of every class of the library. Serialize, AssertValid and Dump exist
// so that hosts written against the classic class layout keep compiling;
// they do nothing.
class CObject {
public:
  CObject() = default;
  virtual ~CObject() = default;
  virtual void Serialize() {}
  virtual void AssertValid() const {}
  virtual void Dump() const {}
};

// Single-byte string.
using CString = std::string;

// Integer point: x is the column, y the row.
struct CPoint {
  int x = 0;
  int y = 0;
  CPoint() = default;
  CPoint(int nX, int nY) : x(nX), y(nY) {}
  bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
  bool operator!=(const CPoint& o) const { return !(*this == o); }
};

// Growable array of object pointers. It does not own what it holds; an
// owner (such as CLandUseSet) deletes the objects itself. The count is kept
// beside the storage so that GetSize costs one load in per-cell loops.
class CObArray {
public:
  int Add(CObject* p) {
    items_.push_back(p);
    size_ = static_cast<int>(items_.size());
    return size_ - 1;
  }
  int GetSize() const { return size_; }
  CObject* GetAt(int i) const { return items_[static_cast<std::size_t>(i)]; }
  CObject*& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
  void SetAt(int i, CObject* p) { items_[static_cast<std::size_t>(i)] = p; }
  void RemoveAt(int i) {
    items_.erase(items_.begin() + i);
    size_ = static_cast<int>(items_.size());
  }
  void RemoveAll() {
    items_.clear();
    size_ = 0;
  }

private:
  std::vector<CObject*> items_;
  int size_ = 0;
};

}  // namespace towngrow
