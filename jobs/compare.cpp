#include "jobs/compare.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <utility>

#include "io/class_file.h"
#include "io/error.h"
#include "io/grid_files.h"
#include "io/result_text.h"
#include "jobs/options.h"
#include "jobs/record.h"
#include "params/params_json.h"
#include "report/pages.h"
#include "report/run_charts.h"
#include "towngrow/calibrate.h"
#include "towngrow/compare.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/version.h"

namespace towngrow::jobs {
namespace {

using io::AbsolutePath;
using io::FixedText;
using io::IdCountsJson;
using io::ShellWord;

std::string Fixed(const Scalar& v) { return FixedText(v, 6); }

io::Json ToJson(const Scalar& v) { return io::ScalarJson(v); }

// Per cell of the agreement map.
enum Code : unsigned char { kSame, kHit, kMiss, kFalseAlarm, kWrongHit, kNoClass, kOther };

std::vector<unsigned char> AgreementCodes(const MapComparison& m, const ClassScheme& scheme,
                                          std::array<std::uint64_t, 7>& counts) {
  const RasterView& a = m.views[0];
  std::vector<unsigned char> codes(static_cast<std::size_t>(a.rows) * a.cols);
  counts.fill(0);
  for (int r = 0; r < a.rows; ++r) {
    const unsigned char* ra = a.Row(r);
    const unsigned char* rs = m.views[1].Row(r);
    const unsigned char* ro = m.hasStart ? m.views[2].Row(r) : nullptr;
    for (int c = 0; c < a.cols; ++c) {
      const int ka = scheme.classOf[ra[c]], ks = scheme.classOf[rs[c]];
      const int ko = ro != nullptr ? scheme.classOf[ro[c]] : 0;
      Code code;
      if (ka < 0 || ks < 0 || ko < 0)
        code = kNoClass;
      else if (ro == nullptr)
        code = ka == ks ? kSame : kOther;
      else if (ka != ko)
        code = ks == ka ? kHit : ks == ko ? kMiss : kWrongHit;
      else
        code = ks != ko ? kFalseAlarm : kSame;
      codes[static_cast<std::size_t>(r) * a.cols + c] = code;
      ++counts[code];
    }
  }
  return codes;
}

// agreement.png and agreement.tif: the kinds of cells as a picture with a
// legend of their counts, and as a GeoTIFF (observed map's georeference and
// CRS) whose classes are the kinds.
// Answers the picture for the report.
report::ReportPicture AgreementMaps(const MapComparison& m, io::OutputFolder& folder) {
  const ClassScheme& scheme = m.scheme;
  std::array<std::uint64_t, 7> n{};
  const std::vector<unsigned char> codes = AgreementCodes(m, scheme, n);
  const char* names[7] = {m.hasStart ? "Unchanged in both" : "Same class",
                          "Hit",
                          "Miss",
                          "False alarm",
                          "Wrong hit",
                          "No class",
                          "Other class"};
  const unsigned int colors[7] = {0xE6E6E6u, 0x50981Au, 0x2730D7u, 0x61AEFDu,
                                  0x94327Bu, 0xFFFFFFu, 0x2730D7u};
  report::MapPicture map;
  for (std::size_t v = 0; v < map.colors.size(); ++v) map.colors[v] = v < 7 ? colors[v] : 0xFFFFFFu;
  io::TiffLegend classes;  // the kinds as the classes of the GeoTIFF
  for (int code = 0; code < 7; ++code) {
    const std::uint64_t count = n[static_cast<std::size_t>(code)];
    if (count == 0) continue;
    map.legend.push_back({colors[code], std::string(names[code]) + " (" + std::to_string(count) +
                                            (count == 1 ? " cell)" : " cells)")});
    classes.classes.push_back({code, names[code], colors[code]});
  }
  const RasterView& v = m.views[0];
  map.cells = codes.data();
  map.rows = v.rows;
  map.cols = v.cols;
  map.title =
      m.hasStart ? "Change: observed against simulated" : "Agreement: observed against simulated";
  map.subtitle = report::ViewText(v.rows, v.cols, report::Extent{});
  map.mapScale = report::MapScaleOf(io::GeoForOutput(m.maps[0], m.geo));
  const report::ReportPicture picture =
      report::AddMapPng(folder, "agreement.png", map, "Kinds of cells");
  classes.description =
      m.hasStart ? "change: observed against simulated" : "agreement: observed against simulated";
  folder.AddGeoTiff("agreement.tif", codes.data(), v.rows, v.cols,
                    io::GeoForOutput(m.maps[0], m.geo), classes);
  return picture;
}

io::Json MapJson(const std::string& name, const RasterView& view) {
  return io::Json{{"file", name}, {"rows", view.rows}, {"cols", view.cols}};
}

io::Json Budget(const ChangeBudget& b) {
  return io::Json{{"hits", b.hits},
                  {"misses", b.misses},
                  {"wrongHits", b.wrongHits},
                  {"falseAlarms", b.falseAlarms},
                  {"figureOfMerit", ToJson(b.figureOfMerit)},
                  {"producersAccuracy", ToJson(b.producers)},
                  {"usersAccuracy", ToJson(b.users)}};
}

io::Json LandscapeJson(const LandscapeMetrics& l) {
  return io::Json{{"patches", l.patches},
                  {"area", l.area},
                  {"largestPatch", l.largestPatch},
                  {"largestPatchIndex", ToJson(l.largestPatchIndex)},
                  {"meanPatchArea", ToJson(l.meanPatchArea)},
                  {"totalEdge", l.totalEdge},
                  {"edgeDensity", ToJson(l.edgeDensity)},
                  {"meanCompactness", ToJson(l.meanCompactness)}};
}

io::Json ComparisonJson(const MapComparison& m) {
  const ClassScheme& scheme = m.scheme;
  const ComparisonResult& r = m.result;
  const std::size_t K = scheme.names.size();
  io::Json doc;
  doc["observed"] = MapJson(m.names[0], m.views[0]);
  doc["simulated"] = MapJson(m.names[1], m.views[1]);
  doc["start"] = m.hasStart ? MapJson(m.names[2], m.views[2]) : io::Json(nullptr);
  io::Json classes = io::Json::array();
  for (std::size_t k = 0; k < K; ++k) {
    io::Json ids = io::Json::array();
    for (int id = 0; id < 256; ++id)
      if (scheme.classOf[static_cast<std::size_t>(id)] == static_cast<int>(k)) ids.push_back(id);
    classes.push_back(io::Json{{"name", scheme.names[k]},
                               {"ids", ids},
                               {"developed", static_cast<bool>(scheme.developed[k])},
                               {"observedCells", r.observedCells[k]},
                               {"simulatedCells", r.simulatedCells[k]}});
  }
  doc["classes"] = classes;
  doc["cells"] = r.cells;
  doc["idsWithoutClass"] = io::Json{{"observed", IdCountsJson(r.unclassified.observed)},
                                    {"simulated", IdCountsJson(r.unclassified.simulated)},
                                    {"start", IdCountsJson(r.unclassified.start)}};
  io::Json cells = io::Json::array(), shares = io::Json::array();
  for (std::size_t i = 0; i < K; ++i) {
    io::Json row = io::Json::array(), share = io::Json::array();
    for (std::size_t j = 0; j < K; ++j) {
      row.push_back(r.crossTab[i * K + j]);
      share.push_back(r.cells > 0 ? io::Json(static_cast<double>(r.crossTab[i * K + j]) /
                                             static_cast<double>(r.cells))
                                  : io::Json(nullptr));
    }
    cells.push_back(row);
    shares.push_back(share);
  }
  doc["crossTab"] = io::Json{
      {"rows", "observed"}, {"columns", "simulated"}, {"cells", cells}, {"proportions", shares}};

  io::Json measures = io::Json::object(), undefined = io::Json::object();
  for (const std::string& name :
       MeasureNames(scheme, r.hasChange, m.views[0].rows, m.views[0].cols)) {
    const Scalar v = MeasureValue(r, scheme, name);
    measures[name] = ToJson(v);
    if (!v.value) undefined[name] = v.reason;
  }
  doc["measures"] = measures;
  doc["undefined"] = undefined;
  if (r.hasChange) {
    io::Json perClass = io::Json::object();
    for (std::size_t k = 0; k < K; ++k) perClass[scheme.names[k]] = Budget(r.perClass[k]);
    doc["change"] = io::Json{{"cells", r.changeCells},
                             {"overall", Budget(r.overall)},
                             {"developed", Budget(r.developed)},
                             {"perClass", perClass},
                             {"ksim", ToJson(r.ksim)}};
  } else {
    doc["change"] = nullptr;
  }
  if (r.hasFuzzy)
    doc["fuzzyKappa"] = io::Json{{"halvingDistance", r.halvingDistance},
                                 {"radius", r.radius},
                                 {"agreement", ToJson(r.fuzzyAgreement)},
                                 {"expected", ToJson(r.fuzzyExpected)},
                                 {"kappa", ToJson(r.fuzzyKappa)}};
  else
    doc["fuzzyKappa"] = nullptr;
  io::Json resolutions = io::Json::array();
  for (const ResolutionBudget& b : r.resolutions)
    resolutions.push_back(io::Json{{"blockSide", b.blockSide},
                                   {"agreement", ToJson(b.agreement)},
                                   {"quantity", ToJson(b.quantity)},
                                   {"allocation", ToJson(b.allocation)}});
  doc["resolutions"] = resolutions;
  io::Json landscape = io::Json::object();
  for (std::size_t k = 0; k < K; ++k)
    landscape[scheme.names[k]] = io::Json{{"observed", LandscapeJson(r.landscapeObserved[k])},
                                          {"simulated", LandscapeJson(r.landscapeSimulated[k])}};
  doc["landscape"] = landscape;
  return doc;
}

std::string CrossTabCsv(const ClassScheme& scheme, const ComparisonResult& r) {
  const std::size_t K = scheme.names.size();
  std::ostringstream s;
  s << "observed\\simulated";
  for (const std::string& n : scheme.names) s << ',' << n;
  s << ",total\n";
  for (std::size_t i = 0; i < K; ++i) {
    s << scheme.names[i];
    for (std::size_t j = 0; j < K; ++j) s << ',' << r.crossTab[i * K + j];
    s << ',' << r.observedCells[i] << '\n';
  }
  s << "total";
  for (std::size_t j = 0; j < K; ++j) s << ',' << r.simulatedCells[j];
  s << ',' << r.cells << '\n';
  return s.str();
}

std::string LandscapeCsv(const ClassScheme& scheme, const ComparisonResult& r) {
  std::ostringstream s;
  s << "class,map,patches,largest patch index,mean patch area,total edge,edge density,"
       "mean compactness\n";
  for (std::size_t k = 0; k < scheme.names.size(); ++k)
    for (int map = 0; map < 2; ++map) {
      const LandscapeMetrics& l = (map == 0 ? r.landscapeObserved : r.landscapeSimulated)[k];
      s << scheme.names[k] << ',' << (map == 0 ? "observed" : "simulated") << ',' << l.patches
        << ',' << Fixed(l.largestPatchIndex) << ',' << Fixed(l.meanPatchArea) << ',' << l.totalEdge
        << ',' << Fixed(l.edgeDensity) << ',' << Fixed(l.meanCompactness) << '\n';
    }
  return s.str();
}

std::string ResolutionCsv(const ComparisonResult& r) {
  std::ostringstream s;
  s << "block side,agreement,quantity,allocation\n";
  for (const ResolutionBudget& b : r.resolutions)
    s << b.blockSide << ',' << Fixed(b.agreement) << ',' << Fixed(b.quantity) << ','
      << Fixed(b.allocation) << '\n';
  return s.str();
}

std::string Shown4(const Scalar& v) { return v.value ? FixedText(v, 4) : std::string("-"); }

}  // namespace

std::string ComparisonSummaryText(const MapComparison& m) {
  const ClassScheme& scheme = m.scheme;
  const ComparisonResult& r = m.result;
  std::string text;
  io::Appendf(text,
              "Compared %s (simulated) with %s (observed): %d x %d cells, %llu with a class "
              "in both\n",
              m.shown[1].c_str(), m.shown[0].c_str(), m.views[0].rows, m.views[0].cols,
              static_cast<unsigned long long>(r.cells));
  io::Appendf(text, "  %-16s %12s %12s %9s %10s\n", "class", "observed", "simulated", "quantity",
              "allocation");
  for (std::size_t k = 0; k < scheme.names.size(); ++k)
    io::Appendf(text, "  %-16s %12llu %12llu %9s %10s\n", scheme.names[k].c_str(),
                static_cast<unsigned long long>(r.observedCells[k]),
                static_cast<unsigned long long>(r.simulatedCells[k]),
                Shown4(r.classQuantity[k]).c_str(), Shown4(r.classAllocation[k]).c_str());
  io::Appendf(text, "  agreement %s  kappa %s  quantity %s  allocation %s  Lee-Sallee %s\n",
              Shown4(r.agreement).c_str(), Shown4(r.kappa).c_str(), Shown4(r.quantity).c_str(),
              Shown4(r.allocation).c_str(), Shown4(r.leeSallee).c_str());
  if (r.hasChange)
    io::Appendf(text,
                "  change since %s: Figure of Merit %s (developed %s), producer's %s, user's "
                "%s, KSim %s\n",
                m.shown[2].c_str(), Shown4(r.overall.figureOfMerit).c_str(),
                Shown4(r.developed.figureOfMerit).c_str(), Shown4(r.overall.producers).c_str(),
                Shown4(r.overall.users).c_str(), Shown4(r.ksim).c_str());
  if (r.hasFuzzy)
    io::Appendf(text, "  fuzzy kappa %s (halving distance %g, radius %g cells)\n",
                Shown4(r.fuzzyKappa).c_str(), r.halvingDistance, r.radius);
  io::Appendf(text, "  %-10s %10s %9s %10s\n", "block side", "agreement", "quantity", "allocation");
  for (const ResolutionBudget& b : r.resolutions)
    io::Appendf(text, "  %10lld %10s %9s %10s\n", b.blockSide, Shown4(b.agreement).c_str(),
                Shown4(b.quantity).c_str(), Shown4(b.allocation).c_str());
  const std::array<std::uint64_t, 256>* none[3] = {
      &r.unclassified.observed, &r.unclassified.simulated, &r.unclassified.start};
  const char* mapNames[3] = {"observed", "simulated", "start"};
  for (int i = 0; i < 3; ++i)
    for (int id = 0; id < 256; ++id)
      if ((*none[i])[static_cast<std::size_t>(id)] > 0)
        io::Appendf(text, "  %s map: %llu cells of ID %d have no class and are left out\n",
                    mapNames[i],
                    static_cast<unsigned long long>((*none[i])[static_cast<std::size_t>(id)]), id);
  return text;
}

void CheckComparisonOptions(const MapComparisonOptions& o) {
  MapComparisonOptions copy = o;
  HostOptions host;
  CheckOptionValues(CompareTable(copy, host));
  if (!(o.halvingDistance > 0.0 && o.halvingDistance <= 1e6))
    throw io::Error(Spelled("halving") + " must be above 0 cells");
}

void ReadMapComparison(const MapComparisonOptions& o, io::MessageLog& log, MapComparison& m) {
  CheckComparisonOptions(o);
  CLandUseSet set;
  if (!o.params.empty()) io::ApplyParamsFile(o.params, set);
  m.scheme = o.classes.empty() ? DefaultClasses(set) : io::ReadClassFile(o.classes);
  const std::string files[3] = {o.observed, o.simulated, o.start};
  m.hasStart = !o.start.empty();
  const int count = m.hasStart ? 3 : 2;
  io::GridFileInfo info[3];
  for (int i = 0; i < count; ++i) {
    info[i] = io::ReadGridFileInfo(files[i], o.maps);
    if (i > 0 && (info[i].rows != info[0].rows || info[i].cols != info[0].cols))
      throw io::Error(files[i] + ": has " + std::to_string(info[i].rows) + " x " +
                      std::to_string(info[i].cols) + " cells (rows x columns), the observed map " +
                      o.observed + " " + std::to_string(info[0].rows) + " x " +
                      std::to_string(info[0].cols) + ": maps of other sizes cannot be compared");
  }
  for (int i = 0; i < count; ++i) {
    io::LoadFitted(files[i], m.maps[i], set, log, o.maps);
    delete[] m.maps[i].m_pCellAge;  // only IDs are compared
    m.maps[i].m_pCellAge = nullptr;
    m.maps[i].m_pLandUseSet = nullptr;
    m.views[i] = ViewOf(m.maps[i], info[i].rows, info[i].cols);
    m.names[i] = AbsolutePath(files[i]);
    m.shown[i] = files[i];
  }
  m.geo = info[0].geo;
}

void CompareMaps(MapComparison& m, const MapComparisonOptions& o, const Progress& progress) {
  auto stage = [&progress](const char* what) {
    if (progress) progress({0, 0, "", what});
  };
  CompareOptions options;
  options.fuzzy = false;
  stage("Comparing the maps");
  m.result = Compare(m.views[0], m.views[1], m.hasStart ? &m.views[2] : nullptr, m.scheme, options);
  if (o.fuzzy) {
    stage("Fuzzy kappa");
    CompareOptions fuzzy;
    fuzzy.change = fuzzy.resolutions = fuzzy.landscape = false;
    fuzzy.halvingDistance = o.halvingDistance;
    fuzzy.radius = o.radius;
    const ComparisonResult f = Compare(m.views[0], m.views[1], nullptr, m.scheme, fuzzy);
    m.result.hasFuzzy = true;
    m.result.halvingDistance = f.halvingDistance;
    m.result.radius = f.radius;
    m.result.fuzzyAgreement = f.fuzzyAgreement;
    m.result.fuzzyExpected = f.fuzzyExpected;
    m.result.fuzzyKappa = f.fuzzyKappa;
  }
  stage("Writing the results");
}

void WriteComparisonOutputs(const MapComparison& m, const MapComparisonOptions& o,
                            io::OutputFolder& folder) {
  const ComparisonResult& result = m.result;
  const io::Json doc = ComparisonJson(m);
  folder.AddText("compare.json", io::DumpReadable(doc));
  folder.AddText("crosstab.csv", CrossTabCsv(m.scheme, result));
  folder.AddText("landscape.csv", LandscapeCsv(m.scheme, result));
  folder.AddText("resolution.csv", ResolutionCsv(result));
  report::Report page;
  page.title =
      "towngrow compare: " + m.shown[1] + " (simulated) against " + m.shown[0] + " (observed)";
  if (m.repeatable) {
    MapComparisonOptions repeat = o;
    HostOptions host{folder.Path()};
    page.command = RepeatLine("compare", CompareTable(repeat, host));
  }
  page.facts = {{"observed", m.names[0]},
                {"simulated", m.names[1]},
                {"start of the change", m.hasStart ? m.names[2] : "none"},
                {"size", std::to_string(m.views[0].rows) + " x " + std::to_string(m.views[0].cols) +
                             " cells"},
                {"towngrow", Version()}};
  report::ReportTable measures;
  measures.caption = "Measures (see compare.json for every one)";
  measures.header = {"measure", "value"};
  for (const auto& [name, value] : doc["measures"].items())
    if (name.find_first_of(".@") == std::string::npos && value.is_number())
      measures.rows.push_back({name, FixedText(value.get<double>(), 4)});
  page.tables.push_back(measures);
  page.pictures.push_back(AgreementMaps(m, folder));
  if (!result.resolutions.empty()) {
    report::ReportTable budget;
    budget.caption = "Agreement and disagreement per resolution";
    budget.header = {"block side", "agreement", "quantity", "allocation"};
    for (const ResolutionBudget& b : result.resolutions)
      budget.rows.push_back({std::to_string(b.blockSide), FixedText(b.agreement, 4),
                             FixedText(b.quantity, 4), FixedText(b.allocation, 4)});
    page.tables.push_back(budget);
    page.pictures.push_back(report::AddChartPng(
        folder, "resolution.png",
        report::ResolutionChart(result,
                                m.shown[1] + " (simulated) against " + m.shown[0] + " (observed)"),
        "Disagreement per resolution"));
  }
  report::AddReportPage(folder, page);
}

}  // namespace towngrow::jobs
