#pragma once

// The two entry points every fuzz target defines. libFuzzer calls them in the QLN_FUZZ build;
// otherwise FuzzReplay's main() calls them over the target's seeds and regressions.

#include <cstddef>
#include <cstdint>

// Once, before the first input: static tables, logging, the temporary folder.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
// One input; returns 0. Must neither keep state that changes what the next input does nor write
// outside the target's temporary folder.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
