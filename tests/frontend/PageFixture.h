#pragma once
// Front-end pages headless: an engine with scripted input, a silent sound device and a canvas
// that records every draw. The pages sit on the engine's menu toolkit, which works through the
// engine itself: the pages are handed that engine's services.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/core/Engine.h"
#include "engine/core/MenuResources.h"
#include "game/frontend/FrontEndPage.h"
#include "platform/sys/Random.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace page_test {

class PageTest : public ::testing::Test {
protected:
    static constexpr float kFrame = 1.0f / 64.0f; // exact in binary

    void SetUp() override {
        Debugger::Instance().ResetForTests();
        plat::SetEngineRandSeed(7);
        engine = std::make_unique<ZKEngine>();
        engine->input = &input;
        engine->sound = &sound;
        engine->frameTime = kFrame;
        SetMenuCanvas(&canvas);
    }
    void TearDown() override {
        engine->mlpStack.clear();
        engine->currentMLP = engine->previousMLP = nullptr;
        pages.clear();
        FrontEndPage::ReleaseSharedPictures();
        ReleaseMenuResources();
        SetMenuCanvas(nullptr);
        engine->input = nullptr;
        engine->sound = nullptr;
        engine.reset();
        Debugger::Instance().ResetForTests();
    }

    // A loaded page the test owns.
    FrontEndPage* Page(const char* name, const char* background = "") {
        pages.push_back(std::make_unique<FrontEndPage>(engine->Services(), SharedString(name), SharedString(background)));
        pages.back()->Load();
        return pages.back().get();
    }
    // One frame of the current screen's input and update; then the frame's events end.
    void Frame() {
        if (engine->currentMLP) {
            engine->currentMLP->HandleInput();
            engine->currentMLP->Update();
        }
        input.NextFrame();
    }

    testing_support::TempWorkDir dir;
    testing_support::FakeInputDevice input;
    testing_support::FakeAudioDevice sound;
    testing_support::RecordingCanvas canvas;
    std::unique_ptr<ZKEngine> engine;
    std::vector<std::unique_ptr<FrontEndPage>> pages;
};

} // namespace page_test
