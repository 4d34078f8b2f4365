#include "cli.h"

namespace towngrow::app {

int RunCli(int, char**) { return 0; }

}  // namespace towngrow::app
