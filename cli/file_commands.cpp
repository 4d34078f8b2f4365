// The commands on one map file and the parameter template: `params`,
// `convert`, `info` and `render` (jobs/file_jobs.h does the work).
#include "cli/command.h"
#include "jobs/file_jobs.h"

namespace towngrow::cli {
namespace {

class ParamsCommand : public Command {
public:
  explicit ParamsCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "params", "Print the parameters of every land use as JSON: a template for --params.");
    AddOptions(app, jobs::FileTable("params", o_));
  }
  int Run(std::FILE* out) override {
    std::fputs((o_.space ? jobs::SpaceText(o_.params) : jobs::ParamsText(o_.params)).c_str(), out);
    return 0;
  }

private:
  jobs::FileOptions o_;
};

class ConvertCommand : public Command {
public:
  explicit ConvertCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "convert",
        "Convert a grid file to another format, chosen by the names' endings (.asc, .e00, .flt, "
        ".xya, .dat, .tif; any raster GDAL reads as input). A GeoTIFF gets the land uses' "
        "colours and names (--params) and the input's georeference and CRS.");
    AddOptions(app, jobs::FileTable("convert", o_));
  }
  int Run(std::FILE*) override {
    io::MessageLog log(PrintWarning);
    jobs::ConvertFile(o_.in, o_.out, o_.params, o_.crs, o_.maps, log);
    return 0;
  }

private:
  jobs::FileOptions o_;
};

class InfoCommand : public Command {
public:
  explicit InfoCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "info", "Show a file's kind, size, georeference and cells per land-use ID.");
    AddOptions(app, jobs::FileTable("info", o_));
  }
  int Run(std::FILE* out) override {
    io::MessageLog log(PrintWarning);
    std::fputs(jobs::FileInfoText(o_.in, o_.params, o_.maps, log).c_str(), out);
    return 0;
  }

private:
  jobs::FileOptions o_;
};

class RenderCommand : public Command {
public:
  explicit RenderCommand(CLI::App& parent) {
    app = parent.add_subcommand("render",
                                "Draw the map of a grid file as a PNG image with a legend.");
    AddOptions(app, jobs::FileTable("render", o_));
  }
  int Run(std::FILE*) override {
    io::MessageLog log(PrintWarning);
    jobs::RenderFile(o_.in, o_.out, o_.scale, o_.params, o_.extent, o_.maps, log);
    return 0;
  }

private:
  jobs::FileOptions o_;
};

}  // namespace

std::unique_ptr<Command> AddParamsCommand(CLI::App& app) {
  return std::make_unique<ParamsCommand>(app);
}
std::unique_ptr<Command> AddConvertCommand(CLI::App& app) {
  return std::make_unique<ConvertCommand>(app);
}
std::unique_ptr<Command> AddInfoCommand(CLI::App& app) {
  return std::make_unique<InfoCommand>(app);
}
std::unique_ptr<Command> AddRenderCommand(CLI::App& app) {
  return std::make_unique<RenderCommand>(app);
}

}  // namespace towngrow::cli
