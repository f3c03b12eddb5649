#pragma once

// signglove-glove's command line (CLI11): parses it, runs the subcommand it names and
// returns the exit status.
int gloveDriverMain(int argc, char** argv);
