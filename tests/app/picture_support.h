// Shared by the tests of the pictures the host draws: colours as red, green,
// blue, the default roster's colours, a PNG read back into 8-bit RGB, and a
// fixture with a scratch folder per test and coverages linked to a default set.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstddef>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "towngrow/towngrow.h"

namespace picture_test {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator<(const Rgb& o) const { return r != o.r ? r < o.r : g != o.g ? g < o.g : b < o.b; }
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

inline const Rgb kWhite{255, 255, 255};
inline const Rgb kBlack{0, 0, 0};

// The default roster's colours, written out as red, green, blue; white for
// IDs it lacks.
inline Rgb RosterRgb(int id) {
  switch (id) {
    case 0:
      return {255, 255, 255};
    case 1:
      return {190, 0, 0};
    case 2:
      return {210, 180, 140};
    case 3:
      return {50, 205, 50};
    case 4:
      return {64, 224, 208};
    case 5:
      return {255, 0, 0};
    case 6:
      return {0, 0, 0};
    default:
      return kWhite;
  }
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  Rgb At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) *
                          3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// Decodes with libpng; also expects the file itself to be 8-bit RGB.
inline bool ReadPng(const std::string& path, Image& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
  image.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgb.assign(PNG_IMAGE_SIZE(image), 0);
  const bool ok = png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

// A scratch folder per test, named by `prefix` and the test, and a default
// land-use set for the coverages the test draws.
class MapTest : public ::testing::Test {
protected:
  explicit MapTest(std::string prefix) : prefix_(std::move(prefix)) {}
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           (prefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Links cov to set_ and fills every cell by fill(row, col); sizes it
  // first unless it already has rows x cols cells.
  template <class F>
  void Fill(towngrow::CLandUseCoverage& cov, int rows, int cols, F fill) {
    if (cov.m_nRows != rows || cov.m_nCols != cols) {
      ASSERT_EQ(cov.InitCoverage(rows, cols, 0), 1);
    }
    cov.m_pLandUseSet = &set_;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) cov.SetCellValue(r, c, static_cast<unsigned char>(fill(r, c)));
  }

  towngrow::CLandUseSet set_;
  std::filesystem::path dir_;

private:
  std::string prefix_;
};

}  // namespace picture_test
