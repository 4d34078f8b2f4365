// The GIF recorder: header, palette and loop extension on Open, then one
// graphics control extension and one image per frame, written line by line.
#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "maps/file_util.h"
#include "pictures/render.h"
#include "towngrow/towngrow.h"

namespace towngrow::app {

struct GifRecorder::Impl {
  GifFileType* gif = nullptr;
  std::FILE* file = nullptr;  // ours: giflib writes through WriteToFile
  std::string path;
  int rows = 0;
  int cols = 0;
  int width = 0;
  int height = 0;
  int delay_cs = 10;
  int frames = 0;
  GifPixelType index_of[256] = {};  // cell ID -> palette index
  std::vector<int> col_of;          // pixel column -> cell column
  std::vector<GifPixelType> line;   // one frame line
};

namespace {

constexpr int kMaxGifSide = 65535;  // the format's 16-bit sizes

std::string GifFailure(const std::string& path, int code) {
  const char* text = GifErrorString(code);
  return "cannot write GIF '" + path + "': " + (text != nullptr ? text : "unknown error");
}

// giflib's output function: the file is opened (with the usual permissions)
// and closed by the recorder, so a failed close is seen too.
int WriteToFile(GifFileType* gif, const GifByteType* data, int length) {
  auto* file = static_cast<std::FILE*>(gif->UserData);
  if (file == nullptr || length <= 0) return 0;
  return static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(length), file));
}

// Finishes giflib's side and closes the file; true when both went well.
// Leaves code at giflib's error code, or 0 for a failed close of the file.
bool Finish(GifFileType* gif, std::FILE* file, int& code) {
  code = 0;
  const bool gif_ok = EGifCloseFile(gif, &code) == GIF_OK;
  const bool file_ok = std::ferror(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (gif_ok && !(file_ok && closed)) code = E_GIF_ERR_WRITE_FAILED;
  return gif_ok && file_ok && closed;
}

}  // namespace

GifRecorder::GifRecorder() : impl_(std::make_unique<Impl>()) {}

GifRecorder::~GifRecorder() { Close(); }

bool GifRecorder::IsOpen() const { return impl_->gif != nullptr; }
int GifRecorder::FrameCount() const { return impl_->frames; }
int GifRecorder::Width() const { return impl_->width; }
int GifRecorder::Height() const { return impl_->height; }

std::string GifRecorder::Open(const std::string& path, const CLandUseSet& set, int rows, int cols,
                              int scale, int delay_cs) {
  Impl& m = *impl_;
  if (m.gif != nullptr)
    return "cannot write GIF '" + path + "': a recording to '" + m.path + "' is still open";
  if (rows <= 0 || cols <= 0) return "cannot write GIF '" + path + "': the grid is empty";
  if (scale < 1) return "cannot write GIF '" + path + "': the scale must be at least 1";
  if (delay_cs < 0 || delay_cs > 65535)
    return "cannot write GIF '" + path + "': the frame delay must be 0 to 65535";

  // Frame size: shrink a large grid to kGifMaxSide on its longer side,
  // magnify a small one by scale.
  const long long longer = std::max(rows, cols);
  long long width = 0;
  long long height = 0;
  if (longer > kGifMaxSide) {
    width = std::max(1LL, static_cast<long long>(cols) * kGifMaxSide / longer);
    height = std::max(1LL, static_cast<long long>(rows) * kGifMaxSide / longer);
  } else {
    width = static_cast<long long>(cols) * scale;
    height = static_cast<long long>(rows) * scale;
  }
  if (width > kMaxGifSide || height > kMaxGifSide) {
    return "cannot write GIF '" + path + "': a frame would exceed " + std::to_string(kMaxGifSide) +
           " pixels on a side";
  }

  // Palette: the set's colours of the IDs, land uses in array order first.
  std::vector<unsigned int> colors;
  auto index_for = [&colors](unsigned int color) {
    auto it = std::find(colors.begin(), colors.end(), color);
    if (it != colors.end()) return static_cast<int>(it - colors.begin());
    colors.push_back(color);
    return static_cast<int>(colors.size()) - 1;
  };
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = dynamic_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (use != nullptr) index_for(set.GetColor(use->m_ID));
  }
  for (int id = 0; id < 256; ++id) {
    m.index_of[id] =
        static_cast<GifPixelType>(index_for(set.GetColor(static_cast<unsigned char>(id))));
  }
  int entries = 2;
  while (entries < static_cast<int>(colors.size())) entries *= 2;
  std::vector<GifColorType> table(static_cast<size_t>(entries), GifColorType{0, 0, 0});
  for (size_t i = 0; i < colors.size(); ++i) {  // 0x00BBGGRR
    table[i].Red = static_cast<GifByteType>(colors[i] & 0xFFu);
    table[i].Green = static_cast<GifByteType>((colors[i] >> 8) & 0xFFu);
    table[i].Blue = static_cast<GifByteType>((colors[i] >> 16) & 0xFFu);
  }

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot write GIF '" + path + "': " + std::strerror(errno);
  int error = 0;
  GifFileType* gif = EGifOpen(file, WriteToFile, &error);
  if (gif == nullptr) {
    std::fclose(file);
    RemovePartialFile(path);
    return GifFailure(path, error);
  }
  ColorMapObject* map = GifMakeMapObject(entries, table.data());
  if (map == nullptr) {
    Finish(gif, file, error);
    RemovePartialFile(path);
    return "cannot write GIF '" + path + "': out of memory";
  }
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, static_cast<int>(width), static_cast<int>(height), 8, 0, map) ==
            GIF_OK;
  GifFreeMapObject(map);
  // Loop forever: the NETSCAPE2.0 application extension, count 0.
  static const GifByteType kNetscape[11] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoopForever[3] = {1, 0, 0};
  ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
       EGifPutExtensionBlock(gif, sizeof kNetscape, kNetscape) == GIF_OK &&
       EGifPutExtensionBlock(gif, sizeof kLoopForever, kLoopForever) == GIF_OK &&
       EGifPutExtensionTrailer(gif) == GIF_OK;
  if (!ok) {
    const int code = gif->Error;
    Finish(gif, file, error);
    RemovePartialFile(path);
    return GifFailure(path, code);
  }

  m.gif = gif;
  m.file = file;
  m.path = path;
  m.rows = rows;
  m.cols = cols;
  m.width = static_cast<int>(width);
  m.height = static_cast<int>(height);
  m.delay_cs = delay_cs;
  m.frames = 0;
  m.col_of.resize(static_cast<size_t>(width));
  for (long long x = 0; x < width; ++x)
    m.col_of[static_cast<size_t>(x)] = static_cast<int>(x * cols / width);
  m.line.assign(static_cast<size_t>(width), 0);
  return "";
}

std::string GifRecorder::AddFrame(const CLandUseCoverage& cov) {
  Impl& m = *impl_;
  if (m.gif == nullptr) return "cannot add a GIF frame: no recording is open";
  if (cov.m_nRows != m.rows || cov.m_nCols != m.cols || cov.m_pData == nullptr) {
    return "cannot add a GIF frame: the coverage has " + std::to_string(cov.m_nRows) + " x " +
           std::to_string(cov.m_nCols) + " cells, the recording " + std::to_string(m.rows) + " x " +
           std::to_string(m.cols);
  }
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.UserInputFlag = false;
  gcb.DelayTime = m.delay_cs;
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType gce[4] = {};
  const size_t gce_len = EGifGCBToExtension(&gcb, gce);
  bool ok =
      EGifPutExtension(m.gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(gce_len), gce) == GIF_OK &&
      EGifPutImageDesc(m.gif, 0, 0, m.width, m.height, false, nullptr) == GIF_OK;
  int cached = -1;
  for (int y = 0; ok && y < m.height; ++y) {
    const int r = static_cast<int>(static_cast<long long>(y) * m.rows / m.height);
    if (r != cached) {
      const unsigned char* cells =
          cov.m_pData + static_cast<size_t>(r) * static_cast<size_t>(m.cols);
      for (int x = 0; x < m.width; ++x)
        m.line[static_cast<size_t>(x)] = m.index_of[cells[m.col_of[static_cast<size_t>(x)]]];
      cached = r;
    }
    ok = EGifPutLine(m.gif, m.line.data(), m.width) == GIF_OK;
  }
  if (ok) {
    ++m.frames;
    return "";
  }
  const int code = m.gif->Error;
  int error = 0;
  Finish(m.gif, m.file, error);
  m.gif = nullptr;
  m.file = nullptr;
  RemovePartialFile(m.path);
  return GifFailure(m.path, code);
}

std::string GifRecorder::Close() {
  Impl& m = *impl_;
  if (m.gif == nullptr) return "";
  int error = 0;
  const bool ok = Finish(m.gif, m.file, error);
  m.gif = nullptr;
  m.file = nullptr;
  if (ok) return "";
  RemovePartialFile(m.path);
  return GifFailure(m.path, error);
}

}  // namespace towngrow::app
