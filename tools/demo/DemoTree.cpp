#include "tools/demo/DemoTree.h"

#include <cstdio>

#include "tools/writers/ZktWriter.h"

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

bool WriteMenuPicture(const std::filesystem::path& path, int w, int h, const std::function<uint32_t(int, int, int, int)>& paint) {
    std::vector<uint32_t> bottomUp;
    bottomUp.reserve(size_t(w) * size_t(h));
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) bottomUp.push_back(paint(x, y, w, h));
    ZktPicture picture = ArgbPicture(w, h, bottomUp);
    picture.flags = 0x08 | 0x10;
    return WriteZkt(path.string().c_str(), picture);
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
