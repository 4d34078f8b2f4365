#include "report/pages.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/framework.h"
#include "towngrow/simulation.h"

#include <cstdio>

namespace towngrow::report {

ReportPicture AddMapPng(io::OutputFolder& folder, const std::string& name, const MapPicture& map,
                        const std::string& caption) {
  const std::string temp =
      folder.AddWritten(name, [&map](const std::string& at) { return WriteMapPng(map, at); });
  return {caption, temp, name};
}

ReportPicture AddChartPng(io::OutputFolder& folder, const std::string& name, const Chart& chart,
                          const std::string& caption) {
  const std::string temp =
      folder.AddWritten(name, [&chart](const std::string& at) { return WriteChartPng(chart, at); });
  return {caption, temp, name};
}

void AddReportPage(io::OutputFolder& folder, const Report& report) {
  folder.AddText("report.html", ReportHtml(report));
}

ReportTable LandUseTable(const CLandUseSet& set, const CLandUseCoverage& cov) {
  const auto cells = CountCellsPerId(cov);
  const double total = static_cast<double>(cov.m_nRows) * cov.m_nCols;
  ReportTable table;
  table.caption = "Cells per land use at the end";
  table.header = {"land use", "ID", "cells", "share"};
  long held = 0;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse& lu = *static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (set.GetIDIndex(lu.m_ID) != i) continue;
    const long c = cells[lu.m_ID];
    held += c;
    char share[32];
    std::snprintf(share, sizeof share, "%.2f %%", total > 0 ? 100.0 * c / total : 0.0);
    table.rows.push_back({lu.m_strLandUseName, std::to_string(lu.m_ID), std::to_string(c), share});
  }
  if (held != static_cast<long>(total))
    table.rows.push_back(
        {"IDs no land use has", "", std::to_string(static_cast<long>(total) - held), ""});
  return table;
}

}  // namespace towngrow::report
