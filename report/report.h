// report.html: one self-contained page per output folder, to open in any
// browser with no network. It holds a title, the command line that repeats
// the work, a few facts, the summary tables and the folder's pictures
// inline (base64 data: URIs of the PNG and GIF files), styled by an inline
// style sheet; no script, no external font, no link that loads anything.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace towngrow::report {

struct ReportTable {
  std::string caption;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;  // cells that look like numbers align right
};

struct ReportPicture {
  std::string caption;
  std::string file;  // where the picture is now (a temporary name may do)
  std::string name;  // its name in the folder, shown under it
};

struct Report {
  std::string title;
  std::string command;  // the command line that repeats the work
  std::vector<std::pair<std::string, std::string>> facts;
  std::vector<ReportTable> tables;
  std::vector<ReportPicture> pictures;
};

// Text with &, <, >, " and ' written as entities.
std::string HtmlEscape(const std::string& text);
// Standard base64 with padding.
std::string Base64(const std::string& bytes);

// The page. Throws io::Error when a picture cannot be read.
std::string ReportHtml(const Report& report);

}  // namespace towngrow::report
