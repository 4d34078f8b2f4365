// towngrow: grows a town on a grid from the command line.
#include "commands/cli.h"

int main(int argc, char** argv) { return towngrow::app::RunCli(argc, argv); }
