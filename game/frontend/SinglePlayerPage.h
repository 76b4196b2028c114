#pragma once
// The single-player page: the car choice, the mission choice, the 3-D car carousel with the
// drivers' portraits beside it, four arrow buttons (previous and next car, back, start) and the
// start of a mission. Missions are open up to the highest unlocked one of the settings; the page
// opens on the mission last played. Return or keypad Enter starts the chosen mission from any
// widget, Escape returns to the main page.
//
// Language texts: 60 the info line's caption, 61 and 62 the car and mission choices' captions,
// 7770000 + i the name of catalogue car i, 9980000 the mission count, and per mission m in its
// block B = 9990000 + 100 m: B + 10 the count of offered cars and B + 11 on their names, B + 20
// the mission's name, B + 30 its respawn zone counted from 1.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/EngineServices.h"
#include "engine/core/MenuOption.h"
#include "engine/core/MenuScreen.h"
#include "game/frontend/CarSelectView.h"

class ChoiceWidget;
class FrontEnd;
class MenuPicture;

class SinglePlayerPage : public MenuScreen {
public:
    // Widgets, in list order (the arrows come with the first activation).
    enum WidgetIndex : int32_t { kCarChoice, kMissionChoice, kPreviousCar, kNextCar, kBack, kStart };
    static constexpr int32_t kMissionBlock = 9990000;
    static constexpr int32_t kMissionStride = 100;
    // The carousel's part of the screen.
    static constexpr Rect kViewRect{354, 159, 680, 342};

    // A button's action.
    class Action : public MenuOption {
    public:
        void Execute() override {
            if (run) run();
        }
        std::function<void()> run;
    };

    // The front end outlives the page; its settings' car and mission options are bound here.
    explicit SinglePlayerPage(FrontEnd& frontEnd);
    ~SinglePlayerPage() override;

    // Builds the two choices (once, after the front end has made its screens).
    void Fill();
    // Starts the chosen mission: the career's current episode and mission and the last played
    // mission become it, the game gets the carousel's car and the mission's respawn zone, and
    // the mission's loading screen is pushed. Nothing without a mission to choose.
    void StartGame();

    void HandleInput() override;
    void Update() override;
    void Activate() override;
    void DrawWidgets() override;

    // The car choice's items enabled exactly for the unlocked cars.
    void RefreshCarItems();

    CarSelectView view;
    ChoiceWidget* carChoice = nullptr;
    ChoiceWidget* missionChoice = nullptr;
    // The environment cube's preview is drawn at the next update.
    uint8_t previewPending = 1;
    uint8_t firstActivation = 1;
    struct Portrait {
        std::unique_ptr<MenuPicture> picture;
        float alpha = 0.0f;
    };
    std::vector<Portrait> portraits;
    Action previousCar, nextCar, back, start;

private:
    void OnMissionChosen(int32_t mission);
    void OnCarChosen(int32_t car);

    FrontEnd& frontEnd_;
    const EngineServices& engine_;
    // The info line's caption and the cars' names in lower case, read once.
    SharedString carCaption_;
    std::vector<SharedString> carNames_;
};
