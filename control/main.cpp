#include "control/program.h"

int main() { return signgloveMain(); }
