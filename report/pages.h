// The pictures and the report page of a job's output folder: each picture
// is staged in the folder (it appears when the folder is published) and
// handed back as the report's entry for it; the page inlines them.
#pragma once

#include <string>

#include <towngrow/grid/coverage.h>
#include <towngrow/landuse/land_use_set.h>

#include "io/output_folder.h"
#include "report/chart.h"
#include "report/render.h"
#include "report/report.h"

namespace towngrow::report {

// `name` in the folder as a PNG map or chart; throws io::Error naming the
// file when it cannot be drawn or written.
ReportPicture AddMapPng(io::OutputFolder& folder, const std::string& name, const MapPicture& map,
                        const std::string& caption);
ReportPicture AddChartPng(io::OutputFolder& folder, const std::string& name, const Chart& chart,
                          const std::string& caption);

// report.html into the folder.
void AddReportPage(io::OutputFolder& folder, const Report& report);

// The table of cells per land use at the end (name, ID, cells, share; the
// cells of IDs no land use has on a line of their own).
ReportTable LandUseTable(const CLandUseSet& set, const CLandUseCoverage& cov);

}  // namespace towngrow::report
