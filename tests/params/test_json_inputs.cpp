// The layer's JSON inputs in this process: parameter documents (each field lands on its member, a
// written set reads back alike, refusals name the file and key), search spaces (values lists,
// min/max/step ranges, refusals), class files and the parameter-file fuzz target's inputs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "fuzz/params_harness.h"
#include "io/class_file.h"
#include "io/error.h"
#include "params/params_json.h"
#include "params/search_space.h"
#include "support/files.h"

using namespace towngrow;
using namespace towngrow::io;

namespace {

// The one line `read` refuses with; "" when it takes its input.
template <class F>
std::string Refusal(F&& read) {
  const std::string said = testkit::Thrown<Error>(read);
  EXPECT_EQ(said.find('\n'), std::string::npos) << said;
  return said;
}

// A row's outcome: exactly what was read, or a refusal starting `name`: and then the row's text.
void ExpectShows(const std::string& shows, const std::string& name, const std::string& want,
                 const std::string& row) {
  if (shows.rfind(name, 0) == 0)
    EXPECT_EQ(shows.rfind(name + want, 0), 0u) << row << "\n" << shows;
  else
    EXPECT_EQ(shows, want) << row;
}

template <class T>
T& Of(CLandUseSet& set, int id) {
  return *dynamic_cast<T*>(static_cast<CLandUse*>(set.m_LandUseArray.GetAt(set.GetIDIndex(id))));
}

}  // namespace

// Keys that several kinds share (streetPercent, housePercent) land on the
// member of the kind addressed; colours turn to 0x00BBGGRR; a new ID
// appends its kind; and nothing but the named fields changes.
TEST(ParamsJson, EachFieldLandsOnItsLandUseAndNothingElseChanges) {
  const Json doc = Json::parse(R"({"run": {"seed": 3}, "landUses": [
    {"id": 3, "activeAge": 20, "residentialLandUseProb": [60, 20, 21], "streetPercent": 11},
    {"id": 4, "streetPercent": 12, "houseCommercePercent": 13},
    {"id": 5, "kind": "Commerce", "streetPercent": 14, "housePercent": 0},
    {"id": 1, "housePercent": 16, "connectMode": 2, "junctionFill": false, "densityRate": -0.25,
     "directionProb": [1, 2, 3, 4, 5, 6, 7, 32767]},
    {"id": 2, "color": "#00FF80", "category": "Others", "name": "Lane"},
    {"id": 9, "kind": "Industry", "name": "Works", "deadAge": 32767}]})");
  CLandUseSet set, plain;
  ApplyParams(doc, "p.json", set);
  const CHouse& house = Of<CHouse>(set, 3);
  const CIndustry &industry = Of<CIndustry>(set, 4), &works = Of<CIndustry>(set, 9);
  const CCommerce& shop = Of<CCommerce>(set, 5);
  const CStreetNode& node = Of<CStreetNode>(set, 1);
  const CLandUse& lane = Of<CLandUse>(set, 2);
  std::ostringstream got;
  got << house.m_nActiveAge << " " << house.m_nResidentialLandUseProb[2] << " "
      << house.m_nStreetPercent << " " << industry.m_nStreetPercent << " "
      << industry.m_nHouseCommercePercent << " " << shop.m_nStreetPercent << " "
      << shop.m_nHousePercent << " " << node.m_nHousePercent << " " << node.m_nConnectMode << " "
      << node.m_bJunctionFill << " " << node.m_dDensityRate << " " << node.m_nDirectionProb[7]
      << " " << std::hex << lane.m_Color << " " << lane.m_LandUseCategory << " " << std::dec
      << works.m_nDeadAge;
  EXPECT_EQ(got.str(), "20 21 11 12 13 14 0 16 2 0 -0.25 32767 80ff00 6 32767");
  EXPECT_EQ(lane.m_strLandUseName, "Lane");
  EXPECT_EQ(set.GetIDIndex(9), 7);  // appended

  // Every other field as the defaults have it.
  Json want = SetToJson(plain);
  CIndustry fresh;
  fresh.SetID(9), want["landUses"].push_back(LandUseToJson(fresh));
  for (const Json& entry : doc["landUses"])
    for (Json& lu : want["landUses"])
      if (lu["id"] == entry["id"]) lu.update(entry);
  EXPECT_EQ(SetToJson(set), want);
}

// A set with every number field changed, written by SetToJson and applied to a fresh set, reads
// back the same; the kinds of new land uses travel. Every field of every kind takes both ends of
// its range and refuses one beyond either, naming itself.
TEST(ParamsJson, AWrittenSetReadsBackAlikeAndEachFieldTakesItsWholeRangeOnly) {
  CLandUseSet set, fresh;
  const char* kinds[] = {"LandUse",  "StreetNode", "StreetVertex", "House",
                         "Industry", "Commerce",   "Others"};
  for (int k = 0; k < 7; ++k) {
    const Json entry = {{"id", 10 + k}, {"kind", kinds[k]}, {"name", kinds[k]}};
    ApplyParams(Json{{"landUses", Json::array({entry})}}, "p.json", set);
  }
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    CLandUse& lu = *static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
    int j = 0;
    for (const std::string& key : NumberFieldKeys(lu)) {
      NumberField f;
      ASSERT_EQ(FindNumberField(lu, key, f), "") << key;
      const double v = f.integer ? f.min + (i * 31 + ++j * 7) % static_cast<int>(f.max - f.min + 1)
                                 : f.min + std::fmod(std::fabs((i + 1) * 0.125 - j), f.max - f.min);
      SetNumberField(lu, key, v);
      const std::size_t open = key.find('[');
      const Json all = LandUseToJson(lu)[key.substr(0, open)];
      const Json& one = open == std::string::npos ? all : all[std::stoul(key.substr(open + 1))];
      EXPECT_EQ(one.is_boolean() ? one.get<bool>() : one.get<double>(), v)
          << lu.m_strLandUseName << "." << key;
      if (open != std::string::npos || one.is_boolean()) continue;
      for (const double end : {f.min, f.max, f.min - 1, f.max + 1}) {
        const Json value = f.integer ? Json(static_cast<long long>(end)) : Json(end);
        const Json entry = {{"id", 200}, {"kind", KindOf(lu)}, {key, value}};
        CLandUseSet scratch;
        const std::string said = Refusal([&] {
          ApplyParams(Json{{"landUses", Json::array({entry})}}, "p.json", scratch);
        });
        const std::string want = "p.json: landUses[0]." + key + ": must be ";
        const std::string keyAndValue =  // the refusal's start and end
            said.empty() ? "" : said.substr(0, want.size()) + said.substr(said.rfind(", got "));
        const bool legal = end >= f.min && end <= f.max;
        EXPECT_EQ(keyAndValue, legal ? "" : want + ", got " + value.dump()) << said;
      }
    }
  }
  const Json doc = SetToJson(set);
  ApplyParams(doc, "p.json", fresh);
  EXPECT_EQ(SetToJson(fresh), doc);
  EXPECT_EQ(KindOf(*static_cast<CLandUse*>(fresh.m_LandUseArray.GetAt(12))), "Commerce");
}

TEST(ParamsJson, RefusalsNameTheFileTheKeyAndTheProblem) {
  // Each: a document and the start of its refusal after "p.json: "; where the refusal starts "[",
  // the document is the entries of the landUses list.
  const std::pair<const char*, const char*> cases[] = {
      {R"([1, 2])", "must hold a JSON object, got a list"},
      {R"({"landuses": []})", "landuses: unknown key"},
      {R"({"landUses": {}})", "landUses: must be a list, got an object"},
      {R"({"run": 3})", "run: must be an object, got an integer"},
      {"3", "[0]: must be an object, got an integer"},
      {R"({"name": "x"})", "[0]: \"id\" is missing"},
      {R"({"id": 256})", "[0].id: must be an integer from 0 to 255, got 256"},
      {R"({"id": -1})", "[0].id: must be an integer from 0 to 255, got -1"},
      {R"({"id": 1.5})", "[0].id: must be an integer from 0 to 255, got a number with a fraction"},
      {R"({"id": 3, "speed": 2})", "[0].speed: unknown key"},
      {R"({"id": 3, "minStep": 1})", "[0].minStep: not a parameter of a House"},
      {R"({"id": 3, "activeAge": "30"})",
       "[0].activeAge: must be an integer from 0 to 1000000, got a text"},
      {R"({"id": 3, "activeAge": 18446744073709551615})",
       "[0].activeAge: must be an integer from 0 to 1000000, got 18446744073709551615"},
      {R"({"id": 0}, {"id": 4, "directionProb": [1, 2]})",
       "[1].directionProb: must be a list of 8 integers from 0 to 32767, got 2 entries"},
      {R"({"id": 4, "landUseProb": [1, -2, 3]})",
       "[0].landUseProb[1]: must be an integer from 0 to 32767, got -2"},
      {R"({"id": 4, "landUseProb": 3})",
       "[0].landUseProb: must be a list of 3 integers from 0 to 32767, got an integer"},
      {R"({"id": 1, "junctionFill": 1})",
       "[0].junctionFill: must be true or false, got an integer"},
      {R"({"id": 1, "densityRate": "fast"})",
       "[0].densityRate: must be a number from -1000000 to 1000000, got a text"},
      {R"({"id": 2, "color": "#12345G"})",
       "[0].color: must be a colour \"#RRGGBB\", got \"#12345G\""},
      {R"({"id": 2, "color": "#1234567"})", "[0].color: must be a colour"},
      {R"({"id": 2, "category": "Road"})", "[0].category: must be one of Blank, StreetNode"},
      {R"({"id": 2, "name": ""})", "[0].name: must be 1 to 200 characters long"},
      {R"({"id": 2, "name": "a\nb"})", "[0].name: must not hold control characters"},
      {R"({"id": 3, "kind": "Industry"})",
       "[0].kind: the land use with ID 3 is a House, not an Industry"},
      {R"({"id": 9, "activeAge": 3})",
       "[0]: no land use has ID 9; a new land use needs a \"kind\""},
      {R"({"id": 9, "kind": "Park"})", "[0].kind: must be one of LandUse, StreetNode"},
      {R"({"id": 9, "kind": "Industry", "mixedLandUseProb": [1, 2, 3]})",
       "[0].mixedLandUseProb: not a parameter of an Industry"}};
  for (const auto& [doc, says] : cases) {
    const bool entries = says[0] == '[';
    const std::string text = entries ? std::string(R"({"landUses": [)") + doc + "]}" : doc,
                      want = std::string("p.json: ") + (entries ? "landUses" : "") + says;
    CLandUseSet set;
    const std::string said = Refusal([&] { ApplyParams(Json::parse(text), "p.json", set); });
    EXPECT_EQ(said.rfind(want, 0), 0u) << text << "\n" << said;
  }
}

// Each row is the entries of a space file: what its first parameter is
// (name, whole or not, legal range: values), or the refusal after "space: ". `age` starts an entry
// of the houses' activeAge.
TEST(SearchSpace, ValuesAndRangesOrOneLineRefusals) {
  const std::string age = R"({"id": 3, "field": "activeAge", )";
  const std::pair<std::string, const char*> rows[] = {
      {age + R"("values": [30, 10, 20]})", "id3.activeAge whole 0..1000000: 30 10 20"},
      {age + R"("min": 10, "max": 30, "step": 7})", "id3.activeAge whole 0..1000000: 10 17 24"},
      {age + R"("min": 10, "max": 31, "step": 7})", "id3.activeAge whole 0..1000000: 10 17 24 31"},
      {R"({"id": 5, "field": "policy", "min": 100, "max": 100, "step": 1})",
       "id5.policy whole 0..100: 100"},
      {R"({"id": 1, "field": "densityRate", "min": 0.1, "max": 0.5, "step": 0.1})",
       "id1.densityRate -1000000..1000000: 0.1 0.2 0.3 0.4 0.5"},
      {R"({"id": 1, "field": "densityRate", "min": -1, "max": 0, "step": 0.3})",
       "id1.densityRate -1000000..1000000: -1 -0.7 -0.4 -0.1"},
      {R"({"id": 1, "field": "minStep", "values": [1, 10000]})",
       "id1.minStep whole 1..10000: 1 10000"},
      {R"({"id": 1, "field": "directionProb[7]", "values": [32767, 0]})",
       "id1.directionProb[7] whole 0..32767: 32767 0"},
      {R"({"id": 1, "field": "junctionFill", "values": [1, 0]})",
       "id1.junctionFill whole 0..1: 1 0"},
      {"", "the space lists no parameter"},
      {"3", "[0]: must be an object"},
      {age + R"("values": [1], "speed": 2})", "[0].speed: unknown key"},
      {R"({"id": "3", "field": "activeAge", "values": [1]})",
       "[0].id: must be a land-use ID (a whole number)"},
      {R"({"id": 9, "field": "activeAge", "values": [1]})", "[0].id: no land use has ID 9"},
      {R"({"id": 256, "field": "activeAge", "values": [1]})", "[0].id: no land use has ID 256"},
      {R"({"id": 3, "values": [1]})", "[0].field: must name a parameter"},
      {R"({"id": 3, "field": "speed", "values": [1]})",
       "[0].field: speed: no parameter of that name (land use 3)"},
      {R"({"id": 3, "field": "minStep", "values": [1]})",
       "[0].field: minStep: not a parameter of a House (land use 3)"},
      {R"({"id": 3, "field": "directionProb", "values": [1]})",
       "[0].field: directionProb: a list: name one entry, as directionProb[0] (land use 3)"},
      {R"({"id": 3, "field": "directionProb[8]", "values": [1]})",
       "[0].field: directionProb[8]: has entries 0 to 7 only (land use 3)"},
      {R"({"id": 3, "field": "activeAge[0]", "values": [1]})",
       "[0].field: activeAge[0]: not a list"},
      {R"({"id": 3, "field": "name", "values": [1]})", "[0].field: name: not a number"},
      {age + R"("values": []})", "[0].values: must be a list of one or more numbers"},
      {age + R"("values": [5, "6"]})", "[0].values[1]: must be a number"},
      {age + R"("values": [5, 5]})", "[0].values[1]: 5 is listed twice"},
      {age + R"("values": [1000001]})",
       "[0].values[0]: 1000001 is outside id3.activeAge's range from 0 to 1000000"},
      {age + R"("values": [-1]})", "[0].values[0]: -1 is outside"},
      {age + R"("values": [2.5]})",
       "[0].values[0]: 2.5 is not a whole number, as id3.activeAge is"},
      {age + R"("values": [1], "step": 1})", "[0]: give either values or min, max and step"},
      {age + R"("min": 1, "max": 2})", "[0]: needs values, or min, max and step"},
      {age + R"("min": 30, "max": 10, "step": 1})", "[0].max: below min"},
      {age + R"("min": -1, "max": 10, "step": 1})", "[0].min: -1 is outside"},
      {R"({"id": 3, "field": "streetPercent", "min": 0, "max": 101, "step": 1})",
       "[0].max: 101 is outside id3.streetPercent's range from 0 to 100"},
      {age + R"("min": 0, "max": 10, "step": 0})", "[0].step: must be a number above 0"},
      {age + R"("min": 0, "max": 10, "step": 2.5})",
       "[0].step: gives 2.5, not a whole number, as id3.activeAge is"},
      {age + R"("min": 0, "max": 1000000, "step": 1})", "[0].step: gives more than 100000 values"},
      {age + R"("values": [1]}, )" + age + R"("values": [2]})",
       "[1]: id3.activeAge is listed twice"}};
  const CLandUseSet set;
  for (const auto& row : rows) {
    std::vector<SpaceEntry> entries;
    SearchSpace space;
    std::string shows = Refusal([&] {
      space = ReadSpace(Json::parse(std::string("[") + row.first + "]"), "space", set, entries);
    });
    if (shows.empty()) {
      ASSERT_EQ(space.size(), 1u) << row.first;
      const SearchParameter& p = space[0];
      shows = p.name + (p.integer ? " whole " : " ") + ValueText(p.lowest) + ".." +
              ValueText(p.highest) + ":";
      for (double v : p.values) shows += " " + ValueText(v);
    }
    ExpectShows(shows, "space: ", row.second, row.first);
  }
}

// A point's set: the base parameters, then the point's value in each searched field.
TEST(SearchSpace, APointsSetHoldsItsValuesOverTheBase) {
  const CLandUseSet plain;
  std::vector<SpaceEntry> entries;
  const SearchSpace space = ReadSpace(Json::parse(R"([
      {"id": 3, "field": "deadAge", "values": [1, 2]},
      {"id": 1, "field": "directionProb[2]", "values": [0, 99]},
      {"id": 1, "field": "densityRate", "values": [0.25]}])"),
                                      "space", plain, entries);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(std::make_tuple(entries[1].id, entries[1].field.size()), std::make_tuple(1, 16u));
  const Json base = Json::parse(R"({"landUses": [{"id": 3, "activeAge": 5, "deadAge": 9}]})");
  const auto set = SetForPoint(base, entries, Point{{2, 99, 0.25}});
  CLandUseSet want;
  ApplyParams(base, "base", want);
  Of<CHouse>(want, 3).m_nDeadAge = 2, Of<CStreetNode>(want, 1).m_nDirectionProb[2] = 99;
  Of<CStreetNode>(want, 1).m_dDensityRate = 0.25;
  EXPECT_EQ(SetToJson(*set), SetToJson(want));
  EXPECT_EQ(Of<CHouse>(*set, 3).m_nActiveAge, 5);
}

// Each row: a class file and its classes ("name*" when developed, then the
// IDs it maps), or the refusal after "classes: ".
TEST(ClassFile, ClassesAndTheirIdsOrOneLineRefusals) {
  std::string many;
  for (int k = 0; k < 33; ++k)
    many += std::string(k ? "," : "") + R"({"name": "c)" + std::to_string(k) + R"(", "ids": [)" +
            std::to_string(k) + "]}";
  const std::pair<std::string, std::string> rows[] = {
      {R"({"classes": [{"name": "urban", "ids": [3, 1, 2], "developed": true},
                       {"name": "green", "ids": [6, 0], "developed": false}]})",
       "urban*:1,2,3 green:0,6"},
      {R"({"classes": [{"name": "a-1_B", "ids": [255]}]})", "a-1_B:255"},
      {R"([1])", "the top level: must be an object"},
      {R"({"classes": [], "extra": 1})", "\"extra\": unknown key (only \"classes\")"},
      {R"({"classes": {}})", "classes: must be a list of classes"},
      {R"({"classes": []})", "classes: must list 1 to 32 classes"},
      {R"({"classes": [)" + many + "]}", "classes: must list 1 to 32 classes"},
      {R"({"classes": [3]})", "classes[0]: must be an object with \"name\" and \"ids\""},
      {R"({"classes": [{"name": "a", "ids": [1], "colour": 2}]})",
       "classes[0].\"colour\": unknown key (name, ids, developed)"},
      {R"({"classes": [{"ids": [1]}]})", "classes[0].name: must be a text"},
      {R"({"classes": [{"name": "a", "ids": []}]})",
       "classes[0].ids: must be a list of at least one ID"},
      {R"({"classes": [{"name": "a", "ids": [1], "developed": 1}]})",
       "classes[0].developed: must be true or false"},
      {R"({"classes": [{"name": "developed", "ids": [1]}]})",
       "classes[0].name: \"developed\" is the binary class and names no class"},
      {R"({"classes": [{"name": "a b", "ids": [1]}]})",
       "classes[0].name: class name \"a b\" is not 1 to 40 letters, digits, '_' or '-'"},
      {R"({"classes": [{"name": "a", "ids": [1]}, {"name": "a", "ids": [2]}]})",
       "classes: class name \"a\" is given twice"},
      {R"({"classes": [{"name": "a", "ids": [0, 256]}]})",
       "classes[0].ids[1]: 256 is not an ID (a whole number from 0 to 255)"},
      {R"({"classes": [{"name": "a", "ids": [-1]}]})", "classes[0].ids[0]: -1 is not an ID"},
      {R"({"classes": [{"name": "a", "ids": [1.5]}]})", "classes[0].ids[0]: 1.5 is not an ID"},
      {R"({"classes": [{"name": "a", "ids": [1]}, {"name": "b", "ids": [2, 1]}]})",
       "classes[1].ids[1]: ID 1 is already in class \"a\""}};
  for (const auto& row : rows) {
    ClassScheme scheme;
    std::string shows = Refusal([&] { scheme = ReadClasses(Json::parse(row.first), "classes"); });
    if (shows.empty())
      for (int k = 0; k < scheme.Classes(); ++k) {
        shows += (k ? " " : "") + scheme.names[k] + (scheme.developed[k] ? "*" : "") + ":";
        for (int id = 0; id < 256; ++id)
          if (scheme.classOf[id] == k)
            shows += (shows.back() == ':' ? "" : ",") + std::to_string(id);
      }
    ExpectShows(shows, "classes: ", row.second, row.first);
  }
}

// Every file of the corpus and every past failure is either taken or refused with one line naming
// it; a set that took it grows a town and writes parameters that read back alike.
TEST(ParamsReader, FuzzInputsAreTakenOrRefusedCleanly) {
  const testkit::fs::path fuzz =
      testkit::fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";
  int files = 0;
  for (const char* kind : {"corpus", "regressions"})
    for (const auto& f : testkit::FilesIn(fuzz / kind / "params")) {
      const std::string bytes = testkit::ReadAll(f);
      const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
      EXPECT_EQ(towngrow_fuzz::CheckParamsInput(data, bytes.size()), "") << f;
      ++files;
    }
  EXPECT_GT(files, 10);
}
