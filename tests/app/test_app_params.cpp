// The parameter files of the command-line host: the template round-trips,
// entries change and append land uses, and every refusal names the file,
// the key and the problem.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <towngrow/towngrow.h>

#include "commands/app_error.h"
#include "commands/params_json.h"

using towngrow::CCommerce;
using towngrow::CHouse;
using towngrow::CIndustry;
using towngrow::CLandUse;
using towngrow::CLandUseSet;
using towngrow::CStreetNode;
using towngrow::app::AppError;
using towngrow::app::ApplyParams;
using towngrow::app::ApplyParamsFile;
using towngrow::app::Json;
using towngrow::app::SetToJson;

namespace {

CLandUse* At(CLandUseSet& set, int i) {
  return static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
}

// The text of the AppError that applying `text` (as file "p.json") raises.
std::string Refusal(const std::string& text) {
  CLandUseSet set;
  try {
    ApplyParams(Json::parse(text), "p.json", set);
  } catch (const AppError& e) {
    return e.what();
  }
  return "(accepted)";
}

}  // namespace

TEST(ParamsTemplate, DescribesEveryLandUseOfTheRosterInOrder) {
  CLandUseSet set;
  const Json doc = SetToJson(set);
  ASSERT_EQ(doc["landUses"].size(), 7u);
  const char* kinds[] = {"LandUse",  "StreetNode", "StreetVertex", "House",
                         "Industry", "Commerce",   "Others"};
  for (int i = 0; i < 7; ++i) {
    const Json& lu = doc["landUses"][static_cast<std::size_t>(i)];
    EXPECT_EQ(lu["id"], i);
    EXPECT_EQ(lu["kind"], kinds[i]);
    EXPECT_EQ(lu["name"], At(set, i)->m_strLandUseName);
  }
  // Colours are #RRGGBB while the model keeps 0x00BBGGRR.
  EXPECT_EQ(doc["landUses"][1]["color"], "#BE0000");
  EXPECT_EQ(doc["landUses"][4]["color"], "#40E0D0");
  // Each kind shows its own parameters and no other kind's.
  EXPECT_EQ(doc["landUses"][1]["connectMode"], 0);
  EXPECT_EQ(doc["landUses"][1]["junctionFill"], true);
  EXPECT_EQ(doc["landUses"][3]["mixedLandUseProb"], Json::parse("[70, 15, 25]"));
  EXPECT_EQ(doc["landUses"][4]["houseCommercePercent"], 40);
  EXPECT_EQ(doc["landUses"][5]["housePercent"], 20);
  EXPECT_FALSE(doc["landUses"][3].contains("housePercent"));
  EXPECT_FALSE(doc["landUses"][6].contains("streetPercent"));
}

TEST(ParamsTemplate, AppliedToAChangedSetRestoresTheDefaults) {
  CLandUseSet defaults;
  const Json tmpl = Json::parse(towngrow::app::DumpReadable(SetToJson(defaults)));
  CLandUseSet set;
  auto* node = static_cast<CStreetNode*>(At(set, 1));
  node->m_nMinStep = 9;
  node->m_dDensityRate = 0.125;
  node->m_Color = 0x123456;
  static_cast<CHouse*>(At(set, 3))->m_nResidentialLandUseProb[2] = 1;
  At(set, 6)->m_strLandUseName = "Water";
  ApplyParams(tmpl, "t.json", set);
  EXPECT_EQ(SetToJson(set), SetToJson(defaults));
  EXPECT_EQ(set.m_LandUseArray.GetSize(), 7);
}

TEST(ParamsFile, ChangesTheFieldsItNamesOnly) {
  CLandUseSet set;
  ApplyParams(Json::parse(R"({"landUses": [
      {"id": 3, "activeAge": 12, "color": "#010203", "residentialLandUseProb": [1, 2, 3]},
      {"id": 1, "kind": "StreetNode", "connectMode": 2, "junctionFill": false,
       "densityScale": 0.5, "category": "Others", "name": "Crossing"}]})"),
              "p.json", set);
  auto* house = static_cast<CHouse*>(At(set, 3));
  EXPECT_EQ(house->m_nActiveAge, 12);
  EXPECT_EQ(house->m_Color, 0x030201u);
  EXPECT_EQ(house->m_nResidentialLandUseProb[0], 1);
  EXPECT_EQ(house->m_nResidentialLandUseProb[2], 3);
  EXPECT_EQ(house->m_nInactivePeriod, 30);  // untouched
  EXPECT_EQ(house->m_nMixedLandUseProb[0], 70);
  auto* node = static_cast<CStreetNode*>(At(set, 1));
  EXPECT_EQ(node->m_nConnectMode, 2);
  EXPECT_EQ(node->m_bJunctionFill, 0);
  EXPECT_EQ(node->m_dDensityScale, 0.5);
  EXPECT_EQ(node->m_LandUseCategory, towngrow::Others);
  EXPECT_EQ(node->m_strLandUseName, "Crossing");
  EXPECT_EQ(node->m_nMinStep, 4);
}

TEST(ParamsFile, AppendsLandUsesOfTheDefinedKindsWithTheirOwnIds) {
  CLandUseSet set;
  ApplyParams(Json::parse(R"({"landUses": [
      {"id": 9, "kind": "House", "name": "Villas", "streetPercent": 7},
      {"id": 12, "kind": "Commerce"},
      {"id": 9, "activeAge": 5}]})"),
              "p.json", set);
  ASSERT_EQ(set.m_LandUseArray.GetSize(), 9);
  EXPECT_EQ(set.GetIDIndex(9), 7);
  EXPECT_EQ(set.GetIDIndex(12), 8);
  auto* villas = dynamic_cast<CHouse*>(At(set, 7));
  ASSERT_NE(villas, nullptr);
  EXPECT_EQ(villas->m_strLandUseName, "Villas");
  EXPECT_EQ(villas->m_nStreetPercent, 7);
  EXPECT_EQ(villas->m_nActiveAge, 5);             // the later entry addressed the appended one
  EXPECT_EQ(villas->m_nMixedLandUseProb[1], 15);  // a House's own defaults
  auto* shops = dynamic_cast<CCommerce*>(At(set, 8));
  ASSERT_NE(shops, nullptr);
  EXPECT_EQ(shops->m_ID, 12);
  EXPECT_EQ(shops->m_nHousePercent, 20);
  EXPECT_EQ(set.IsIDUnique(), 1);
  // The appended land uses appear in the template with their kind.
  const Json doc = SetToJson(set);
  EXPECT_EQ(doc["landUses"][7]["kind"], "House");
  EXPECT_EQ(doc["landUses"][8]["id"], 12);
}

TEST(ParamsFile, AcceptsTheRunRecordOfRunJson) {
  CLandUseSet set;
  ApplyParams(Json::parse(R"({"landUses": [{"id": 4, "policy": 0}],
                             "run": {"seed": 7, "anything": [1]}})"),
              "run.json", set);
  EXPECT_EQ(At(set, 4)->m_nPolicy, 0);
}

TEST(ParamsFile, RefusalsNameFileKeyAndProblem) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {R"([1, 2])", "p.json: must hold a JSON object, got a list"},
      {R"({"landuses": []})", "p.json: landuses: unknown key"},
      {R"({"landUses": {}})", "p.json: landUses: must be a list, got an object"},
      {R"({"run": 3})", "p.json: run: must be an object, got an integer"},
      {R"({"landUses": [3]})", "p.json: landUses[0]: must be an object, got an integer"},
      {R"({"landUses": [{"name": "x"}]})", "p.json: landUses[0]: \"id\" is missing"},
      {R"({"landUses": [{"id": 256}]})",
       "p.json: landUses[0].id: must be an integer from 0 to 255, got 256"},
      {R"({"landUses": [{"id": -1}]})",
       "p.json: landUses[0].id: must be an integer from 0 to 255, got -1"},
      {R"({"landUses": [{"id": 1.5}]})",
       "landUses[0].id: must be an integer from 0 to 255, got a number with a fraction"},
      {R"({"landUses": [{"id": 3, "speed": 1}]})", "p.json: landUses[0].speed: unknown key"},
      {R"({"landUses": [{"id": 3, "minStep": 1}]})",
       "p.json: landUses[0].minStep: not a parameter of a House"},
      {R"({"landUses": [{"id": 3, "activeAge": "30"}]})",
       "p.json: landUses[0].activeAge: must be an integer from 0 to 1000000, got a text"},
      {R"({"landUses": [{"id": 3, "activeAge": 1000001}]})",
       "landUses[0].activeAge: must be an integer from 0 to 1000000, got 1000001"},
      {R"({"landUses": [{"id": 5, "policy": 101}]})",
       "p.json: landUses[0].policy: must be an integer from 0 to 100, got 101"},
      {R"({"landUses": [{"id": 0}, {"id": 4, "directionProb": [1, 2]}]})",
       "p.json: landUses[1].directionProb: must be a list of 8 integers from 0 to 32767, got 2 "
       "entries"},
      {R"({"landUses": [{"id": 4, "landUseProb": [1, -2, 3]}]})",
       "p.json: landUses[0].landUseProb[1]: must be an integer from 0 to 32767, got -2"},
      {R"({"landUses": [{"id": 1, "junctionFill": 1}]})",
       "p.json: landUses[0].junctionFill: must be true or false, got an integer"},
      {R"({"landUses": [{"id": 1, "densityRate": "fast"}]})",
       "p.json: landUses[0].densityRate: must be a number from -1000000 to 1000000, got a text"},
      {R"({"landUses": [{"id": 1, "densityType": 4}]})",
       "p.json: landUses[0].densityType: must be an integer from 0 to 3, got 4"},
      {R"({"landUses": [{"id": 1, "connectMode": 3}]})",
       "p.json: landUses[0].connectMode: must be an integer from 0 to 2, got 3"},
      {R"({"landUses": [{"id": 2, "color": "red"}]})",
       "p.json: landUses[0].color: must be a colour \"#RRGGBB\", got \"red\""},
      {R"({"landUses": [{"id": 2, "color": "#12345G"}]})",
       "p.json: landUses[0].color: must be a colour"},
      {R"({"landUses": [{"id": 2, "category": "Road"}]})",
       "p.json: landUses[0].category: must be one of Blank, StreetNode"},
      {R"({"landUses": [{"id": 2, "name": ""}]})",
       "p.json: landUses[0].name: must be 1 to 200 characters long"},
      {R"({"landUses": [{"id": 2, "name": "a\nb"}]})",
       "p.json: landUses[0].name: must not hold control characters"},
      {R"({"landUses": [{"id": 3, "kind": "Industry"}]})",
       "p.json: landUses[0].kind: the land use with ID 3 is a House, not an Industry"},
      {R"({"landUses": [{"id": 9, "activeAge": 3}]})",
       "p.json: landUses[0]: no land use has ID 9; a new land use needs a \"kind\""},
      {R"({"landUses": [{"id": 9, "kind": "Park"}]})",
       "p.json: landUses[0].kind: must be one of LandUse, StreetNode"},
      {R"({"landUses": [{"id": 9, "kind": "Industry", "mixedLandUseProb": [1, 2, 3]}]})",
       "p.json: landUses[0].mixedLandUseProb: not a parameter of an Industry"},
  };
  for (const auto& c : cases) {
    const std::string what = Refusal(c.text);
    EXPECT_NE(what.find(c.expected), std::string::npos) << c.text << "\n  gave: " << what;
  }
}

TEST(ParamsFile, RefusedNewLandUseIsNotAppended) {
  CLandUseSet set;
  EXPECT_THROW(
      ApplyParams(Json::parse(R"({"landUses": [{"id": 9, "kind": "House", "policy": 500}]})"),
                  "p.json", set),
      AppError);
  EXPECT_EQ(set.m_LandUseArray.GetSize(), 7);
  EXPECT_EQ(set.GetIDIndex(9), -1);
}

TEST(ParamsFile, MissingOrBrokenFilesAreNamed) {
  CLandUseSet set;
  const std::string dir = ::testing::TempDir();
  const std::string missing = dir + "/no-such-params.json";
  try {
    ApplyParamsFile(missing, set);
    FAIL() << "accepted a missing file";
  } catch (const AppError& e) {
    EXPECT_EQ(std::string(e.what()), missing + ": cannot open the parameter file");
  }
  const std::string broken = dir + "/broken-params.json";
  std::ofstream(broken) << "{\"landUses\": [ {\"id\": 3, }";
  try {
    ApplyParamsFile(broken, set);
    FAIL() << "accepted broken JSON";
  } catch (const AppError& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind(broken + ": not valid JSON: ", 0), 0u) << what;
    EXPECT_EQ(what.find('\n'), std::string::npos) << what;
  }
  std::remove(broken.c_str());
}
