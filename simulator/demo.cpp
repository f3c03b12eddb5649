#include "simulator/demo.h"

const char* const kDemoScript = R"(# The demo: calibrate, choose sign recognition, sign every word the program knows.
calibrate
wait 500
tap B            # the main menu: B for sign recognition
wait 300
sign welcome
sign to
sign my
sign presentation
sign I
sign hope
sign this/the
sign proves
sign concept
wait 500
press B C        # leave the mode and the program
wait 300
release all
)";
