// signglove-glove: glove drivers people can run today, one subcommand per source.

#include "drivers/command_line.h"

int main(int argc, char** argv) { return gloveDriverMain(argc, argv); }
