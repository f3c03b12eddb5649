// The glove vendor's library exists only for the obsolete host it was written for.
// On a POSIX host no glove can be reached, so start-up reports the glove missing.

#include "platform/glove_library.h"

namespace {
constexpr int kNoGloveFound = 0;
GloveRecord noGlove = {};
}  // namespace

int gloveLibraryInit() { return kNoGloveFound; }

void gloveLibrarySetMouseState(int, int) {}

void gloveLibraryClose() {}

const GloveRecord* gloveLibraryRecord() { return &noGlove; }
