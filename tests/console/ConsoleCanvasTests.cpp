#include <gtest/gtest.h>

#include <filesystem>

#include "ConsoleFixture.h"
#include "engine/core/EngineCommands.h"
#include "engine/render/ConsoleCanvas.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/Font.h"
#include "engine/render/NullRenderFacility.h"
#include "engine/render/TextureFactory.h"
#include "tools/writers/ZktWriter.h"

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

namespace {

constexpr int kScreen = 160;
constexpr uint32_t kBlue = 0xFF0000C0u; // the background picture; the text is white

// Pixels of the band of rows [top, top + height) and columns [left, right) whose red channel
// shows text (the background has none).
int TextPixels(const std::vector<uint32_t>& shot, int top, int height, int left, int right) {
    int n = 0;
    for (int y = std::max(top, 0); y < std::min(top + height, kScreen); ++y)
        for (int x = left; x < right; ++x) n += ((shot[size_t(y * kScreen + x)] >> 16) & 0xFF) > 128;
    return n;
}

int Blue(uint32_t argb) { return int(argb & 0xFF); }

} // namespace

// The console through the real GL device, the default font and "Console.ZKT": the background
// slides in with the console, the input line follows it, and a long scroll-back line wraps.
TEST_F(ConsoleTest, DrawsThroughTheRealDevice) {
    Debugger::Instance().SetWarningLevel(0); // no log lines of the loads in the scroll-back
    D3D8RenderFacility* facility = new D3D8RenderFacility; // the engine deletes it at shut-down
    facility->ChooseDevice(-1);
    facility->RequestMode({kScreen, kScreen, 32, 60});
    facility->CreateDevice(false);
    ASSERT_TRUE(facility->DeviceReady());
    engine->renderer = facility;
    engine->rendererReady = true;
    engine->mainThread = Thread::Current();
    TextureFactory::Instance().ClearForTests();
    std::filesystem::create_directories("Textures");
    ASSERT_TRUE(tools::WriteZkt("Textures\\Console.ZKT", tools::ArgbTexture(8, 8, std::vector<uint32_t>(64, kBlue))));
    Font* font = Font::Create(facility->GetTextureManager(), kFontAll, SharedString("Arial"), 15, false, false);
    engine->SetDefaultFont(font, Font::Delete);
    const int ch = font->lineHeight;
    ASSERT_GT(ch, 8);
    InstallConsoleCanvas(*engine);

    // A line that needs two rows of the 140 pixels the scroll-back may use.
    std::string wide;
    while (font->GetTextWidth(SharedString(wide.c_str())) < 200.0) wide += 'W';
    console->Print(SharedString(wide.c_str()));
    Type("VER");

    auto frame = [&] {
        facility->BeginScene();
        facility->Clear(kClearTarget | kClearDepth);
        console->Render();
        facility->EndScene();
        std::vector<uint32_t> shot = facility->GrabScreen(false);
        EXPECT_EQ(shot.size(), size_t(kScreen * kScreen));
        shot.resize(size_t(kScreen * kScreen));
        return shot;
    };

    // Closed: nothing but the cleared screen.
    console->Close();
    console->Update(5.0f);
    std::vector<uint32_t> shot = frame();
    EXPECT_EQ(shot[size_t(10 * kScreen + 150)], 0xFF000000u);
    console->Open();

    // Half open (the caret is off at this time): the upper half shows the background at
    // alpha 165 over black, the lower half is untouched; the input line sits above the edge.
    console->Update(0.5f);
    ASSERT_LE(console->Blink(), 0.0f);
    shot = frame();
    EXPECT_NEAR(Blue(shot[size_t(5 * kScreen + 150)]), 0xC0 * 165 / 255, 2);
    EXPECT_NEAR(Blue(shot[size_t(78 * kScreen + 150)]), 0xC0 * 165 / 255, 2);
    EXPECT_EQ(shot[size_t(81 * kScreen + 150)], 0xFF000000u);
    EXPECT_EQ(shot[size_t(150 * kScreen + 5)], 0xFF000000u);
    const int halfInputY = kScreen / 2 - 2 * ch;
    EXPECT_GT(TextPixels(shot, halfInputY, ch, 10, 60), 10);
    EXPECT_EQ(TextPixels(shot, 0, kScreen, 0, 9), 0); // text starts at x = 10

    // Fully open: opaque background over the screen, the input line two character heights
    // above the bottom, the wide line in two rows above the gap below the newest line.
    console->Update(0.6f);
    ASSERT_LE(console->Blink(), 0.0f);
    shot = frame();
    EXPECT_NEAR(Blue(shot[size_t(2 * kScreen + 155)]), 0xC0, 2);
    EXPECT_NEAR(Blue(shot[size_t(158 * kScreen + 155)]), 0xC0, 2);
    const int inputY = kScreen - 2 * ch, step = ch + 2;
    const int firstRow = inputY - 2 * ch - 2 * step;
    ASSERT_GE(firstRow, 0);
    EXPECT_GT(TextPixels(shot, inputY, ch, 10, 60), 10);
    EXPECT_EQ(TextPixels(shot, inputY + ch, kScreen - inputY - ch, 0, kScreen), 0);
    EXPECT_GT(TextPixels(shot, firstRow, ch, 10, kScreen - 10), 40);
    EXPECT_GT(TextPixels(shot, firstRow + step, ch, 10, kScreen - 10), 10);
    EXPECT_EQ(TextPixels(shot, firstRow + 2 * step, inputY - firstRow - 2 * step, 0, kScreen), 0);
    // Nothing of the wide line runs past the 140 pixels it may use.
    EXPECT_EQ(TextPixels(shot, firstRow, 2 * step, 151, kScreen), 0);

    // The caret shows while the blink is up.
    while (console->Blink() <= 0.2f) console->Update(0.01f);
    shot = frame();
    const int caretX = 10 + int(font->GetTextWidth(SharedString("> VER")));
    EXPECT_GT(TextPixels(shot, inputY, ch, caretX, caretX + int(font->CharWidth('_'))), 0);

    console->Close();
    console->SetCanvas(nullptr);
    SetTextureListings(nullptr, nullptr);
    TextureFactory::Instance().ClearForTests();
    engine->rendererReady = false;
}
