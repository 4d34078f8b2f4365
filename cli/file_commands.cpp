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
    app->add_option("--params", params_, "Show these parameters applied to the defaults");
    app->add_flag("--space", space_,
                  "Print every numeric field of every land use with its legal range as a "
                  "calibration's space file (min, max, step), ready to cut down");
  }
  int Run(std::FILE* out) override {
    std::fputs((space_ ? jobs::SpaceText(params_) : jobs::ParamsText(params_)).c_str(), out);
    return 0;
  }

private:
  std::string params_;
  bool space_ = false;
};

class ConvertCommand : public Command {
public:
  explicit ConvertCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "convert",
        "Convert a grid file to another format, chosen by the names' endings (.asc, .e00, .flt, "
        ".xya, .dat, .tif; any raster GDAL reads as input). A GeoTIFF gets the land uses' "
        "colours and names (--params) and the input's georeference and CRS.");
    app->add_option("IN", in_, "File to read")->required();
    app->add_option("OUT", out_, "File to write")->required();
    app->add_option("--params", params_,
                    "Parameter file that gives the names and colours of a GeoTIFF");
    app->add_option("--crs", crs_,
                    "Coordinate reference system to assign (e.g. EPSG:32633), replacing "
                    "the input's");
    AddMapOptions(app, maps_);
  }
  int Run(std::FILE*) override {
    io::MessageLog log(PrintWarning);
    jobs::ConvertFile(in_, out_, params_, crs_, maps_, log);
    return 0;
  }

private:
  std::string in_, out_, params_, crs_;
  io::MapReadOptions maps_;
};

class InfoCommand : public Command {
public:
  explicit InfoCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "info", "Show a file's kind, size, georeference and cells per land-use ID.");
    app->add_option("FILE", file_, "File to read")->required();
    app->add_option("--params", params_, "Parameter file that names the land uses");
    AddMapOptions(app, maps_);
  }
  int Run(std::FILE* out) override {
    io::MessageLog log(PrintWarning);
    std::fputs(jobs::FileInfoText(file_, params_, maps_, log).c_str(), out);
    return 0;
  }

private:
  std::string file_, params_;
  io::MapReadOptions maps_;
};

class RenderCommand : public Command {
public:
  explicit RenderCommand(CLI::App& parent) {
    app = parent.add_subcommand("render",
                                "Draw the map of a grid file as a PNG image with a legend.");
    app->add_option("FILE", in_, "File to read")->required();
    app->add_option("OUT", out_, "PNG file to write")->required();
    app->add_option("--scale", scale_, "Pixels per cell (0: about 800 pixels on the longer side)")
        ->check(CLI::Range(0, 64));
    app->add_option("--params", params_, "Parameter file that gives names and colours");
    app->add_option("--extent", extent_,
                    "'town' (the developed cells with a margin; the whole grid when none is "
                    "developed) or 'full' (the whole grid)")
        ->check(CLI::IsMember({"town", "full"}));
    AddMapOptions(app, maps_);
  }
  int Run(std::FILE*) override {
    io::MessageLog log(PrintWarning);
    jobs::RenderFile(in_, out_, scale_, params_, extent_, maps_, log);
    return 0;
  }

private:
  std::string in_, out_, params_, extent_ = "town";
  int scale_ = 0;
  io::MapReadOptions maps_;
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
