#pragma once
// The screen class of the game's menus: a menu screen over the game's animated background.
// On top of the menu toolkit's screen it has slide-ins for its widgets and pictures, a box
// frame, four streaks that fly across the screen and two bars that sweep over it (both shared
// by every page and carried on by whichever page is current), an optional Back picture in the
// bottom-left corner that pops the page when clicked, and the quick-start key: Pause on any
// page, while no game can be resumed, starts free drive.
#include <cstdint>

#include "engine/core/EngineServices.h"
#include "engine/core/MenuScreen.h"
#include "game/frontend/Decorations.h"

class FrontEndPage : public MenuScreen {
public:
    // Engine keys the pages read.
    static constexpr uint32_t kPauseKey = 51;
    static constexpr int32_t kEscapeKey = 48;
    static constexpr int32_t kBackspaceKey = 53;
    // The clickable Back corner: x 0..63, y 536..599 of the 800 x 600 menu screen.
    static constexpr int32_t kBackCornerRight = 64;
    static constexpr int32_t kBackCornerTop = 536;
    static constexpr int32_t kBackCornerBottom = 600;

    // A streak: a picture flying across the screen, respawned when its timer runs out.
    struct Streak {
        MenuPicture* picture = nullptr;
        float x = 0.0f, y = 0.0f;
        float vx = 0.0f, vy = 0.0f;
        float width = 0.0f, height = 0.0f;
        float alpha = 0.0f;
        float timer = 0.0f;
    };
    static constexpr int kStreakCount = 4;
    // A bar sweeping over the screen: the first moves down and up at (0, position), the second
    // right and left at (position, 0).
    struct Sweeper {
        MenuPicture* picture = nullptr;
        float position = 0.0f;
    };
    // The decorations every page shares.
    struct SharedDecorations {
        Streak streaks[kStreakCount];
        Sweeper sweepers[2];
        float phases[2] = {0.0f, 0.0f};
        MenuPicture* back = nullptr;
    };

    // The engine's services outlive the page.
    FrontEndPage(const EngineServices& engine, const SharedString& screenName, const SharedString& backgroundName);
    ~FrontEndPage() override;

    void HandleInput() override;
    void Update() override;
    void Activate() override;
    void DrawBackground() override;

    // The option rows of the video and audio pages: every widget but the last at x 270, one
    // row every 27 pixels from y 180; the last (the back button) at (650, 485) with Escape and
    // Backspace as its hot keys.
    void LayOutOptionRows();

    // The shared streaks, sweepers and Back picture (loaded by the first page made).
    static SharedDecorations& Shared();
    // Gives the shared pictures back; the next page made loads them again (tests, or before the
    // renderer goes away).
    static void ReleaseSharedPictures();

    DecorationList widgetSlides;
    DecorationList pictureSlides;
    BoxFrame boxFrame;
    // Seconds since the page was last activated.
    float pageTime = 0.0f;
    // Draw "Back.ZKT" and pop the page on a click in the corner.
    bool backPictureShown = false;

protected:
    // The quick-start key: true when it started the free drive.
    bool QuickStartOnPause();

    const EngineServices& engine;

private:
    static void LoadSharedPictures();
    static void UpdateStreaks(float dt);
    static void UpdateSweepers(float dt);
    static void DrawShared(bool backPicture);
};
