// The menus through the real GL device, the default font and the texture factory.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/core/Engine.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"
#include "engine/core/MenuWidgets.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/Font.h"
#include "engine/render/RenderMenuCanvas.h"
#include "engine/render/TextureFactory.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/ZktWriter.h"

namespace {

constexpr int kWidth = 200, kHeight = 150;
constexpr uint32_t kBlue = 0xFF0000C0u, kRed = 0xFFC00000u, kGreen = 0xFF00FF00u;

int R(uint32_t p) { return int((p >> 16) & 0xFF); }
int G(uint32_t p) { return int((p >> 8) & 0xFF); }
int B(uint32_t p) { return int(p & 0xFF); }

bool WritePicture(const char* path, uint32_t argb) {
    return tools::WriteZkt(SharedString(path), tools::ArgbPicture(8, 8, std::vector<uint32_t>(64, argb)));
}

class MenuRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Debugger::Instance().ResetForTests();
        Debugger::Instance().SetWarningLevel(0);
        std::filesystem::create_directories("Menu");
        ASSERT_TRUE(WritePicture("Menu\\Menu.ZKT", kBlue));
        ASSERT_TRUE(WritePicture("Menu\\Other.ZKT", kRed));
        ASSERT_TRUE(WritePicture("Menu\\Mouse.ZKT", kGreen));
        engine = new ZKEngine;
        facility = new D3D8RenderFacility;
        facility->ChooseDevice(-1);
        facility->RequestMode({kWidth, kHeight, 32, 60});
        facility->CreateDevice(false);
        ASSERT_TRUE(facility->DeviceReady());
        engine->renderer = facility;
        engine->rendererReady = true;
        engine->mainThread = Thread::Current();
        engine->input = &input;
        TextureFactory::Instance().ClearForTests();
        font = Font::Create(facility->GetTextureManager(), kFontAll, SharedString("Arial"), 15, false, false);
        engine->SetDefaultFont(font, Font::Delete);
        InstallMenuCanvas(*engine);
    }
    void TearDown() override {
        for (MenuScreen* s : screens) delete s;
        ReleaseMenuResources();
        SetMenuCanvas(nullptr);
        TextureFactory::Instance().ClearForTests();
        engine->input = nullptr;
        engine->renderer = nullptr;
        engine->rendererReady = false;
        delete font;
        delete facility;
        delete engine;
        Debugger::Instance().ResetForTests();
    }
    MenuScreen* Screen(const char* name, const char* background) {
        screens.push_back(new MenuScreen(SharedString(name), SharedString(background)));
        screens.back()->Load();
        return screens.back();
    }
    std::vector<uint32_t> Frame(MenuScreen* screen) {
        facility->BeginScene();
        screen->Render();
        facility->EndScene();
        std::vector<uint32_t> shot = facility->GrabScreen(false);
        EXPECT_EQ(shot.size(), size_t(kWidth * kHeight));
        shot.resize(size_t(kWidth * kHeight));
        return shot;
    }
    static uint32_t At(const std::vector<uint32_t>& shot, int x, int y) { return shot[size_t(y * kWidth + x)]; }

    testing_support::TempWorkDir dir;
    testing_support::FakeInputDevice input;
    ZKEngine* engine = nullptr;
    D3D8RenderFacility* facility = nullptr;
    Font* font = nullptr;
    std::vector<MenuScreen*> screens;
};

} // namespace

// Background, a focused caption in white, a disabled one in grey-blue and the cursor, read
// back once; then a frame of the cross-fade, where the old screen shows over the new one.
TEST_F(MenuRenderTest, DrawsAScreenAndTheCrossFadeThroughTheRealDevice) {
    MenuScreen* first = Screen("First", "");
    auto* focused = new Button(SharedString("WWWW"), nullptr, nullptr);
    focused->SetPosition({20, 20}, false);
    auto* disabled = new LabelWidget(SharedString("WWWW"), true, nullptr);
    disabled->SetPosition({20, 70}, false);
    first->AddWidget(focused);
    first->AddWidget(disabled);
    engine->SetMLP(first);
    first->SetFade(0.0f);
    ASSERT_TRUE(focused->IsFocused());
    input.cursor = {150, 100};

    std::vector<uint32_t> shot = Frame(first);
    EXPECT_EQ(At(shot, 190, 5), kBlue) << "the background";
    EXPECT_EQ(At(shot, 153, 103) & 0xFFFFFFu, kGreen & 0xFFFFFFu) << "the cursor";
    int white = 0, dimmed = 0, bright = 0;
    for (int y = 15; y < 50; ++y)
        for (int x = 10; x < 110; ++x) white += R(At(shot, x, y)) > 220 && G(At(shot, x, y)) > 220;
    for (int y = 65; y < 100; ++y)
        for (int x = 10; x < 110; ++x) {
            const uint32_t p = At(shot, x, y);
            dimmed += R(p) > 100 && R(p) <= 128 && B(p) >= 140;
            bright += R(p) > 140;
        }
    EXPECT_GT(white, 20);
    EXPECT_GT(dimmed, 10);
    EXPECT_EQ(bright, 0);

    // A second screen arrives while the first is half faded out: the first is drawn over it.
    MenuScreen* second = Screen("Second", "Other.ZKT");
    engine->PushMLP(second);
    first->SetFade(0.5f);
    second->ShowCursor(false);
    shot = Frame(second);
    const uint32_t mixed = At(shot, 190, 5);
    EXPECT_NEAR(R(mixed), 0xC0 / 2, 3);
    EXPECT_NEAR(B(mixed), 0xC0 / 2, 3);
}
