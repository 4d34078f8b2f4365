// The GIF recorder. While the run goes, each frame is kept in a temporary
// file as the cells that changed since the frame before (the first frame
// whole): per change the distance from the last changed cell (a varint,
// at least 1) and the new ID, a 0 ending the frame. The view is known only
// when the last frame is in, so Close() replays the frames, draws each with
// Cairo, maps its pixels to the palette and writes the rectangle that
// changed.
#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/atomic_files.h"
#include "report/canvas.h"
#include "report/render.h"
#include "towngrow/compare.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/framework.h"
#include "towngrow/simulation.h"

namespace towngrow::report {

struct GifRecorder::Impl {
  const CLandUseSet* set = nullptr;
  std::string path;
  GifOptions options;
  int rows = 0, cols = 0;
  std::FILE* journal = nullptr;
  std::vector<unsigned char> last;  // the cells of the last frame
  std::vector<long> steps;
  ValueFlags developed{}, present{};
  Extent box;
  MapGeometry geometry;

  void Drop() {
    if (journal != nullptr) std::fclose(journal);
    journal = nullptr;
    last.clear();
    last.shrink_to_fit();
  }
};

namespace {

constexpr int kGreys = 16;

std::string GifFailure(const std::string& path, const std::string& why) {
  return "cannot write GIF '" + path + "': " + why;
}

std::string GifError(const std::string& path, int code) {
  const char* text = GifErrorString(code);
  return GifFailure(path, text != nullptr ? text : "unknown error");
}

void PutVarint(std::FILE* f, unsigned long long v) {
  while (v >= 0x80) {
    std::fputc(static_cast<int>((v & 0x7F) | 0x80), f);
    v >>= 7;
  }
  std::fputc(static_cast<int>(v), f);
}

bool GetVarint(std::FILE* f, unsigned long long& v) {
  v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    const int c = std::fgetc(f);
    if (c == EOF) return false;
    v |= static_cast<unsigned long long>(c & 0x7F) << shift;
    if ((c & 0x80) == 0) return true;
  }
  return false;
}

// The palette: 16 greys, then the set's colours (land uses first).
std::vector<unsigned int> Palette(const CLandUseSet& set) {
  std::vector<unsigned int> colors;
  for (int k = 0; k < kGreys; ++k) colors.push_back(0x111111u * static_cast<unsigned int>(k));
  auto add = [&colors](unsigned int c) {
    if (colors.size() < 256 && std::find(colors.begin(), colors.end(), c) == colors.end())
      colors.push_back(c);
  };
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = dynamic_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (use != nullptr) add(use->m_Color);
  }
  for (int id = 0; id < 256; ++id) add(set.GetColor(static_cast<unsigned char>(id)));
  return colors;
}

// Pixel words to palette indices: exact colours directly, others the
// nearest entry (squared distance in RGB, the first of equals).
class Quantiser {
public:
  explicit Quantiser(const std::vector<unsigned int>& colors) : colors_(colors) {}
  GifPixelType Index(std::uint32_t pixel) {
    pixel &= 0xFFFFFFu;
    auto it = cache_.find(pixel);
    if (it != cache_.end()) return it->second;
    const unsigned int c = ColorOfPixel(pixel);
    int best = 0;
    long bestD = -1;
    for (std::size_t i = 0; i < colors_.size(); ++i) {
      long d = 0;
      for (int k = 0; k < 3; ++k) {
        const long a = static_cast<long>((c >> (8 * k)) & 0xFFu);
        const long b = static_cast<long>((colors_[i] >> (8 * k)) & 0xFFu);
        d += (a - b) * (a - b);
      }
      if (bestD < 0 || d < bestD) bestD = d, best = static_cast<int>(i);
    }
    return cache_[pixel] = static_cast<GifPixelType>(best);
  }

private:
  const std::vector<unsigned int>& colors_;
  std::unordered_map<std::uint32_t, GifPixelType> cache_;
};

// giflib writes through the recorder's own FILE, so a failed close shows.
int WriteToFile(GifFileType* gif, const GifByteType* data, int length) {
  auto* file = static_cast<std::FILE*>(gif->UserData);
  if (file == nullptr || length <= 0) return 0;
  return static_cast<int>(std::fwrite(data, 1, static_cast<std::size_t>(length), file));
}

std::string StepTitle(long step, long lastStep) {
  std::string t = "Step " + std::to_string(step);
  if (lastStep >= 0) t += " of " + std::to_string(lastStep);
  return t;
}

}  // namespace

GifRecorder::GifRecorder() : impl_(std::make_unique<Impl>()) {}

GifRecorder::~GifRecorder() { impl_->Drop(); }

const MapGeometry& GifRecorder::Geometry() const { return impl_->geometry; }

std::string GifRecorder::Open(const std::string& path, const CLandUseSet& set, int rows, int cols,
                              const GifOptions& options) {
  Impl& m = *impl_;
  if (m.journal != nullptr)
    return GifFailure(path, "a recording to '" + m.path + "' is still open");
  if (rows <= 0 || cols <= 0) return GifFailure(path, "the grid is empty");
  if (options.delayCs < 0 || options.delayCs > 65535)
    return GifFailure(path, "the frame delay must be 0 to 65535");
  m.journal = std::tmpfile();
  if (m.journal == nullptr)
    return GifFailure(path, std::string("frame store: ") + std::strerror(errno));
  m.set = &set;
  m.path = path;
  m.options = options;
  m.rows = rows;
  m.cols = cols;
  m.steps.clear();
  m.developed = DevelopedIds(set);
  m.present = ValueFlags{};
  m.box = Extent{};
  m.geometry = MapGeometry{};
  return "";
}

std::string GifRecorder::AddFrame(const CLandUseCoverage& cov, long step) {
  Impl& m = *impl_;
  if (m.journal == nullptr) return "cannot add a GIF frame: no recording is open";
  if (cov.m_nRows != m.rows || cov.m_nCols != m.cols || cov.m_pData == nullptr) {
    return "cannot add a GIF frame: the coverage has " + std::to_string(cov.m_nRows) + " x " +
           std::to_string(cov.m_nCols) + " cells, the recording " + std::to_string(m.rows) + " x " +
           std::to_string(m.cols);
  }
  const std::size_t cells = static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols);
  const unsigned char* now = cov.m_pData;
  if (m.steps.empty()) {
    m.last.assign(now, now + cells);
    std::fwrite(now, 1, cells, m.journal);
    m.box = FlaggedBox(now, m.rows, m.cols, m.developed);
    for (std::size_t i = 0; i < cells; ++i) m.present[now[i]] = true;
  } else {
    long long lastChanged = -1;
    for (std::size_t i = 0; i < cells; ++i) {
      if (now[i] == m.last[i]) continue;
      PutVarint(m.journal,
                static_cast<unsigned long long>(static_cast<long long>(i) - lastChanged));
      std::fputc(now[i], m.journal);
      lastChanged = static_cast<long long>(i);
      m.last[i] = now[i];
      m.present[now[i]] = true;
      if (m.developed[now[i]]) {
        const int r = static_cast<int>(i / static_cast<std::size_t>(m.cols));
        const int c = static_cast<int>(i % static_cast<std::size_t>(m.cols));
        m.box = Union(m.box, Extent{r, c, 1, 1});
      }
    }
    PutVarint(m.journal, 0);
  }
  if (std::ferror(m.journal) != 0) {
    m.Drop();
    return GifFailure(m.path, "cannot keep the frame: write error in the temporary folder");
  }
  m.steps.push_back(step);
  return "";
}

std::string GifRecorder::Close() {
  Impl& m = *impl_;
  if (m.journal == nullptr) return "";
  struct Dropper {
    Impl& m;
    ~Dropper() { m.Drop(); }
  } dropper{m};
  if (m.steps.empty()) return GifFailure(m.path, "no frame was recorded");

  MapPicture map;
  std::vector<unsigned char> work(static_cast<std::size_t>(m.rows) * m.cols);
  map.cells = work.data();
  map.rows = m.rows;
  map.cols = m.cols;
  LandUseColors(*m.set, m.present, map);
  map.mapScale = m.options.mapScale;
  map.view = ViewOf(m.box, m.rows, m.cols, m.options.extent);
  map.subtitle = ViewText(m.rows, m.cols, map.view);
  if (!m.options.subtitle.empty()) map.subtitle = m.options.subtitle + ", " + map.subtitle;
  const char* const kMark = ", scheduled layers";
  std::vector<std::string> titles;
  bool marked = false;
  for (std::size_t f = 0; f < m.steps.size(); ++f) {
    titles.push_back(StepTitle(m.steps[f], m.options.lastStep));
    for (const long s : m.options.marked)
      if (s <= m.steps[f] && (f == 0 || s > m.steps[f - 1])) {
        titles.back() += kMark;
        marked = true;
        break;
      }
  }
  const long most = *std::max_element(m.steps.begin(), m.steps.end());
  const std::string widest = StepTitle(most, m.options.lastStep) + (marked ? kMark : "");
  std::string why;
  if (!LayOutMap(map, kGifMaxSide, widest, m.geometry, why)) return GifFailure(m.path, why);
  const MapGeometry& g = m.geometry;
  if (g.width > 65535 || g.height > 65535) return GifFailure(m.path, "the frames are too large");
  Canvas canvas(g.width, g.height);
  if (!canvas.Ok()) return GifFailure(m.path, "not enough memory for a frame");

  const std::vector<unsigned int> colors = Palette(*m.set);
  int entries = 2;
  while (entries < static_cast<int>(colors.size())) entries *= 2;
  std::vector<GifColorType> table(static_cast<std::size_t>(entries), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < colors.size(); ++i) {
    table[i].Red = static_cast<GifByteType>(colors[i] & 0xFFu);
    table[i].Green = static_cast<GifByteType>((colors[i] >> 8) & 0xFFu);
    table[i].Blue = static_cast<GifByteType>((colors[i] >> 16) & 0xFFu);
  }
  Quantiser quantise(colors);

  std::FILE* file = std::fopen(m.path.c_str(), "wb");
  if (file == nullptr) return GifFailure(m.path, std::strerror(errno));
  int error = 0;
  GifFileType* gif = EGifOpen(file, WriteToFile, &error);
  if (gif == nullptr) {
    std::fclose(file);
    io::RemovePartialFile(m.path);
    return GifError(m.path, error);
  }
  bool ok = true;
  ColorMapObject* cmap = GifMakeMapObject(entries, table.data());
  EGifSetGifVersion(gif, true);
  ok = cmap != nullptr && EGifPutScreenDesc(gif, g.width, g.height, 8, 0, cmap) == GIF_OK;
  if (cmap != nullptr) GifFreeMapObject(cmap);
  static const GifByteType kNetscape[11] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoopForever[3] = {1, 0, 0};
  ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
       EGifPutExtensionBlock(gif, sizeof kNetscape, kNetscape) == GIF_OK &&
       EGifPutExtensionBlock(gif, sizeof kLoopForever, kLoopForever) == GIF_OK &&
       EGifPutExtensionTrailer(gif) == GIF_OK;

  const std::size_t pixels = static_cast<std::size_t>(g.width) * g.height;
  std::vector<GifPixelType> shown(pixels, 0), now(pixels, 0);
  std::rewind(m.journal);
  bool journalOk = std::fread(work.data(), 1, work.size(), m.journal) == work.size();
  for (std::size_t f = 0; ok && journalOk && f < m.steps.size(); ++f) {
    if (f > 0) {  // the changes since the frame before
      long long at = -1;
      for (unsigned long long gap; (journalOk = GetVarint(m.journal, gap)) && gap != 0;) {
        at += static_cast<long long>(gap);
        const int id = std::fgetc(m.journal);
        if (id == EOF || at >= static_cast<long long>(work.size())) {
          journalOk = false;
          break;
        }
        work[static_cast<std::size_t>(at)] = static_cast<unsigned char>(id);
      }
      if (!journalOk) break;
    }
    canvas.FillRect(0, 0, g.width, g.height, kWhite);
    map.title = titles[f];
    DrawMap(canvas, map, g);
    canvas.Flush();
    int x0 = g.width, x1 = -1, y0 = g.height, y1 = -1;
    for (int y = 0; y < g.height; ++y) {
      const std::uint32_t* row = canvas.Row(y);
      GifPixelType* out = &now[static_cast<std::size_t>(y) * g.width];
      const GifPixelType* before = &shown[static_cast<std::size_t>(y) * g.width];
      std::uint32_t lastPixel = ~0u;
      GifPixelType lastIndex = 0;
      for (int x = 0; x < g.width; ++x) {
        const std::uint32_t pixel = row[x] & 0xFFFFFFu;  // the unused byte may hold anything
        if (pixel != lastPixel) lastPixel = pixel, lastIndex = quantise.Index(pixel);
        out[x] = lastIndex;
        if (f == 0 || out[x] != before[x]) {
          x0 = std::min(x0, x), x1 = std::max(x1, x);
          y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
      }
    }
    if (x1 < 0) x0 = x1 = y0 = y1 = 0;  // nothing changed: one pixel
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.DelayTime = m.options.delayCs;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType gce[4] = {};
    const std::size_t gceLength = EGifGCBToExtension(&gcb, gce);
    ok =
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(gceLength), gce) == GIF_OK &&
        EGifPutImageDesc(gif, x0, y0, x1 - x0 + 1, y1 - y0 + 1, false, nullptr) == GIF_OK;
    for (int y = y0; ok && y <= y1; ++y)
      ok =
          EGifPutLine(gif, &now[static_cast<std::size_t>(y) * g.width + x0], x1 - x0 + 1) == GIF_OK;
    shown.swap(now);
  }
  const int code = ok ? 0 : gif->Error;
  const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
  const bool flushed = std::ferror(file) == 0;
  const bool fileClosed = std::fclose(file) == 0;
  if (ok && journalOk && closed && flushed && fileClosed) return "";
  io::RemovePartialFile(m.path);
  if (!journalOk) return GifFailure(m.path, "the kept frames could not be read back");
  if (!ok) return GifError(m.path, code);
  return GifFailure(m.path, "write error");
}

}  // namespace towngrow::report
