#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "engine/core/EngineCommands.h"
#include "engine/render/ConsoleCanvas.h"
#include "engine/render/NullRenderFacility.h"

// Without a device, a sprite renderer or a font the canvas draws nothing and never fails;
// the texture listings reach the texture factory.
TEST_F(ConsoleTest, RenderCanvasIsSafeWithoutDevice) {
    engine->renderer = new NullRenderFacility; // the engine deletes it at shut-down
    InstallConsoleCanvas(*engine);
    ASSERT_NE(console->Canvas(), nullptr);
    EXPECT_EQ(console->Canvas()->CharacterHeight(), 0);
    EXPECT_EQ(console->Canvas()->ScreenWidth(), 1024);
    console->Open();
    console->Update(2.0f);
    const size_t mark = console->LineCount();
    Type("usedtex");
    PressKey(kKeyReturn);
    console->Render();
    const Lines after = Since(mark);
    EXPECT_EQ(after.front(), "usedtex");
    EXPECT_EQ(std::find(after.begin(), after.end(), "Command not recognized"), after.end());
    console->SetCanvas(nullptr);
    SetTextureListings(nullptr, nullptr);
}
