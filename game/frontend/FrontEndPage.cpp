#include "game/frontend/FrontEndPage.h"

#include <cmath>
#include <memory>

#include "engine/core/MLPStack.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "game/frontend/FrontEnd.h"
#include "platform/sys/Random.h"

namespace {

constexpr uint32_t kFlipRows = 1;
// Align and anchor flags of the Back picture: its bottom-left corner on the screen's.
constexpr int32_t kBottomLeft = 12;
// Where the option rows go.
constexpr int32_t kRowX = 270;
constexpr float kRowTop = 180.0f;
constexpr float kRowStep = 27.0f;
constexpr Point2i kLastRow{650, 485};

// A uniform random number in [0, 1) from the engine generator.
float Random01() { return float(plat::EngineRand()) / float(plat::kEngineRandMax + 1); }

// Owns the shared pictures that the plain pointers of the shared decorations point to.
struct SharedPictures {
    std::unique_ptr<MenuPicture> streakPictures[2];
    std::unique_ptr<MenuPicture> sweeperPictures[2];
    std::unique_ptr<MenuPicture> back;
};

SharedPictures& OwnedPictures() {
    static SharedPictures pictures;
    return pictures;
}

MenuPicture* LoadIfEmpty(std::unique_ptr<MenuPicture>& slot, const char* name) {
    if (!slot)
        if (MenuCanvas* canvas = GetMenuCanvas()) slot.reset(canvas->LoadPicture(SharedString(name), kFlipRows));
    return slot.get();
}

} // namespace

FrontEndPage::SharedDecorations& FrontEndPage::Shared() {
    static SharedDecorations shared;
    return shared;
}

void FrontEndPage::LoadSharedPictures() {
    SharedDecorations& shared = Shared();
    SharedPictures& owned = OwnedPictures();
    const bool first = !owned.streakPictures[0] && !owned.streakPictures[1];
    MenuPicture* streak1 = LoadIfEmpty(owned.streakPictures[0], "MDeco1.ZKT");
    MenuPicture* streak2 = LoadIfEmpty(owned.streakPictures[1], "MDeco2.ZKT");
    for (int i = 0; i < kStreakCount; ++i) {
        Streak& streak = shared.streaks[i];
        streak.picture = i < 2 ? streak1 : streak2;
        if (first) streak = Streak{streak.picture, 0, 0, 0, 0, 0, 0, 0, 5.0f * Random01()};
    }
    shared.sweepers[0].picture = LoadIfEmpty(owned.sweeperPictures[0], "MDeco3.ZKT");
    shared.sweepers[1].picture = LoadIfEmpty(owned.sweeperPictures[1], "MDeco4.ZKT");
    shared.back = LoadIfEmpty(owned.back, "Back.ZKT");
}

void FrontEndPage::ReleaseSharedPictures() {
    OwnedPictures() = SharedPictures{};
    Shared() = SharedDecorations{};
}

FrontEndPage::FrontEndPage(const EngineServices& engine_, const SharedString& screenName,
                           const SharedString& backgroundName)
    : MenuScreen(screenName, backgroundName), engine(engine_) {
    LoadSharedPictures();
}

FrontEndPage::~FrontEndPage() = default;

// ---------------------------------------------------------------------------------------------
// The frame

void FrontEndPage::HandleInput() {
    MenuScreen::HandleInput();
    InputDevice* input = engine.input;
    if (!input) return;

    if (QuickStartOnPause()) return;

    if (backPictureShown && input->MousePressed(0)) {
        const Point2i* cursor = input->GetCursorPosition();
        if (cursor && cursor->x >= 0 && cursor->x < kBackCornerRight && cursor->y >= kBackCornerTop &&
            cursor->y < kBackCornerBottom && engine.states)
            engine.states->PopMLP();
    }
}

bool FrontEndPage::QuickStartOnPause() {
    // Free drive, unless a game is running and can be resumed.
    InputDevice* input = engine.input;
    if (!input || !input->Pressed(kPauseKey)) return false;
    FrontEnd* frontEnd = FrontEnd::Get();
    if (!frontEnd || frontEnd->ResumeEnabled()) return false;
    frontEnd->StartMission(8, 0, 10020);
    return true;
}

void FrontEndPage::Update() {
    const float dt = engine.FrameTime();
    MenuScreen::Update();
    boxFrame.Update(dt);
    pageTime += dt;
    widgetSlides.UpdateWidgets(dt);
    pictureSlides.UpdatePictures(dt);
    UpdateStreaks(dt);
    UpdateSweepers(dt);
}

void FrontEndPage::UpdateStreaks(float dt) {
    SharedDecorations& shared = Shared();
    MenuCanvas* canvas = GetMenuCanvas();
    for (int i = 0; i < kStreakCount; ++i) {
        Streak& s = shared.streaks[i];
        if (s.timer > 0.0f) {
            s.timer -= dt;
            s.x += s.vx * dt;
            s.y += s.vy * dt;
            continue;
        }
        // A new flight, the random numbers drawn in this order.
        s.timer = 2.0f * Random01() + 2.5f;
        const float scale = 2.0f * Random01() + 0.5f;
        s.width = float(s.picture ? s.picture->Width() : 0) * scale;
        s.height = float(s.picture ? s.picture->Height() : 0) * scale;
        if (i < 2) {
            s.x = -s.width;
            s.y = (250.0f * Random01() + 200.0f) - s.height;
            s.vx = 1000.0f * Random01() + 1250.0f;
        } else {
            s.x = float(canvas ? canvas->ScreenWidth() : 800);
            s.y = 250.0f * Random01() + 200.0f;
            s.vx = -1250.0f - 1000.0f * Random01();
        }
        s.vy = 0.0f;
        s.alpha = 0.2f * Random01() + 0.05f;
    }
}

void FrontEndPage::UpdateSweepers(float dt) {
    SharedDecorations& shared = Shared();
    shared.phases[0] += dt;
    shared.phases[1] += 2.1f * dt;
    shared.sweepers[0].position = (std::sin(shared.phases[0]) + 1.0f) * 300.0f;
    shared.sweepers[1].position = (std::sin(shared.phases[1]) + 1.0f) * 300.0f;
}

void FrontEndPage::Activate() {
    MenuScreen::Activate();
    widgetSlides.Reset();
    pictureSlides.Reset();
    boxFrame.Reset();
    pageTime = 0.0f;
}

void FrontEndPage::DrawBackground() {
    MenuScreen::DrawBackground();
    boxFrame.Draw();
    pictureSlides.DrawPictures(1.0f - fade);
    DrawShared(backPictureShown);
}

void FrontEndPage::DrawShared(bool backPicture) {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    const SharedDecorations& shared = Shared();
    for (const Streak& s : shared.streaks) {
        if (!s.picture) continue;
        Color white;
        white.a = uint8_t(int32_t(s.alpha * 255.0f));
        canvas->DrawSpriteStretched(s.picture, {s.x, s.y, s.x + s.width, s.y + s.height}, &white, kMenuDrawAlpha);
    }
    if (shared.sweepers[0].picture)
        canvas->DrawSprite(shared.sweepers[0].picture, nullptr, {0.0f, shared.sweepers[0].position}, nullptr, 0);
    if (shared.sweepers[1].picture)
        canvas->DrawSprite(shared.sweepers[1].picture, nullptr, {shared.sweepers[1].position, 0.0f}, nullptr, 0);
    if (backPicture && shared.back)
        canvas->DrawSpriteAnchored(shared.back, nullptr, kBottomLeft, {0.0f, 0.0f}, kBottomLeft, nullptr, 0);
}

// ---------------------------------------------------------------------------------------------
// Layout

void FrontEndPage::LayOutOptionRows() {
    if (widgets.empty()) return;
    const size_t last = widgets.size() - 1;
    for (size_t k = 0; k < last; ++k)
        widgets[k]->SetPosition({kRowX, int32_t(kRowTop + kRowStep * float(k))}, false);
    widgets[last]->SetPosition(kLastRow, false);
    AddHotKey(kEscapeKey, int32_t(last));
    AddHotKey(kBackspaceKey, int32_t(last));
}
