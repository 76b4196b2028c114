#pragma once
// The demo tree's cars, written into a test's directory as metrofare-demo writes them.
#include <string>

#include "tools/demo/DemoTree.h"

namespace vehicle_test {

// Writes the demo's "cars" step under the current directory; false when it is missing or fails.
inline bool WriteDemoCars() {
    for (const tools::DemoStep& step : tools::DemoSteps())
        if (std::string(step.name) == "cars") return step.write(".");
    return false;
}

// The four demo cars in name order.
inline const char* const DemoCarNames[4] = {"AmbulanceVan", "CabMetro", "PoliceCruiser", "RacerZZ"};

} // namespace vehicle_test
