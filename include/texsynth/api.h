#pragma once

// Marks the functions the shared library exports. The library is built with every other symbol hidden, so
// that only the calls declared in <texsynth/...> are its interface and the rest may change freely.
#define TEXSYNTH_API __attribute__((visibility("default")))
