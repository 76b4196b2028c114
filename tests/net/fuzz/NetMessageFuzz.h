#pragma once
#include <cstddef>
#include <cstdint>

// One fuzz input: the first byte picks the reader, the rest is the message as it would arrive.
// Shared by the libFuzzer target and the corpus replay that runs under ctest.
int FuzzNetMessage(const uint8_t* data, size_t size);
