#include "params/param_fields.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "io/error.h"
#include "towngrow/grid/category.h"
#include "towngrow/landuse/commerce.h"
#include "towngrow/landuse/house.h"
#include "towngrow/landuse/industry.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/others_land.h"
#include "towngrow/landuse/street_node.h"
#include "towngrow/landuse/street_vertex.h"
#include "towngrow/platform/framework.h"

namespace towngrow::io {
namespace {

enum KindBit : unsigned {
  kBase = 1u << 0,
  kNode = 1u << 1,
  kVertex = 1u << 2,
  kHouse = 1u << 3,
  kIndustry = 1u << 4,
  kCommerce = 1u << 5,
  kOthers = 1u << 6,
  kAll = 0x7Fu,
  kSettles = kHouse | kIndustry | kCommerce,
};

struct KindInfo {
  const char* word;
  unsigned bit;
  std::function<CLandUse*()> make;
};

const std::vector<KindInfo>& Kinds() {
  static const std::vector<KindInfo> kinds = {
      {"LandUse", kBase, [] { return new CLandUse(); }},
      {"StreetNode", kNode, [] { return new CStreetNode(); }},
      {"StreetVertex", kVertex, [] { return new CStreetVertex(); }},
      {"House", kHouse, [] { return new CHouse(); }},
      {"Industry", kIndustry, [] { return new CIndustry(); }},
      {"Commerce", kCommerce, [] { return new CCommerce(); }},
      {"Others", kOthers, [] { return new COthersLand(); }},
  };
  return kinds;
}

unsigned KindBitOf(const CLandUse& lu) {
  if (dynamic_cast<const CStreetNode*>(&lu)) return kNode;
  if (dynamic_cast<const CStreetVertex*>(&lu)) return kVertex;
  if (dynamic_cast<const CHouse*>(&lu)) return kHouse;
  if (dynamic_cast<const CIndustry*>(&lu)) return kIndustry;
  if (dynamic_cast<const CCommerce*>(&lu)) return kCommerce;
  if (dynamic_cast<const COthersLand*>(&lu)) return kOthers;
  return kBase;
}

const char* const kCategoryWords[] = {"Blank",    "StreetNode", "StreetVertex", "House",
                                      "Industry", "Commerce",   "Others"};

enum class Type { Int, Double, Bool, IntArray, Name, Color, Category };

// One parameter: its key, type, the kinds that carry it, its range and
// where it lives in a land use.
struct Field {
  const char* key;
  Type type;
  unsigned kinds;
  std::function<void*(CLandUse&)> at;
  double min = 0;
  double max = 0;
  int count = 0;  // array length for IntArray
};

template <class T, class M>
std::function<void*(CLandUse&)> Member(M T::*member) {
  return [member](CLandUse& lu) -> void* { return &(static_cast<T&>(lu).*member); };
}

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = {
      {"name", Type::Name, kAll, Member(&CLandUse::m_strLandUseName)},
      {"category", Type::Category, kAll, Member(&CLandUse::m_LandUseCategory)},
      {"color", Type::Color, kAll, Member(&CLandUse::m_Color)},
      {"maxLength", Type::Int, kAll, Member(&CLandUse::m_nMaxLength), 0, 10000},
      {"densityType", Type::Int, kAll, Member(&CLandUse::m_nDensityType), 0, 3},
      {"densityScale", Type::Double, kAll, Member(&CLandUse::m_dDensityScale), -1e6, 1e6},
      {"densityRate", Type::Double, kAll, Member(&CLandUse::m_dDensityRate), -1e6, 1e6},
      {"densityPower", Type::Double, kAll, Member(&CLandUse::m_dDensityPower), -1e6, 1e6},
      {"activeAge", Type::Int, kAll, Member(&CLandUse::m_nActiveAge), 0, 1000000},
      {"inactivePeriod", Type::Int, kAll, Member(&CLandUse::m_nInactivePeriod), 0, 1000000},
      {"deadAge", Type::Int, kAll, Member(&CLandUse::m_nDeadAge), 0, 32767},
      {"neighborRadius", Type::Int, kAll, Member(&CLandUse::m_nNeighborRadius), 0, 100},
      {"directionProb", Type::IntArray, kAll, Member(&CLandUse::m_nDirectionProb), 0, 32767, 8},
      {"landUseProb", Type::IntArray, kAll, Member(&CLandUse::m_nLandUseProb), 0, 32767, 3},
      {"policy", Type::Int, kAll, Member(&CLandUse::m_nPolicy), 0, 100},
      // Street node.
      {"minStep", Type::Int, kNode, Member(&CStreetNode::m_nMinStep), 1, 10000},
      {"maxStep", Type::Int, kNode, Member(&CStreetNode::m_nMaxStep), 0, 10000},
      {"housePercent", Type::Int, kNode, Member(&CStreetNode::m_nHousePercent), 0, 100},
      {"industryPercent", Type::Int, kNode, Member(&CStreetNode::m_nIndustryPercent), 0, 100},
      {"commercePercent", Type::Int, kNode, Member(&CStreetNode::m_nCommercePercent), 0, 100},
      {"connectMode", Type::Int, kNode, Member(&CStreetNode::m_nConnectMode), 0, 2},
      {"junctionVertices", Type::Int, kNode, Member(&CStreetNode::m_nJunctionVertices), 0, 9},
      {"junctionHousePercent", Type::Int, kNode, Member(&CStreetNode::m_nJunctionHousePercent), 0,
       100},
      {"junctionFillPercent", Type::Int, kNode, Member(&CStreetNode::m_nJunctionFillPercent), 0,
       100},
      {"junctionFill", Type::Bool, kNode, Member(&CStreetNode::m_bJunctionFill), 0, 1},
      // Housing.
      {"streetPercent", Type::Int, kHouse, Member(&CHouse::m_nStreetPercent), 0, 100},
      {"mixedLandUseProb", Type::IntArray, kHouse, Member(&CHouse::m_nMixedLandUseProb), 0, 32767,
       3},
      {"residentialLandUseProb", Type::IntArray, kHouse, Member(&CHouse::m_nResidentialLandUseProb),
       0, 32767, 3},
      // Industry.
      {"houseCommercePercent", Type::Int, kIndustry, Member(&CIndustry::m_nHouseCommercePercent), 0,
       100},
      {"streetPercent", Type::Int, kIndustry, Member(&CIndustry::m_nStreetPercent), 0, 100},
      // Commerce.
      {"housePercent", Type::Int, kCommerce, Member(&CCommerce::m_nHousePercent), 0, 100},
      {"streetPercent", Type::Int, kCommerce, Member(&CCommerce::m_nStreetPercent), 0, 100},
      // Beyond the street-driven rules (towngrow/scenario.h): the suitability
      // weight of the land uses that settle cells, the settlement rules of
      // those that settle by them.
      {"suitabilityWeight", Type::Double, kNode | kSettles, Member(&CLandUse::m_dSuitabilityWeight),
       0, 10},
      {"spontaneousRate", Type::Int, kSettles, Member(&CLandUse::m_nSpontaneousRate), 0, 100},
      {"spontaneousNodePercent", Type::Int, kSettles, Member(&CLandUse::m_nSpontaneousNodePercent),
       0, 100},
      {"centerPercent", Type::Int, kSettles, Member(&CLandUse::m_nCenterPercent), 0, 100},
      {"centerCells", Type::Int, kSettles, Member(&CLandUse::m_nCenterCells), 0, 8},
      {"edgePercent", Type::Int, kSettles, Member(&CLandUse::m_nEdgePercent), 0, 100},
      {"edgeRadius", Type::Int, kSettles, Member(&CLandUse::m_nEdgeRadius), 0, 50},
      {"edgePower", Type::Double, kSettles, Member(&CLandUse::m_dEdgePower), 0, 4},
      {"roadRadius", Type::Int, kSettles, Member(&CLandUse::m_nRoadRadius), 0, 50},
      {"roadTrip", Type::Int, kSettles, Member(&CLandUse::m_nRoadTrip), 0, 50},
      {"roadPercent", Type::Int, kSettles, Member(&CLandUse::m_nRoadPercent), 0, 100},
  };
  return fields;
}

const Field* FindField(const std::string& key, unsigned kind) {
  for (const auto& f : Fields())
    if ((f.kinds & kind) != 0 && key == f.key) return &f;
  return nullptr;
}

std::string Num(double v) {
  if (std::floor(v) == v && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
  std::ostringstream s;
  s << v;
  return s.str();
}

long long ReadInt(const Json& v, double min, double max, const Where& w) {
  const std::string want = "must be an integer from " + Num(min) + " to " + Num(max);
  if (v.is_number_unsigned()) {
    const auto u = v.get<unsigned long long>();
    if (static_cast<double>(u) < min || static_cast<double>(u) > max)
      w.Fail(want + ", got " + v.dump());
    return static_cast<long long>(u);
  }
  if (!v.is_number_integer()) w.Fail(want + ", got " + TypeName(v));
  const auto n = v.get<long long>();
  if (static_cast<double>(n) < min || static_cast<double>(n) > max)
    w.Fail(want + ", got " + v.dump());
  return n;
}

void ApplyField(const Field& f, const Json& v, CLandUse& lu, const Where& w) {
  void* at = f.at(lu);
  switch (f.type) {
    case Type::Int:
      *static_cast<int*>(at) = static_cast<int>(ReadInt(v, f.min, f.max, w));
      return;
    case Type::Double: {
      const std::string want = "must be a number from " + Num(f.min) + " to " + Num(f.max);
      if (!v.is_number()) w.Fail(want + ", got " + TypeName(v));
      const double d = v.get<double>();
      if (!std::isfinite(d) || d < f.min || d > f.max) w.Fail(want + ", got " + v.dump());
      *static_cast<double*>(at) = d;
      return;
    }
    case Type::Bool:
      if (!v.is_boolean()) w.Fail("must be true or false, got " + TypeName(v));
      *static_cast<int*>(at) = v.get<bool>() ? 1 : 0;
      return;
    case Type::IntArray: {
      const std::string want = "must be a list of " + std::to_string(f.count) + " integers from " +
                               Num(f.min) + " to " + Num(f.max);
      if (!v.is_array()) w.Fail(want + ", got " + TypeName(v));
      if (static_cast<int>(v.size()) != f.count)
        w.Fail(want + ", got " + std::to_string(v.size()) + " entries");
      int values[8] = {};
      for (int i = 0; i < f.count; ++i) {
        Where item{w.file, w.path + "[" + std::to_string(i) + "]"};
        values[i] = static_cast<int>(ReadInt(v[static_cast<std::size_t>(i)], f.min, f.max, item));
      }
      int* dst = static_cast<int*>(at);
      for (int i = 0; i < f.count; ++i) dst[i] = values[i];
      return;
    }
    case Type::Name: {
      if (!v.is_string()) w.Fail("must be a text, got " + TypeName(v));
      const std::string s = v.get<std::string>();
      if (s.empty() || s.size() > 200) w.Fail("must be 1 to 200 characters long");
      for (unsigned char ch : s)
        if (ch < 0x20 || ch == 0x7F) w.Fail("must not hold control characters");
      *static_cast<CString*>(at) = s;
      return;
    }
    case Type::Color: {
      const std::string want = "must be a colour \"#RRGGBB\"";
      if (!v.is_string()) w.Fail(want + ", got " + TypeName(v));
      const std::string s = v.get<std::string>();
      bool ok = s.size() == 7 && s[0] == '#';
      for (std::size_t i = 1; ok && i < s.size(); ++i)
        ok = std::isxdigit(static_cast<unsigned char>(s[i])) != 0;
      if (!ok) w.Fail(want + ", got " + v.dump());
      const unsigned long rgb = std::stoul(s.substr(1), nullptr, 16);
      const unsigned int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
      *static_cast<unsigned int*>(at) = r | (g << 8) | (b << 16);
      return;
    }
    case Type::Category: {
      const std::string want =
          "must be one of Blank, StreetNode, StreetVertex, House, Industry, Commerce, Others";
      if (!v.is_string()) w.Fail(want + ", got " + TypeName(v));
      const std::string s = v.get<std::string>();
      for (int c = 0; c < 7; ++c) {
        if (s == kCategoryWords[c]) {
          *static_cast<LandUseCategory*>(at) = static_cast<LandUseCategory>(c);
          return;
        }
      }
      w.Fail(want + ", got " + v.dump());
    }
  }
}

Json FieldToJson(const Field& f, CLandUse& lu) {
  void* at = f.at(lu);
  switch (f.type) {
    case Type::Int:
      return *static_cast<int*>(at);
    case Type::Double:
      return *static_cast<double*>(at);
    case Type::Bool:
      return *static_cast<int*>(at) != 0;
    case Type::IntArray: {
      Json a = Json::array();
      const int* src = static_cast<int*>(at);
      for (int i = 0; i < f.count; ++i) a.push_back(src[i]);
      return a;
    }
    case Type::Name:
      return *static_cast<CString*>(at);
    case Type::Color:
      return ColorToHex(*static_cast<unsigned int*>(at));
    case Type::Category: {
      return CategoryWord(*static_cast<LandUseCategory*>(at));
    }
  }
  return nullptr;
}

const char* KindWord(unsigned bit) {
  for (const auto& k : Kinds())
    if (k.bit == bit) return k.word;
  return "LandUse";
}

// "a House", "an Industry".
std::string WithArticle(const std::string& word) {
  const bool vowel = !word.empty() && std::string("AEIOU").find(word[0]) != std::string::npos;
  return (vowel ? "an " : "a ") + word;
}

// "directionProb[2]" -> "directionProb" and 2; any other key -> itself and -1.
std::pair<std::string, int> SplitIndex(const std::string& key) {
  const std::size_t open = key.find('[');
  if (open == std::string::npos || key.empty() || key.back() != ']') return {key, -1};
  const std::string digits = key.substr(open + 1, key.size() - open - 2);
  if (digits.empty() || digits.size() > 2 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return {key, -1};
  return {key.substr(0, open), std::stoi(digits)};
}

}  // namespace

void ApplyLandUseEntry(const Json& entry, const Where& w, CLandUseSet& set) {
  if (!entry.is_object()) w.Fail("must be an object, got " + TypeName(entry));
  if (!entry.contains("id")) w.Fail("\"id\" is missing");
  const int id = static_cast<int>(ReadInt(entry["id"], 0, 255, Where{w.file, w.path + ".id"}));

  const KindInfo* kind = nullptr;
  if (entry.contains("kind")) {
    const Json& k = entry["kind"];
    Where kw{w.file, w.path + ".kind"};
    const std::string want =
        "must be one of LandUse, StreetNode, StreetVertex, House, Industry, Commerce, Others";
    if (!k.is_string()) kw.Fail(want + ", got " + TypeName(k));
    for (const auto& info : Kinds())
      if (k.get<std::string>() == info.word) kind = &info;
    if (kind == nullptr) kw.Fail(want + ", got " + k.dump());
  }

  CLandUse* lu = nullptr;
  std::unique_ptr<CLandUse> fresh;
  const int index = set.GetIDIndex(static_cast<unsigned char>(id));
  if (index >= 0) {
    lu = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(index));
    if (kind != nullptr && kind->bit != KindBitOf(*lu))
      Where{w.file, w.path + ".kind"}.Fail("the land use with ID " + std::to_string(id) + " is " +
                                           WithArticle(KindWord(KindBitOf(*lu))) + ", not " +
                                           WithArticle(kind->word));
  } else {
    if (kind == nullptr)
      w.Fail("no land use has ID " + std::to_string(id) + "; a new land use needs a \"kind\"");
    fresh.reset(kind->make());
    fresh->SetID(static_cast<unsigned char>(id));
    lu = fresh.get();
  }

  const unsigned bit = KindBitOf(*lu);
  for (auto it = entry.begin(); it != entry.end(); ++it) {
    if (it.key() == "id" || it.key() == "kind") continue;
    Where fw{w.file, w.path + "." + it.key()};
    const Field* f = FindField(it.key(), bit);
    if (f == nullptr) {
      bool other = false;
      for (const auto& g : Fields()) other = other || it.key() == g.key;
      fw.Fail(other ? "not a parameter of " + WithArticle(KindWord(bit))
                    : std::string("unknown key"));
    }
    ApplyField(*f, it.value(), *lu, fw);
  }
  if (fresh) set.m_LandUseArray.Add(fresh.release());
}

std::string KindOf(const CLandUse& landUse) { return KindWord(KindBitOf(landUse)); }

std::string CategoryWord(LandUseCategory category) {
  const int c = static_cast<int>(category);
  return c >= 0 && c < 7 ? kCategoryWords[c] : "Others";
}

std::string ColorToHex(unsigned int color) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                (color >> 16) & 0xFF);
  return buf;
}

Json LandUseToJson(const CLandUse& landUse) {
  // The field accessors hand out writable addresses; nothing is written here.
  CLandUse& lu = const_cast<CLandUse&>(landUse);
  const unsigned bit = KindBitOf(lu);
  Json j = Json::object();
  j["id"] = static_cast<int>(lu.m_ID);
  j["kind"] = KindWord(bit);
  for (const auto& f : Fields())
    if ((f.kinds & bit) != 0) j[f.key] = FieldToJson(f, lu);
  return j;
}

std::string FindNumberField(const CLandUse& landUse, const std::string& key, NumberField& out) {
  const auto [name, index] = SplitIndex(key);
  const unsigned bit = KindBitOf(landUse);
  const Field* f = FindField(name, bit);
  if (f == nullptr) {
    bool other = false;
    for (const auto& g : Fields()) other = other || name == g.key;
    return other ? "not a parameter of " + WithArticle(KindWord(bit)) : "no parameter of that name";
  }
  const bool list = f->type == Type::IntArray;
  if (list != (index >= 0))
    return list ? "a list: name one entry, as " + name + "[0]"
                : (index >= 0 ? "not a list" : "not a number");
  if (list && index >= f->count)
    return "has entries 0 to " + std::to_string(f->count - 1) + " only";
  if (f->type != Type::Int && f->type != Type::Double && f->type != Type::Bool && !list)
    return "not a number";
  out.integer = f->type != Type::Double;
  out.min = f->min, out.max = f->max;
  return "";
}

void SetNumberField(CLandUse& landUse, const std::string& key, double value) {
  const auto [name, index] = SplitIndex(key);
  const Field* f = FindField(name, KindBitOf(landUse));
  if (f == nullptr) throw Error(key + ": no such parameter");
  void* at = f->at(landUse);
  switch (f->type) {
    case Type::Double:
      *static_cast<double*>(at) = value;
      return;
    case Type::IntArray:
      static_cast<int*>(at)[index] = static_cast<int>(value);
      return;
    default:
      *static_cast<int*>(at) = static_cast<int>(value);
  }
}

std::vector<std::string> NumberFieldKeys(const CLandUse& landUse) {
  const unsigned bit = KindBitOf(landUse);
  std::vector<std::string> keys;
  for (const auto& f : Fields()) {
    if ((f.kinds & bit) == 0) continue;
    if (f.type == Type::IntArray) {
      for (int i = 0; i < f.count; ++i)
        keys.push_back(std::string(f.key) + "[" + std::to_string(i) + "]");
    } else if (f.type == Type::Int || f.type == Type::Double || f.type == Type::Bool) {
      keys.push_back(f.key);
    }
  }
  return keys;
}

}  // namespace towngrow::io
