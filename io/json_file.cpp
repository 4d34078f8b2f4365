#include "io/json_file.h"

#include <cstdio>
#include <fstream>

#include "io/error.h"

namespace towngrow::io {
namespace {

void Dump(const Json& v, int indent, std::string& out) {
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  if (v.is_object() && !v.empty()) {
    out += "{\n";
    std::size_t i = 0;
    for (auto it = v.begin(); it != v.end(); ++it, ++i) {
      out += pad + "  " + Json(it.key()).dump() + ": ";
      Dump(it.value(), indent + 2, out);
      out += i + 1 < v.size() ? ",\n" : "\n";
    }
    out += pad + "}";
    return;
  }
  if (v.is_array() && !v.empty()) {
    bool flat = true;
    for (const auto& e : v) flat = flat && !e.is_structured();
    if (flat) {
      out += "[";
      for (std::size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + v[i].dump();
      out += "]";
      return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < v.size(); ++i) {
      out += pad + "  ";
      Dump(v[i], indent + 2, out);
      out += i + 1 < v.size() ? ",\n" : "\n";
    }
    out += pad + "]";
    return;
  }
  out += v.dump();
}

// The parser's text quotes the token it stopped at, which can be megabytes
// long: keep the error line short.
std::string Shortened(const std::string& text) {
  constexpr std::size_t kMax = 200;
  return text.size() <= kMax ? text : text.substr(0, kMax) + "...";
}

}  // namespace

std::string DumpReadable(const Json& doc) {
  std::string out;
  Dump(doc, 0, out);
  return out + "\n";
}

std::string ShownText(const std::string& text) {
  constexpr std::size_t kMax = 200;
  std::string out;
  std::size_t i = 0;
  for (; i < text.size() && out.size() < kMax; ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\n') {
      out += "\\n";
    } else if (ch < 0x20 || ch == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return i < text.size() ? out + "..." : out;
}

void Where::Fail(const std::string& problem) const {
  throw Error(file + ": " + (path.empty() ? "" : ShownText(path) + ": ") + ShownText(problem));
}

std::string TypeName(const Json& v) {
  if (v.is_boolean()) return "true/false";
  if (v.is_number_integer() || v.is_number_unsigned()) return "an integer";
  if (v.is_number()) return "a number with a fraction";
  if (v.is_string()) return "a text";
  if (v.is_array()) return "a list";
  if (v.is_object()) return "an object";
  return "null";
}

Json ReadJsonFile(const std::string& path, const std::string& kind) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path + ": cannot open the " + kind);
  // Read whole but capped: the parser would hold a long token several
  // times over (a line of 100 MB of digits took a gigabyte).
  std::string text;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxJsonFileBytes)
      throw Error(path + ": too large for a " + kind + " (more than " +
                  std::to_string(kMaxJsonFileBytes >> 20) + " MB)");
  }
  if (in.bad()) throw Error(path + ": cannot be read");
  try {
    return Json::parse(text);
  } catch (const Json::parse_error& e) {
    std::string what = e.what();
    const auto colon = what.find("parse error");
    throw Error(path + ": not valid JSON: " +
                Shortened(colon == std::string::npos ? what : what.substr(colon)));
  } catch (const Json::exception& e) {
    // The parser refuses a number beyond the double range (1e999) with an
    // out_of_range error rather than a parse error.
    std::string what = e.what();
    const auto text = what.find("] ");
    throw Error(path + ": not valid JSON: " +
                Shortened(text == std::string::npos ? what : what.substr(text + 2)));
  }
}

}  // namespace towngrow::io
