#pragma once

struct RecognitionContext;

// Shows the button-driven menu and runs the chosen modes until B and C are held
// together at the top of the menu or when leaving a mode.
void runMenu(RecognitionContext& context);
