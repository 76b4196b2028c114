#include "tools/demo/DemoTree.h"

#include <cstdio>

namespace tools {

std::vector<DemoStep>& DemoSteps() {
    static std::vector<DemoStep> steps;
    return steps;
}

std::vector<void (*)(DemoTexts)>& DemoTextFillers() {
    static std::vector<void (*)(DemoTexts)> fillers;
    return fillers;
}

DemoOptions& Options() {
    static DemoOptions options;
    return options;
}

bool GatherDemoTexts(DemoTextMap& out) {
    for (auto fill : DemoTextFillers()) {
        DemoTextMap area;
        fill(DemoTexts(area));
        for (const auto& [key, text] : area) {
            auto [it, added] = out.emplace(key, text);
            if (!added && it->second != text) {
                std::fprintf(stderr, "metrofare-demo: language key %d has two texts: \"%s\" and \"%s\"\n",
                             int(key), it->second.c_str(), text.c_str());
                return false;
            }
        }
    }
    return true;
}

bool WriteDemoTree(const std::string& rootName) {
    static const char* const kFolders[] = {"Menu", "Misc", "Models", "Textures", "Audio", "Vehicles", "Pedestrians", "Maps"};
    std::filesystem::path root(rootName);
    std::error_code ec;
    for (const char* f : kFolders) {
        std::filesystem::create_directories(root / f, ec);
        if (ec) {
            std::fprintf(stderr, "metrofare-demo: cannot create %s: %s\n", (root / f).c_str(), ec.message().c_str());
            return false;
        }
    }
    for (const DemoStep& step : DemoSteps()) {
        if (!step.write(root)) {
            std::fprintf(stderr, "metrofare-demo: cannot write %s\n", step.name);
            return false;
        }
    }
    return true;
}

} // namespace tools
