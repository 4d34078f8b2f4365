// towngrow: grows a town on a grid from the command line.
#include "cli/cli.h"

int main(int argc, char** argv) { return towngrow::cli::RunCli(argc, argv); }
