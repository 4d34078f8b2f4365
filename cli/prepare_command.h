// `towngrow prepare RECIPE.json --out DIR`: the start map, the background
// and the control maps made from a modeller's own layers (see
// jobs/prepare.h), a summary and the calibrate command line that uses them.
#pragma once

namespace CLI {
class App;
}

namespace towngrow::cli {

// Adds the subcommand to the program's command line. It runs when parsed;
// bad input leaves as a CLI::RuntimeError of exit status 2 holding the one
// line, so the program reports it as it reports any other.
void AddPrepareCommand(CLI::App& app);

}  // namespace towngrow::cli
