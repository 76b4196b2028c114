#pragma once
#include <filesystem>
#include <functional>
#include <string>
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

// Writes the demo data tree under `root` (idempotent: files are rewritten with the same
// content). Returns false and prints the reason when a file cannot be written.
bool WriteDemoTree(const std::string& root);

} // namespace tools
