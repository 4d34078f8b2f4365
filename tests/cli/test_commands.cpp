// The towngrow program end to end: command lines run in order in one work folder, each with what it
// prints and digests of the files it writes (pictures by what they show), and refused input: status
// 2, one line on standard error, nothing written.
#include "params/params_json.h"
#include "support/program.h"

using namespace testkit;
using towngrow::io::Json;

namespace {

// A command line; what it shows in standard output ("#..." its digest); its files as
// "name=digest ..." (a folder: its listing, a picture: what it shows, ProgramTest::Pictures), with
// "dir/" before names in dir.
using Row = std::tuple<std::string, std::string, std::string>;

const std::string kQuiet = "#14650fb0739d0383";  // nothing at all

class Program : public ProgramTest {
protected:
  void Script(const std::vector<Row>& rows) {
    for (const auto& [args, shows, files] : rows) {
      SCOPED_TRACE(args);
      const Result r = Ok(args);
      EXPECT_EQ(r.err, "");  // no terminal: no progress bar
      if (shows.rfind('#', 0) == 0)
        EXPECT_EQ(Digest().Add(r.out).Hex(), shows.substr(1)) << r.out;
      else
        EXPECT_NE(r.out.find(shows), std::string::npos) << r.out;
      std::string dir;
      for (const std::string& f : Split(files, ' ')) {
        if (!f.empty() && f.back() == '/') dir = f;
        const std::size_t eq = f.find('=');
        if (eq == std::string::npos) continue;
        EXPECT_EQ(FileDigest(dir + f.substr(0, eq)), f.substr(eq + 1)) << dir + f;
      }
    }
  }
  // An ASCII grid of the given size holding one value everywhere.
  void Grid(const std::string& name, int rows, int cols, const std::string& value) {
    std::string row, text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                            "\nxllcorner 0\nyllcorner 0\ncellsize 30\n";
    for (int c = 0; c < cols; ++c) row += value + " ";
    for (int r = 0; r < rows; ++r) text += row + "\n";
    WriteAll(W(name), text);
  }
};

// The same run as the program's, in this process: the set, the size, the
// seed, the start, the steps; the digest of its end state as an ASCII grid.
std::string LibraryRun(int rows, int cols, unsigned seed, long steps, const fs::path& file) {
  CLandUseSet set;
  Simulation sim(&set);
  EXPECT_EQ(sim.Init(rows, cols), 1);
  SeedRandom(seed);
  PlaceStarterTown(sim.Current());
  sim.Run(steps);
  EXPECT_EQ(sim.Current().ExportASCFile(file.string()), 1);
  return Digest().Add(ReadAll(file)).Hex();
}

}  // namespace

TEST_F(Program, RunsSnapshotsRepeatsBackgroundsAndStartFiles) {
  WriteAll(W("p.json"),
           R"({"landUses": [{"id": 3, "activeAge": 20, "residentialLandUseProb": [60, 20, 20]},
      {"id": 1, "connectMode": 2}, {"id": 9, "kind": "House", "name": "Villas", "color": "#00FF80"}]})");
  Grid("bg255.asc", 40, 50, "255");  // every ID allowed everywhere: the plain run
  Grid("bg0.asc", 40, 50, "0");      // nothing allowed: streets never grow, housing only ages
  const std::string same =
      "--rows 30 --cols 40 --steps 12 --seed 5 --start random --every 3 --quiet";
  const std::string repeat = R"x($(sed -n 's/.*"repeat": "towngrow \(.*\)".*/\1/p' one/run.json))x";
  Script({
      {"run", "Grew 200 x 200 cells for 100 steps (seed 1) into towngrow-out",
       "=1e0f5ab354810f5f towngrow-out=cd2650f1c75f7e11 towngrow-out/ final.asc=bf01b526d803b0dd "
       "final.png=map800x800=0,1,2,3,4,5;legend=1,2,3,4,5 "
       "growth.gif=101frames;map800x800=0,1,2,3,4,5;legend=1,2,3,4,5 "
       "growth.png=chart800x593=1,2,3,4,5 run.json=d9ea93c9048cbfd8 stats.csv=d9ad348099f1c50e"},
      {"run --rows 5 --cols 1000 --steps 1 --quiet --no-png --out w", kQuiet,
       "w/ growth.gif=2frames;map800x200=0,1,2,3;legend=1,2,3"},
      {"run --params p.json " + same + " --out one", kQuiet,
       "one/ final.asc=aa146dfb61f810f7 stats.csv=fdf1313a2b92b840 "
       "growth.gif=5frames;map800x500=0,1,3,5;legend=1,2,3,4,5 "
       "final.png=map798x525=0,1,3,5;legend=1,3,5 run.json=183acc82d16550ca"},
      {"run --params one/run.json " + same + " --out two", kQuiet,
       "two/ final.asc=aa146dfb61f810f7 stats.csv=fdf1313a2b92b840 "
       "growth.gif=5frames;map800x500=0,1,3,5;legend=1,2,3,4,5 "
       "final.png=map798x525=0,1,3,5;legend=1,3,5"},
      {repeat + " --every 3 --out three --quiet", kQuiet,
       "three/ final.asc=aa146dfb61f810f7 stats.csv=fdf1313a2b92b840"},
      {"run " + same + " --out four", kQuiet, "four/ stats.csv=aa5ab319ef970629"},
      {"run --rows 40 --cols 50 --steps 10 --background bg255.asc --quiet --no-png --no-gif --out "
       "all",
       kQuiet,
       std::string("all/ final.asc=") + LibraryRun(40, 50, 1, 10, dir_ / "lib.asc") +
           " run.json=e28fdd5f821eeafc"},
      {"run --rows 40 --cols 50 --steps 10 --background bg0.asc --quiet --no-png --no-gif --out "
       "none",
       kQuiet, "none/ stats.csv=9cce78414ad4177f"},
      {"run --rows 20 --cols 25 --steps 5 --every 2 --format asc --format flt --format e00 "
       "--format xya --out s",
       "Grew 20 x 25 cells for 5 steps (seed 1) into s",
       std::string("s=39451994d0fca5af s/ step-0000.asc=") +
           LibraryRun(20, 25, 1, 0, dir_ / "lib.asc") +
           " step-0004.asc=" + LibraryRun(20, 25, 1, 4, dir_ / "lib.asc") +
           " step-0002.hdr=67cccb434ae6b632 step-0002.flt=8b8479b907d67ae3 "
           "step-0004.e00=c79ed36241344bd0 step-0004.xya=8ae88d9c13da4736 "
           "growth.gif=3frames;map800x640=0,1,2,3,4,5;legend=1,2,3,4,5"},
      {"run --rows 30 --cols 45 --steps 4 --quiet --no-gif --no-png --out c", kQuiet, ""},
      {"run --start c/final.asc --steps 6 --seed 2 --quiet --no-gif --no-png --out d", kQuiet,
       "d/ final.asc=ece5e02bc37d0a6f stats.csv=c1e697132766b97c run.json=90289e1bbc16cdb3"},
  });
  EXPECT_EQ(FileDigest("one/final.asc"), FileDigest("three/final.asc"));
}

TEST_F(Program, ConvertInfoRenderParamsVersionAndHelp) {
  WriteAll(W("p.json"), R"({"landUses": [{"id": 4, "policy": 0, "houseCommercePercent": 0},
      {"id": 1, "industryPercent": 0, "junctionFill": false}, {"id": 12, "kind": "Commerce"}]})");
  WriteAll(W("names.json"),
           R"({"landUses": [{"id": 3, "name": ")" + std::string(100, 'W') +
               R"(\u00e9"}, {"id": 9, "kind": "LandUse", "name": "Park", "color": "#112233"}]})");
  Grid("unknown.asc", 5, 7, "200");
  Script({
      {"run --rows 12 --cols 17 --steps 8 --quiet --no-gif --no-png --out g", kQuiet, ""},
      {"convert g/final.asc maps/g.e00", kQuiet,
       "maps/ g.e00=10d8bd900056c5e1"},  // the folder is made
      {"convert maps/g.e00 g.flt", kQuiet, "g.flt=cb6020f8f5e51643 g.hdr=111955ca22b5c9f4"},
      {"convert g.flt g.dat", kQuiet, "g.dat=bc48a2cf42aba39e"},
      {"convert g.flt back.asc", kQuiet, "back.asc=39154dccda248941"},  // the georeference travels
      {"render maps/g.e00 pics/map.png --scale 3", kQuiet,
       "pics=fae35220709d4b87 pics/ map.png=map51x36=0,1,2,3,4,5;legend=1,2,3,4,5"},
      {"render unknown.asc unknown.png --scale 2", kQuiet,
       "unknown.png=map14x10=0;legend="},  // no legend entry
      {"run --rows 20 --cols 24 --steps 6 --params names.json --no-gif --quiet --out n", kQuiet,
       "n/ final.png=map792x660=0,1,2,3,4,5;legend=1,2,3,4,5 stats.csv=ccb7676c5ff7cc3d"},
      {"--version", std::string("towngrow ") + towngrow::Version() + "\n", ""},
      {"run --help", "--rows INT=200", ""},
      {"ensemble --help", "--out TEXT=towngrow-ensemble", ""},
  });
  // params: the default set with every field of each kind, and a parameter file's changes in it.
  CLandUseSet plain;
  const Json shown = Json::parse(Run("params").out), want = towngrow::io::SetToJson(plain);
  EXPECT_EQ(shown, want);
  std::string keys;
  for (const auto& field : shown["landUses"][3].items()) keys += field.key() + " ";
  EXPECT_EQ(keys,
            "id kind name category color maxLength densityType densityScale densityRate "
            "densityPower activeAge inactivePeriod deadAge neighborRadius directionProb "
            "landUseProb policy streetPercent mixedLandUseProb residentialLandUseProb "
            "suitabilityWeight spontaneousRate spontaneousNodePercent centerPercent centerCells "
            "edgePercent edgeRadius edgePower roadRadius roadTrip roadPercent ");
  // The range and step of every field of every land use, as a search takes them.
  EXPECT_EQ(Digest().Add(Run("params --space").out).Hex(), "ddd9b24ec9758b93");
  Json changed = want;
  changed["landUses"][4]["policy"] = changed["landUses"][4]["houseCommercePercent"] = 0;
  changed["landUses"][1]["industryPercent"] = 0;
  changed["landUses"][1]["junctionFill"] = false;
  CCommerce shop;
  shop.SetID(12);
  changed["landUses"].push_back(towngrow::io::LandUseToJson(shop));
  EXPECT_EQ(Json::parse(Run("params --params p.json").out), changed);
}

TEST_F(Program, EnsemblesAreThreadCountFreeAndRepeatable) {
  WriteAll(W("p.json"),
           R"({"landUses": [{"id": 3, "activeAge": 12, "residentialLandUseProb": [40, 30, 30]},
      {"id": 4, "neighborRadius": 2}, {"id": 9, "kind": "House", "name": "Villas"}]})");
  std::string bg = "ncols 30\nnrows 22\nxllcorner 1000\nyllcorner 2000\ncellsize 10\n";
  for (int r = 0; r < 22; ++r, bg += "\n")
    for (int c = 0; c < 30; ++c) bg += c < 15 ? "255 " : "249 ";  // streets in the left half only
  WriteAll(W("bg.asc"), bg);
  const std::string e =
      "ensemble --runs 9 --seed 17 --seed-step 3 --rows 30 --cols 30 --steps 10 --quiet";
  const std::string p = "--rows 22 --cols 30 --steps 12 --params p.json --background bg.asc";
  // The files of t1, the same in any folder but for the repeat line of ensemble.json.
  const std::string files =
      "/ housing.asc=b7b4260eb511cb9c housing.png=map780x780=0,3;legend=3 "
      "industry.asc=ad3881eae556ac90 commerce.png=map780x780=0;legend=5 "
      "street.asc=fb633a20deabc774 developed.asc=edae79f4d79852ff "
      "developed.png=map780x780=0;legend= ensemble.csv=d43105ddb7925d20 "
      "ensemble.png=chart800x593=1,2,3,4,5";
  Script({
      {e + " --threads 1 --out t1", kQuiet,
       "t1=033d879c7b90802f t1" + files + " ensemble.json=68c8b48913ba4144"},
      {e + " --threads 2 --out t2", kQuiet, "t2" + files},
      {e + " --threads 5 --out t5", kQuiet, "t5" + files},
      {"ensemble --runs 4 --seed 4000000000 --seed-step 123456789 --rows 20 --cols 26 --steps 9 "
       "--start random --out r",
       "Grew 4 runs of 20 x 26 cells for 9 steps (seed 4000000000 + i * 123456789) into r",
       "r/ ensemble.csv=f8d1cfe2b5bbce96 developed.asc=2f3e7d4d00898331"},
      {"ensemble --runs 3 --seed 2 --seed-step 5 " + p + " --out pb",
       "  Villas                      9",
       "pb/ housing.asc=05d2bb4250519a50 ensemble.csv=31c24d15d58ea522 "
       "ensemble.json=98ed24e05e094d89"},
      {R"x($(sed -n 's/.*"repeat": "towngrow \(.*\)".*/\1/p' pb/ensemble.json) --quiet --out again)x",
       kQuiet, "again/ housing.asc=05d2bb4250519a50 ensemble.csv=31c24d15d58ea522"},
      {"run --rows 18 --cols 23 --steps 6 --quiet --no-gif --no-png --out a", kQuiet, ""},
      {"convert a/final.asc start.flt", kQuiet, ""},  // a float grid carries a georeference
      {"ensemble --runs 3 --seed 40 --seed-step 2 --start start.flt --steps 8 --quiet --out f",
       kQuiet, "f/ developed.asc=3b58e158a9280df3"},
  });
  EXPECT_EQ(FileDigest("again/housing.asc"), FileDigest("pb/housing.asc"));
}

TEST_F(Program, RefusedCommandLinesAndFiles) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> files = {
      {"big.asc", "ncols 20000\nnrows 5\n"}, {"bad.e00", "EXP  1\nGRD  2\n"},
      {"float.e00", "EXP  0\r\nGRD  2\r\n5 5 2 0\r\n"}, {"notes.txt", "hello\n"},
      {"nul.asc", std::string("\0\0\0\0ncols", 9) + std::string(100, '\0')}, {"empty.asc", ""},
      {"blocker", "a file\n"}, {"unknown.json", R"({"landUses": [{"id": 3, "speed": 2}]})"},
      {"broken.json", R"({"landUses": [)"},
      {"overflow.json", R"({"landUses": [{"id": 3, "activeAge": 1e999}]})"},
      {"long.json",
       R"({"landUses": [{"id": 3, "activeAge": 1)" + std::string(1000000, '0') + "e999}]}"},
      {"deep.json", std::string(100000, '[') + std::string(100000, ']')},
      {"nul.json", std::string("{\"landUses\": [\0]}", 17)},
      {"utf8.json", "{\"landUses\": [{\"id\": 3, \"name\": \"\xff\xfe\"}]}"},
      {"huge.json", "{\"landUses\": [{\"id\": " + std::string(17u << 20, '7') + "}]}"},
      {"edge.json", "{\"landUses\": []}" + std::string((16u << 20) - 16, ' ')},
      {"promise.asc",
       "ncols 10000\r\nnrows 10000\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\n1 2 3\r\n"}};
  // clang-format on
  for (const auto& f : files) WriteAll(W(f.first), f.second);
  Grid("small.asc", 5, 5, "0");
  Grid("g.asc", 200, 200, "3");
  fs::create_directories(W("folder.asc"));
  fs::create_directories(W("o"));  // a run writes its folder before it fails
  const std::string full = "trap '' XFSZ; ulimit -f 128; ", tight = "ulimit -v 250000; ";
  const std::tuple<std::string, std::string, std::string> rows[] = {
      {"", "A subcommand is required", ""},
      {"grow", "grow", ""},
      {"'\xff'", "A subcommand is required", ""},
      {"run --out o --rows 4", "--rows", ""},
      {"run --out o --rows 5x", "--rows", ""},
      {"run --out o --rows 99999999999999999999", "--rows", ""},
      {"run --out o --seed abc", "--seed", ""},
      {"render small.asc s.png --extent Town", "--extent", ""},
      {"run --out o --start missing.asc", "missing.asc: no such file", ""},
      {"run --out o --start notes.txt", "notes.txt: unknown kind of file", ""},
      {"run --out o --start big.asc",
       "big.asc: the grid has 5 rows and 20000 columns, more than the largest grid of 10000 x "
       "10000",
       ""},
      {"run --out o --start bad.e00",
       "bad.e00: refused: Bad Export File Format... Check the format!!!", ""},
      {"run --out o --params unknown.json", "unknown.json: landUses[0].speed: unknown key", ""},
      {"run --out o --params broken.json", "broken.json: not valid JSON", ""},
      {"run --out o --params missing.json", "missing.json: cannot open the parameter file", ""},
      {"run --out o --params overflow.json", "overflow.json: not valid JSON: number overflow", ""},
      {"run --out o --params long.json", "long.json: not valid JSON", ""},
      {"run --out o --params deep.json", "deep.json: must hold a JSON object", ""},
      {"run --out o --params nul.json", "nul.json: not valid JSON", ""},
      {"run --out o --params utf8.json", "utf8.json: not valid JSON", ""},
      {"run --out o --params huge.json",
       "huge.json: too large for a parameter file (more than 16 MB)", ""},
      {"run --out o --background small.asc",
       "small.asc: the background has 5 rows and 5 columns, the town 200 and 200", ""},
      {"run --out blocker/o", "blocker/o: cannot create the output folder", ""},
      {"run --rows 300 --cols 300 --steps 2 --out o", "write error", full},
      {"convert small.asc o.png", "o.png: cannot write this kind of file", ""},
      {"convert '' out.asc", "unknown kind of file", ""},
      {"convert g.asc out.e00", "out.e00: write error", full},
      {"render small.asc s.png --scale 20", "s.png: cannot write PNG",
       "trap '' XFSZ; ulimit -f 1; "},
      {"info float.e00", "float.e00: refused: Now the system can only support integer grid!!", ""},
      {"info folder.asc", "folder.asc: is a folder, not a file", ""},
      {"info nul.asc", "nul.asc: ", ""},
      {"info empty.asc", "empty.asc: ", ""},
      {"params --params unknown.json", "unknown.json: landUses[0].speed: unknown key", ""},
      {"ensemble --out o", "--runs is required", ""},
      {"ensemble --out o --runs 65535 --start missing.asc", "missing.asc: no such file", ""},
      {"ensemble --out o --runs 2 --background small.asc",
       "the background has 5 rows and 5 columns, the town 200 and 200", ""},
      {"ensemble --out blocker/o --runs 2 --rows 5 --cols 5 --steps 1",
       "blocker/o: cannot create the output folder", ""},
#ifndef TOWNGROW_ASAN
      {"run --rows 10000 --cols 10000 --steps 1 --out o",
       "not enough memory for a grid of 10000 x 10000 cells", tight},
      {"convert promise.asc out.asc", "not enough memory for a grid of 10000 x 10000 cells", tight},
      {"info promise.asc", "not enough memory for a grid of 10000 x 10000 cells", tight},
#endif
  };
  for (const auto& k : rows) ExpectBadInput(std::get<0>(k), std::get<1>(k), std::get<2>(k));
  EXPECT_TRUE(fs::is_empty(W("o")));
  Ok("params --params edge.json");  // exactly 16 MB is still read
}
