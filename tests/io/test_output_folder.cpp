// The folder a job writes into: its files appear together on publish or not at all (no publish, a
// failing writer, a publish failing half-way), what it held stays, names it cannot write are
// refused; a GeoTIFF's legend as GDAL reads it back.
#include <gtest/gtest.h>

#include <gdal_priv.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/output_folder.h"
#include "support/files.h"

using namespace towngrow;
using namespace towngrow::io;
using testkit::Listing;
using testkit::ReadAll;
using testkit::WriteAll;
using Names = std::set<std::string>;
namespace fs = std::filesystem;

namespace {

std::string Refusal(const std::function<void()>& write) { return testkit::Thrown<Error>(write); }

// The folder's names, and each file's text after "=".
std::string Held(const std::string& dir) {
  std::string held;
  for (const std::string& name : Listing(dir))
    held += name + (fs::is_regular_file(dir + "/" + name) ? "=" + ReadAll(dir + "/" + name) : "/") +
            " ";
  return held;
}

}  // namespace

TEST(OutputFolder, FilesAppearTogetherOnPublishOrNotAtAll) {
  testkit::ScratchDir scratch;
  const std::string dir = scratch / "runs/out";
  {
    OutputFolder out(dir);
    out.AddText("a.txt", "1");
    const std::string temp = out.AddWritten("b.txt", [](const std::string& t) {
      WriteAll(t, "2");
      return std::string();
    });
    EXPECT_EQ(ReadAll(temp), "2");
    for (const std::string& name : Listing(dir)) EXPECT_EQ(name[0], '.') << name;
    out.Publish();
  }
  EXPECT_EQ(Held(dir), "a.txt=1 b.txt=2 ");
  {
    OutputFolder again(dir);  // a second publish replaces what it writes
    again.AddText("a.txt", "3");
    again.Publish();
  }
  EXPECT_EQ(Held(dir), "a.txt=3 b.txt=2 ");
  {
    OutputFolder unpublished(dir);
    unpublished.AddText("a.txt", "4");
    unpublished.AddText("c.txt", "5");
  }
  {
    OutputFolder failing(dir);
    failing.AddText("a.txt", "6");
    EXPECT_EQ(Refusal([&] {
                failing.AddWritten("c.txt", [](const std::string& t) {
                  WriteAll(t, "half");
                  return std::string("the disk is full");
                });
              }),
              dir + "/c.txt: the disk is full");
  }
  EXPECT_EQ(Held(dir), "a.txt=3 b.txt=2 ");
  WriteAll(scratch / "file", "x");
  OutputFolder under(scratch / "file/out");
  EXPECT_EQ(Refusal([&] {
              under.AddText("a.txt", "1");
            }).rfind(scratch / "file/out: cannot create the output folder", 0),
            0u);
  EXPECT_EQ(Listing(scratch.Path()), (Names{"file", "runs"}));
}

// A name among the files taken by a folder: the publish fails naming it,
// and every file keeps its earlier content, with nothing left beside them.
TEST(OutputFolder, AFailedPublishLeavesTheEarlierFilesIntact) {
  testkit::ScratchDir scratch;
  const std::string dir = scratch / "out";
  fs::create_directories(dir + "/c.txt");
  WriteAll(dir + "/c.txt/x", "kept");
  WriteAll(dir + "/a.txt", "old");
  WriteAll(dir + "/e.txt", "old");
  {
    OutputFolder out(dir);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) out.AddText(name, "new");
    EXPECT_EQ(Refusal([&] { out.Publish(); }).rfind(dir + "/c.txt: cannot be written", 0), 0u);
  }
  EXPECT_EQ(Held(dir), "a.txt=old c.txt/ e.txt=old ");
  EXPECT_EQ(ReadAll(dir + "/c.txt/x"), "kept");
}

// Maps: the names of the kinds that can be written, with their companions
// published beside them; any other name refused before anything is written.
TEST(OutputFolder, MapsOfWritableNamesWithTheirCompanions) {
  const std::pair<const char*, bool> names[] = {
      {"m.asc", true}, {"m.E00", true}, {"m.flt", true},      {"m.xya", true},
      {"m.dat", true}, {"m.TIF", true}, {"m.tiff", true},     {"m.png", false},
      {"m.xy", false}, {"m", false},    {"m.asc.txt", false}, {"m.ti", false}};
  for (const auto& [name, writable] : names) {
    EXPECT_EQ(IsWritableName(name), writable) << name;
    EXPECT_EQ(Refusal([&] { CheckWritableName(name); }),
              writable ? ""
                       : std::string(name) +
                             ": cannot write this kind of file (names ending in "
                             ".asc, .e00, .flt, .xya, .dat or .tif can be written)");
  }
  testkit::ScratchDir scratch;
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(5, 6, 0), 1);
  cov.SetCellValue(4, 5, 3);
  OutputFolder out(scratch / "maps");
  EXPECT_NE(Refusal([&] { out.AddMap("m.png", cov, GeoInfo()); }), "");
  out.AddMap("m.flt", cov, GeoInfo());
  out.AddMap("m.xya", cov, GeoInfo());
  EXPECT_EQ(Listing(scratch / "maps").count("m.flt"), 0u);
  out.Publish();
  EXPECT_EQ(Listing(scratch / "maps"), (Names{"m.flt", "m.hdr", "m.xya"}));
  EXPECT_EQ(ReadAll(scratch / "maps/m.xya"), "   5    4    3\r\n");
}

namespace {

// "description|", "value:name:r,g,b,alpha " for each value asked, then "nodata N" if set.
std::string LegendRead(const std::string& path, std::initializer_list<int> values) {
  GDALDataset* ds = static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly));
  double transform[6];
  ds->GetGeoTransform(transform);  // GDAL reads the .aux.xml (names, alphas) on such a call
  GDALRasterBand* band = ds->GetRasterBand(1);
  char** names = band->GetCategoryNames();
  std::string shows = std::string(band->GetDescription()) + "|";
  for (int v : values) {
    const GDALColorEntry* e = band->GetColorTable()->GetColorEntry(v);
    shows += std::to_string(v) + ":" + (v < CSLCount(names) ? names[v] : "") + ":" +
             std::to_string(e->c1) + "," + std::to_string(e->c2) + "," + std::to_string(e->c3) +
             "," + std::to_string(e->c4) + " ";
  }
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
  GDALClose(ds);
  return hasNoData ? shows + "nodata " + std::to_string(static_cast<int>(noData)) : shows;
}

}  // namespace

// Each row: a legend (in any order; none: the roster's) and what GDAL reads.
TEST(GeoTiffLegend, ClassesLandAtTheirValuesWhateverTheirOrder) {
  TiffLegend given, noData, top;
  given.classes = noData.classes = top.classes = {{5, "five", 0x0000FFu}, {2, "two", 0x00FF00u}};
  noData.noData = 2, top.noData = 255, given.description = "land-use ID";
  const std::pair<TiffLegend, std::string> rows[] = {
      {given,
       "land-use ID|0::0,0,0,255 2:two:0,255,0,255 3::0,0,0,255 5:five:255,0,0,255 "
       "255::0,0,0,255 "},
      {noData,
       "|0::0,0,0,255 2:two:0,0,0,0 3::0,0,0,255 5:five:255,0,0,255 255::0,0,0,255 nodata 2"},
      {top,
       "|0::0,0,0,255 2:two:0,255,0,255 3::0,0,0,255 5:five:255,0,0,255 255::0,0,0,0 nodata 255"},
      {TiffLegend{},
       "|0:Vacant Land:255,255,255,255 2:Street Vertex:210,180,140,255 "
       "3:Housing:50,205,50,255 5:Commerce:255,0,0,255 255::0,0,0,255 "}};
  testkit::ScratchDir dir;
  const unsigned char cells[25] = {2, 5, 3};
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    const std::string path = dir / ("m" + std::to_string(k) + ".tif");
    WriteGeoTiff(path, cells, 5, 5, GeoInfo{}, rows[k].first);
    EXPECT_EQ(LegendRead(path, {0, 2, 3, 5, 255}), rows[k].second) << k;
  }
}
