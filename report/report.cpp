// The report page.
#include "report/report.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "io/error.h"

namespace towngrow::report {

namespace {

const char* kStyle =
    "body{font-family:'DejaVu Sans',sans-serif;margin:24px auto;max-width:1100px;color:#222;"
    "padding:0 16px}"
    "h1{font-size:22px;margin:0 0 12px}h2{font-size:17px;margin:28px 0 8px}"
    "pre{background:#f4f4f4;padding:10px;overflow-x:auto;white-space:pre-wrap;"
    "word-break:break-all}"
    "table{border-collapse:collapse;margin:6px 0 14px}"
    "td,th{border:1px solid #ccc;padding:3px 10px}th{background:#f0f0f0;text-align:left}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "caption{text-align:left;font-weight:bold;padding:4px 0;white-space:nowrap}"
    "figure{margin:12px 0 24px}img{max-width:100%;height:auto;border:1px solid #ddd}"
    "figcaption{color:#555;font-size:13px;margin-top:4px}"
    "dl{display:grid;grid-template-columns:max-content auto;gap:2px 16px}dt{color:#555}"
    "dd{margin:0}";

bool LooksNumeric(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == '%' || c == ' '))
      return false;
  return std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '-';
}

std::string MimeOf(const std::string& name) {
  const auto dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  return ext == "gif" ? "image/gif" : "image/png";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned int v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3Fu] : '=';
  }
  return out;
}

std::string ReportHtml(const Report& r) {
  std::ostringstream h;
  h << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
    << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    << "<title>" << HtmlEscape(r.title) << "</title><style>" << kStyle
    << "</style></head>\n<body>\n<h1>" << HtmlEscape(r.title) << "</h1>\n";
  if (!r.facts.empty()) {
    h << "<dl>";
    for (const auto& [key, value] : r.facts)
      h << "<dt>" << HtmlEscape(key) << "</dt><dd>" << HtmlEscape(value) << "</dd>";
    h << "</dl>\n";
  }
  if (!r.command.empty())
    h << "<h2>The command that repeats this</h2>\n<pre>" << HtmlEscape(r.command) << "</pre>\n";
  for (const ReportTable& t : r.tables) {
    h << "<table><caption>" << HtmlEscape(t.caption) << "</caption>\n<tr>";
    for (const std::string& c : t.header) h << "<th>" << HtmlEscape(c) << "</th>";
    h << "</tr>\n";
    for (const auto& row : t.rows) {
      h << "<tr>";
      for (const std::string& c : row)
        h << (LooksNumeric(c) ? "<td class=\"n\">" : "<td>") << HtmlEscape(c) << "</td>";
      h << "</tr>\n";
    }
    h << "</table>\n";
  }
  if (!r.pictures.empty()) h << "<h2>Pictures</h2>\n";
  for (const ReportPicture& p : r.pictures) {
    std::ifstream in(p.file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
      throw io::Error(p.name + ": cannot read the picture for the report");
    if (bytes.empty()) throw io::Error(p.name + ": cannot read the picture for the report");
    h << "<figure><img alt=\"" << HtmlEscape(p.caption) << "\" src=\"data:" << MimeOf(p.name)
      << ";base64," << Base64(bytes) << "\"><figcaption>" << HtmlEscape(p.caption) << " ("
      << HtmlEscape(p.name) << ")</figcaption></figure>\n";
  }
  h << "</body></html>\n";
  return h.str();
}

}  // namespace towngrow::report
