// The GIF recorder: frames, sizes, palette colours of cells, loop and delay
// extensions, shrinking of large grids, and misuse and write failures.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "picture_support.h"
#include "pictures/render.h"
#include "towngrow/towngrow.h"

namespace fs = std::filesystem;
using namespace towngrow;
using namespace towngrow::app;
using namespace picture_test;

namespace {

// A decoded GIF, freed with the object.
struct Decoded {
  GifFileType* gif = nullptr;
  ~Decoded() {
    int err = 0;
    if (gif != nullptr) DGifCloseFile(gif, &err);
  }
  bool Load(const std::string& path) {
    int err = 0;
    gif = DGifOpenFileName(path.c_str(), &err);
    return gif != nullptr && DGifSlurp(gif) == GIF_OK;
  }
  Rgb Pixel(int frame, int x, int y) const {
    const SavedImage& img = gif->SavedImages[frame];
    const ColorMapObject* map =
        img.ImageDesc.ColorMap != nullptr ? img.ImageDesc.ColorMap : gif->SColorMap;
    const int index = img.RasterBits[static_cast<size_t>(y) * img.ImageDesc.Width + x];
    EXPECT_LT(index, map->ColorCount);
    const GifColorType& c = map->Colors[index];
    return {c.Red, c.Green, c.Blue};
  }
  // The NETSCAPE2.0 loop count, or -1 when the extension is missing.
  int LoopCount() const {
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& img = gif->SavedImages[i];
      for (int b = 0; b + 1 < img.ExtensionBlockCount; ++b) {
        const ExtensionBlock& app = img.ExtensionBlocks[b];
        const ExtensionBlock& sub = img.ExtensionBlocks[b + 1];
        if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount == 11 &&
            std::memcmp(app.Bytes, "NETSCAPE2.0", 11) == 0 &&
            sub.Function == CONTINUE_EXT_FUNC_CODE && sub.ByteCount == 3 && sub.Bytes[0] == 1) {
          return sub.Bytes[1] | (sub.Bytes[2] << 8);
        }
      }
    }
    return -1;
  }
  int DelayOf(int frame) const {
    GraphicsControlBlock gcb{};
    if (DGifSavedExtensionToGCB(gif, frame, &gcb) != GIF_OK) return -1;
    return gcb.DelayTime;
  }
};

class GifRecorderTest : public MapTest {
protected:
  GifRecorderTest() : MapTest("render_gif_") {}
};

TEST_F(GifRecorderTest, FramesShowEveryCellInItsColourAndLoopForever) {
  const std::string path = Path("anim.gif");
  const int rows = 5, cols = 6, scale = 3;
  CLandUseCoverage cov;
  {
    GifRecorder rec;
    EXPECT_FALSE(rec.IsOpen());
    EXPECT_EQ(rec.Width(), 0);
    ASSERT_EQ(rec.Open(path, set_, rows, cols, scale, 25), "");
    EXPECT_TRUE(rec.IsOpen());
    EXPECT_EQ(rec.Width(), cols * scale);
    EXPECT_EQ(rec.Height(), rows * scale);
    for (int f = 0; f < 3; ++f) {
      Fill(cov, rows, cols, [f](int r, int c) { return (r * cols + c + f) % 9; });  // 7, 8 unknown
      ASSERT_EQ(rec.AddFrame(cov), "");
      EXPECT_EQ(rec.FrameCount(), f + 1);
    }
    ASSERT_EQ(rec.Close(), "");
    EXPECT_FALSE(rec.IsOpen());
    EXPECT_EQ(rec.FrameCount(), 3);
  }

  Decoded d;
  ASSERT_TRUE(d.Load(path));
  ASSERT_EQ(d.gif->ImageCount, 3);
  EXPECT_EQ(d.gif->SWidth, cols * scale);
  EXPECT_EQ(d.gif->SHeight, rows * scale);
  EXPECT_EQ(d.LoopCount(), 0);
  for (int f = 0; f < 3; ++f) {
    const GifImageDesc& desc = d.gif->SavedImages[f].ImageDesc;
    EXPECT_EQ(desc.Left, 0);
    EXPECT_EQ(desc.Top, 0);
    ASSERT_EQ(desc.Width, cols * scale);
    ASSERT_EQ(desc.Height, rows * scale);
    EXPECT_FALSE(desc.Interlace);
    EXPECT_EQ(d.DelayOf(f), 25);
    for (int y = 0; y < rows * scale; ++y)
      for (int x = 0; x < cols * scale; ++x)
        ASSERT_EQ(d.Pixel(f, x, y), RosterRgb((y / scale * cols + x / scale + f) % 9))
            << f << ": " << x << "," << y;
  }
}

TEST_F(GifRecorderTest, PaletteHoldsEachColourOnceAndAPowerOfTwoEntries) {
  // Two host land uses repeat colours of the roster; one brings a new one.
  auto add = [this](int id, unsigned int color) {
    auto* use = new CLandUse();
    use->m_ID = static_cast<unsigned char>(id);
    use->m_Color = color;
    set_.m_LandUseArray.Add(use);
  };
  add(10, 0x0000BE);    // as the street node
  add(11, 0xFFFFFF);    // as vacant land and unknown IDs
  add(12, 0x00563412);  // R 0x12, G 0x34, B 0x56

  const std::string path = Path("palette.gif");
  GifRecorder rec;
  ASSERT_EQ(rec.Open(path, set_, 5, 5, 1), "");
  CLandUseCoverage cov;
  Fill(cov, 5, 5, [](int r, int c) { return r == 0 ? 10 + c % 3 : (r * 5 + c) % 10; });
  ASSERT_EQ(rec.AddFrame(cov), "");
  ASSERT_EQ(rec.Close(), "");

  Decoded d;
  ASSERT_TRUE(d.Load(path));
  const ColorMapObject* map = d.gif->SColorMap;
  ASSERT_NE(map, nullptr);
  // 8 distinct colours: the roster's seven (white among them) and the new one.
  EXPECT_EQ(map->ColorCount, 8);
  std::set<Rgb> seen;
  for (int i = 0; i < map->ColorCount; ++i)
    seen.insert({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  EXPECT_EQ(seen.size(), 8u);
  EXPECT_EQ(seen.count(Rgb{0x12, 0x34, 0x56}), 1u);

  EXPECT_EQ(d.Pixel(0, 0, 0), RosterRgb(1));
  EXPECT_EQ(d.Pixel(0, 1, 0), kWhite);
  EXPECT_EQ(d.Pixel(0, 2, 0), (Rgb{0x12, 0x34, 0x56}));
  for (int r = 1; r < 5; ++r)
    for (int c = 0; c < 5; ++c)
      ASSERT_EQ(d.Pixel(0, c, r), RosterRgb((r * 5 + c) % 10)) << r << "," << c;
}

TEST_F(GifRecorderTest, TwoHundredFiftySixColoursFillThePalette) {
  // Replace the roster by 256 land uses, one per ID, all colours distinct.
  for (int i = 0; i < set_.m_LandUseArray.GetSize(); ++i) delete set_.m_LandUseArray.GetAt(i);
  set_.m_LandUseArray.RemoveAll();
  auto color_of = [](int id) {
    return static_cast<unsigned int>(id | ((255 - id) << 8) | ((id * 7 % 256) << 16));
  };
  for (int id = 255; id >= 0; --id) {
    auto* use = new CLandUse();
    use->m_ID = static_cast<unsigned char>(id);
    use->m_Color = color_of(id);
    set_.m_LandUseArray.Add(use);
  }
  const std::string path = Path("full.gif");
  GifRecorder rec;
  ASSERT_EQ(rec.Open(path, set_, 16, 16, 1), "");
  CLandUseCoverage cov;
  Fill(cov, 16, 16, [](int r, int c) { return r * 16 + c; });
  ASSERT_EQ(rec.AddFrame(cov), "");
  ASSERT_EQ(rec.Close(), "");

  Decoded d;
  ASSERT_TRUE(d.Load(path));
  EXPECT_EQ(d.gif->SColorMap->ColorCount, 256);
  for (int id = 0; id < 256; ++id) {
    const unsigned int c = color_of(id);
    ASSERT_EQ(d.Pixel(0, id % 16, id / 16),
              (Rgb{static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                   static_cast<int>((c >> 16) & 0xFF)}))
        << "ID " << id;
  }
}

TEST_F(GifRecorderTest, LargeGridsShrinkToEightHundredPixelsOnTheLongerSide) {
  // 1000 x 2000 cells in 4 x 8 blocks of 250 cells: 100 px blocks in the frame.
  const int rows = 1000, cols = 2000;
  const std::string path = Path("large.gif");
  GifRecorder rec;
  ASSERT_EQ(rec.Open(path, set_, rows, cols, 5), "");
  EXPECT_EQ(rec.Width(), GifRecorder::kGifMaxSide);
  EXPECT_EQ(rec.Height(), GifRecorder::kGifMaxSide / 2);
  CLandUseCoverage cov;
  Fill(cov, rows, cols, [](int r, int c) { return (r / 250 * 3 + c / 250) % 7; });
  ASSERT_EQ(rec.AddFrame(cov), "");
  ASSERT_EQ(rec.Close(), "");

  Decoded d;
  ASSERT_TRUE(d.Load(path));
  ASSERT_EQ(d.gif->ImageCount, 1);
  ASSERT_EQ(d.gif->SWidth, 800);
  ASSERT_EQ(d.gif->SHeight, 400);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 800; ++x)
      ASSERT_EQ(d.Pixel(0, x, y), RosterRgb((y / 100 * 3 + x / 100) % 7)) << x << "," << y;

  // A tall, thin grid keeps at least one pixel across.
  GifRecorder thin;
  ASSERT_EQ(thin.Open(Path("thin.gif"), set_, 10000, 5, 1), "");
  EXPECT_EQ(thin.Height(), 800);
  EXPECT_EQ(thin.Width(), 1);
}

TEST_F(GifRecorderTest, TheDestructorFinishesAnOpenFile) {
  const std::string path = Path("dtor.gif");
  {
    GifRecorder rec;
    ASSERT_EQ(rec.Open(path, set_, 5, 5, 2), "");
    CLandUseCoverage cov;
    Fill(cov, 5, 5, [](int, int) { return 4; });
    ASSERT_EQ(rec.AddFrame(cov), "");
    ASSERT_EQ(rec.AddFrame(cov), "");
  }
  Decoded d;
  ASSERT_TRUE(d.Load(path));
  EXPECT_EQ(d.gif->ImageCount, 2);
  EXPECT_EQ(d.Pixel(1, 9, 9), RosterRgb(4));
  EXPECT_EQ(d.DelayOf(1), 10);
}

TEST_F(GifRecorderTest, MisuseIsReportedWithoutHarm) {
  GifRecorder rec;
  CLandUseCoverage cov;
  Fill(cov, 5, 6, [](int, int) { return 3; });
  EXPECT_NE(rec.AddFrame(cov), "");  // nothing open
  EXPECT_EQ(rec.Close(), "");
  EXPECT_EQ(rec.FrameCount(), 0);

  EXPECT_NE(rec.Open(Path("a.gif"), set_, 0, 6, 1), "");
  EXPECT_NE(rec.Open(Path("a.gif"), set_, 5, 6, 0), "");
  EXPECT_NE(rec.Open(Path("a.gif"), set_, 5, 6, 1, -1), "");
  EXPECT_NE(rec.Open(Path("a.gif"), set_, 10, 10, 10000), "");  // 100000 px: beyond the format
  EXPECT_FALSE(rec.IsOpen());
  EXPECT_FALSE(fs::exists(Path("a.gif")));

  const std::string missing = Path("no/such/dir/a.gif");
  const std::string err = rec.Open(missing, set_, 5, 6, 1);
  EXPECT_NE(err, "");
  EXPECT_EQ(err.find('\n'), std::string::npos);
  EXPECT_FALSE(rec.IsOpen());

  ASSERT_EQ(rec.Open(Path("b.gif"), set_, 5, 6, 1), "");
  EXPECT_NE(rec.Open(Path("c.gif"), set_, 5, 6, 1), "");  // already recording
  EXPECT_FALSE(fs::exists(Path("c.gif")));
  CLandUseCoverage other;
  Fill(other, 6, 5, [](int, int) { return 3; });
  EXPECT_NE(rec.AddFrame(other), "");  // other shape
  CLandUseCoverage empty;
  EXPECT_NE(rec.AddFrame(empty), "");
  EXPECT_TRUE(rec.IsOpen());
  ASSERT_EQ(rec.AddFrame(cov), "");
  ASSERT_EQ(rec.Close(), "");
  EXPECT_EQ(rec.Close(), "");

  Decoded d;
  ASSERT_TRUE(d.Load(Path("b.gif")));
  EXPECT_EQ(d.gif->ImageCount, 1);

  // The recorder can record again; the count starts over.
  ASSERT_EQ(rec.Open(Path("d.gif"), set_, 5, 6, 1), "");
  EXPECT_EQ(rec.FrameCount(), 0);
  ASSERT_EQ(rec.AddFrame(cov), "");
  EXPECT_EQ(rec.FrameCount(), 1);
}

TEST_F(GifRecorderTest, AWriteErrorIsReportedAndTheDeviceLeftAlone) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  GifRecorder rec;
  CLandUseCoverage cov;
  Fill(cov, 100, 100, [](int r, int c) { return (r * 3 + c * 5) % 7; });
  std::string err = rec.Open("/dev/full", set_, 100, 100, 4);
  for (int f = 0; err.empty() && f < 10; ++f) err = rec.AddFrame(cov);
  if (err.empty()) err = rec.Close();
  EXPECT_NE(err, "");
  EXPECT_FALSE(rec.IsOpen());
  EXPECT_TRUE(fs::exists("/dev/full"));
  EXPECT_FALSE(fs::is_regular_file("/dev/full"));
}

}  // namespace
