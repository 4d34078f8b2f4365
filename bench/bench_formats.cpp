// Speed of every importer and exporter in MB/s of file, beside a plain
// buffered write or read of the very same bytes in the same run.
//
// The coverage is 2000 x 2000 cells filled by the weighted random start
// (seed 5, weights 40 5 10 25 10 10 0, so that point lists hold most
// cells). Each export writes to a file in the temporary directory; each
// import reads the file its exporter wrote (the ".DAT" import reads the
// point list). Counters:
//   bytes_per_second  file bytes (all files of the format) per second
//   raw_MBps          fwrite or fread of the same bytes in 64 KiB blocks
//   x_raw             time of the format / time of the raw transfer
#include <benchmark/benchmark.h>

#include <towngrow/towngrow.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace towngrow;
namespace fs = std::filesystem;

constexpr int kSide = 2000;

CLandUseSet& Set() {
  static CLandUseSet set;
  return set;
}

const CLandUseCoverage& Source() {
  static CLandUseCoverage cov;
  if (cov.IsEmpty()) {
    cov.InitCoverage(kSide, kSide, 0);
    cov.m_pLandUseSet = &Set();
    SeedRandom(5);
    const int weights[7] = {40, 5, 10, 25, 10, 10, 0};
    cov.RandomFill(weights, 7);
  }
  return cov;
}

std::string PathFor(const char* name) { return (fs::temp_directory_path() / name).string(); }

std::vector<char> ReadAll(const std::string& path) {
  std::vector<char> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char block[65536];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
      bytes.insert(bytes.end(), block, block + n);
    std::fclose(f);
  }
  return bytes;
}

// Seconds of a plain buffered transfer of these bytes; best of three.
double RawSeconds(const std::vector<char>& bytes, bool write) {
  const std::string path = PathFor("towngrow_bench_raw.bin");
  if (!write) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  double best = 0.0;
  std::vector<char> in(65536);
  for (int round = 0; round < 3; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    FILE* f = std::fopen(path.c_str(), write ? "wb" : "rb");
    if (f == nullptr) return 0.0;
    if (write) {
      for (std::size_t k = 0; k < bytes.size(); k += 65536)
        std::fwrite(bytes.data() + k, 1, std::min<std::size_t>(65536, bytes.size() - k), f);
    } else {
      std::size_t total = 0, n;
      while ((n = std::fread(in.data(), 1, in.size(), f)) > 0) total += n;
      benchmark::DoNotOptimize(total);
    }
    std::fclose(f);
    const auto t1 = std::chrono::steady_clock::now();
    const double s = std::chrono::duration<double>(t1 - t0).count();
    if (round == 0 || s < best) best = s;
  }
  std::remove(path.c_str());
  return best;
}

struct Format {
  const char* file;   // main file name
  const char* extra;  // second file of the format, or null
  int (CLandUseCoverage::*exporter)(CString) const;
  int (CLandUseCoverage::*importer)(CString, int);
};

const Format kFormats[] = {
    {"towngrow_bench.E00", nullptr, &CLandUseCoverage::ExportE00File,
     &CLandUseCoverage::ImportE00File},
    {"towngrow_bench.ASC", nullptr, &CLandUseCoverage::ExportASCFile,
     &CLandUseCoverage::ImportASCFile},
    {"towngrow_bench.FLT", "towngrow_bench.hdr", &CLandUseCoverage::ExportBINFile,
     &CLandUseCoverage::ImportFLTFile},
    {"towngrow_bench.XYA", nullptr, &CLandUseCoverage::ExportXYAFile,
     &CLandUseCoverage::ImportXYAFile},
    {"towngrow_bench.XYA", nullptr, &CLandUseCoverage::ExportXYAFile,
     &CLandUseCoverage::ImportDATFile},
};
const char* const kNames[] = {"E00", "ASC", "FLT", "XYA", "DAT"};

void Report(benchmark::State& state, std::size_t bytes, double seconds, double raw) {
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  const double perRun = seconds / static_cast<double>(state.iterations());
  state.counters["raw_MBps"] = raw > 0 ? static_cast<double>(bytes) / raw / 1e6 : 0.0;
  state.counters["x_raw"] = raw > 0 ? perRun / raw : 0.0;
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// The bytes of a format's file (and of its header file, if any).
std::vector<char> FileBytes(const Format& f) {
  std::vector<char> bytes = ReadAll(PathFor(f.file));
  if (f.extra != nullptr) {
    const std::vector<char> extra = ReadAll(PathFor(f.extra));
    bytes.insert(bytes.end(), extra.begin(), extra.end());
  }
  return bytes;
}

void BM_Export(benchmark::State& state) {
  const Format& f = kFormats[state.range(0)];
  state.SetLabel(kNames[state.range(0)]);
  SetMessageHandler([](const std::string&) {});
  const CLandUseCoverage& cov = Source();
  double seconds = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!(cov.*f.exporter)(PathFor(f.file))) state.SkipWithError("export failed");
    const auto t1 = std::chrono::steady_clock::now();
    seconds += std::chrono::duration<double>(t1 - t0).count();
  }
  const std::vector<char> bytes = FileBytes(f);
  Report(state, bytes.size(), seconds, RawSeconds(bytes, true));
  SetMessageHandler({});
}

void BM_Import(benchmark::State& state) {
  const Format& f = kFormats[state.range(0)];
  state.SetLabel(kNames[state.range(0)]);
  SetMessageHandler([](const std::string&) {});
  const CLandUseCoverage& src = Source();
  (src.*f.exporter)(PathFor(f.file));
  CLandUseCoverage cov;
  cov.InitCoverage(kSide, kSide, 0);
  cov.m_pLandUseSet = &Set();
  double seconds = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!(cov.*f.importer)(PathFor(f.file), 0)) state.SkipWithError("import failed");
    const auto t1 = std::chrono::steady_clock::now();
    seconds += std::chrono::duration<double>(t1 - t0).count();
  }
  const std::vector<char> bytes = FileBytes(f);
  Report(state, bytes.size(), seconds, RawSeconds(bytes, false));
  SetMessageHandler({});
}

BENCHMARK(BM_Export)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Import)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
