#pragma once

#include <cstddef>

// The live view's page (view/page/), built into the program so that it needs no data
// files: each file's path on the server, its content type and its bytes.
struct PageFile {
  const char* path;
  const char* type;
  const char* bytes;
  size_t size;
};

extern const PageFile kPageFiles[];
extern const size_t kPageFileCount;
