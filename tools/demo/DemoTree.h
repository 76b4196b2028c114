#pragma once
#include <filesystem>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// One step of the demo tree: writes its files under the root; false on failure.
struct DemoStep {
    const char* name;
    std::function<bool(const std::filesystem::path& root)> write;
};

std::vector<DemoStep>& DemoSteps();

struct DemoStepRegistrar {
    DemoStepRegistrar(const char* name, std::function<bool(const std::filesystem::path&)> fn) {
        DemoSteps().push_back({name, std::move(fn)});
    }
};

// Each area's demo file registers its step with DEMO_STEP(name) { ... return true; }
#define DEMO_STEP_CAT2(a, b) a##b
#define DEMO_STEP_CAT(a, b) DEMO_STEP_CAT2(a, b)
#define DEMO_STEP(label)                                                                    \
    static bool DEMO_STEP_CAT(DemoStepFn_, __LINE__)(const std::filesystem::path& root);    \
    static ::tools::DemoStepRegistrar DEMO_STEP_CAT(DemoStepReg_, __LINE__)(                 \
        label, DEMO_STEP_CAT(DemoStepFn_, __LINE__));                                      \
    static bool DEMO_STEP_CAT(DemoStepFn_, __LINE__)(const std::filesystem::path& root)

// The texts of the demo language set. Each area adds the keys it reads in its own demo file:
//   DEMO_TEXTS { texts[165] = "Do you really want to quit?"; }
// The language step gathers every area's texts; a key given two different texts is an error.
using DemoTextMap = std::map<int32_t, std::string>;

// What a DEMO_TEXTS block writes through: texts[key] = text. The text is appended to the
// emptied entry rather than assigned, which GCC 12 at -O3 misreads as a copy that may overlap
// (-Wrestrict) once many assignments are inlined into one block.
class DemoTexts {
public:
    explicit DemoTexts(DemoTextMap& map) : map_(map) {}
    class Entry {
    public:
        explicit Entry(std::string& text) : text_(text) {}
        Entry& operator=(std::string_view text) {
            text_.clear();
            text_.append(text.data(), text.size());
            return *this;
        }

    private:
        std::string& text_;
    };
    Entry operator[](int32_t key) { return Entry(map_[key]); }

private:
    DemoTextMap& map_;
};

std::vector<void (*)(DemoTexts)>& DemoTextFillers();

struct DemoTextsRegistrar {
    explicit DemoTextsRegistrar(void (*fill)(DemoTexts)) { DemoTextFillers().push_back(fill); }
};

#define DEMO_TEXTS                                                                          \
    static void DEMO_STEP_CAT(DemoTextsFn_, __LINE__)(::tools::DemoTexts texts);            \
    static ::tools::DemoTextsRegistrar DEMO_STEP_CAT(DemoTextsReg_, __LINE__)(               \
        DEMO_STEP_CAT(DemoTextsFn_, __LINE__));                                             \
    static void DEMO_STEP_CAT(DemoTextsFn_, __LINE__)(::tools::DemoTexts texts)

// A menu picture w x h painted by paint(x, y, w, h) -> ARGB, stored bottom row first (the menus
// ask for their pictures flipped) and never compressed.
bool WriteMenuPicture(const std::filesystem::path& path, int w, int h, const std::function<uint32_t(int, int, int, int)>& paint);

// Every area's texts merged; false (and the clash printed) when one key has two texts.
bool GatherDemoTexts(DemoTextMap& out);

// What the command line chooses: the time of day of the free drive (0 morning, 1 afternoon,
// 2 evening, 3 night).
struct DemoOptions {
    int32_t freeDriveTimeOfDay = 1;
};
DemoOptions& Options();

// Writes the demo data tree under `root` (idempotent: files are rewritten with the same
// content). Returns false and prints the reason when a file cannot be written.
bool WriteDemoTree(const std::string& root);

} // namespace tools
