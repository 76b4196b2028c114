#pragma once
#include <string>
#include <vector>

namespace testing_support {

// What happened, in order: test doubles append a line per call they record, so a test can
// check the order of a frame or of a start-up across several doubles.
using CallList = std::vector<std::string>;

} // namespace testing_support
