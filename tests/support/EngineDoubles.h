#pragma once
// The engine's services for a test, built from doubles instead of the engine: a frame clock and a
// language set of the test's own, the game-state stack, a master volume group, and whatever
// devices the test puts in (none at first: a headless game). Game classes hold the services by
// reference, so what the test changes later (a device, the frame time, a text) shows at once.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
#include "engine/core/LanguageSet.h"
#include "engine/core/MLP.h"
#include "engine/core/MLPStack.h"

namespace testing_support {

// The game-state stack as the engine keeps it (the covered state deactivated, the arriving one
// activated), without the engine's init threads: a state arrives as it is.
class FakeMLPStack : public MLPStack {
public:
    void PushMLP(MLP* mlp) override {
        if (!mlp) return;
        stack.push_back(current);
        Arrive(mlp);
    }
    void PopMLP() override {
        if (stack.empty()) return;
        MLP* top = stack.back();
        stack.pop_back();
        Arrive(top);
    }
    void PopToMLP(MLP* target) override {
        if (current == target) return;
        while (!stack.empty() && current != target) PopMLP();
    }
    MLP* CurrentMLP() const override { return current; }
    void ForgetMLPs(const std::function<bool(const MLP*)>& owned) override {
        if (owned(current)) current = nullptr;
        std::erase_if(stack, owned);
    }

    MLP* current = nullptr;
    std::vector<MLP*> stack;

private:
    void Arrive(MLP* mlp) {
        if (current) current->Deactivate();
        current = mlp;
        if (mlp) {
            mlp->timeCurrent = 0.0f;
            mlp->Activate();
        }
    }
};

struct EngineDoubles {
    EngineDoubles() {
        services.frameTime = &frameTime;
        services.frameNumber = &frameNumber;
        services.language = &language;
        services.states = &states;
        services.masterVolume = &masterVolume;
    }
    EngineDoubles(const EngineDoubles&) = delete;
    EngineDoubles& operator=(const EngineDoubles&) = delete;

    // A language text the game looks up.
    void SetText(int32_t key, const char* text) { texts.entries[key] = SharedString(text); }

    float frameTime = 0.0f;
    uint32_t frameNumber = 0;
    LanguageTexts texts;
    LanguageSet language{&texts};
    FakeMLPStack states;
    VolumeGroup masterVolume;
    // What the game is handed; the devices and the default font go in here.
    EngineServices services;
};

} // namespace testing_support

namespace testing_support {

// The services of a headless game: no devices, no clock, no language, no stack.
inline const EngineServices& NoEngine() {
    static const EngineServices none;
    return none;
}

} // namespace testing_support
