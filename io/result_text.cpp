#include "io/result_text.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace towngrow::io {

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + "\"";
}

std::string FixedText(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

std::string FixedText(const Scalar& v, int decimals) {
  return v.value ? FixedText(*v.value, decimals) : std::string();
}

Json ScalarJson(const Scalar& v) { return v.value ? Json(*v.value) : Json(nullptr); }

Json IdCountsJson(const std::array<std::uint64_t, 256>& counts) {
  Json j = Json::object();
  for (std::size_t id = 0; id < 256; ++id)
    if (counts[id] > 0) j[std::to_string(id)] = counts[id];
  return j;
}

void Appendf(std::string& text, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string line(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(line.data(), line.size(), format, again);
    line.pop_back();
    text += line;
  }
  va_end(again);
}

std::string AbsolutePath(const std::string& p) {
  std::error_code ec;
  const std::filesystem::path a = std::filesystem::absolute(p, ec);
  return ec ? p : a.lexically_normal().string();
}

std::string ShellWord(const std::string& s) {
  if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                        "0123456789-_./=:+,") == std::string::npos)
    return s;
  std::string q = "'";
  for (char ch : s) {
    if (ch == '\'')
      q += "'\\''";
    else
      q += ch;
  }
  return q + "'";
}

}  // namespace towngrow::io
