#pragma once
// The score screen after a won single-player mission. It shows the mission's table of the five
// best scores when the score enters it and lets the player type a name for the new row (cut to
// 240 pixels; a confirm commits it, a second confirm leaves); it advances the career when the
// mission won is the highest unlocked one; then, after a fade to black, it goes on to the
// mission's ending picture (a mission whose text B + 40 is "UNLOCK"), to the credits and the end
// screen (the career's end) or to the next mission's loading screen.
//
// A mission without a score table (beyond the language's mission count, like the quick start's)
// shows no table and changes no career value.
#include <cstdint>

#include "engine/core/InputDevice.h"
#include "engine/core/MenuScreen.h"
#include "engine/core/SharedString.h"
#include "game/frontend/SettingsFile.h"

class FrontEnd;

class SpScoreScreen : public MenuScreen {
public:
    static constexpr float kNameWidth = 240.0f;
    static constexpr float kTableX = 100.0f;
    static constexpr float kTableY = 200.0f;

    // The front end outlives the screen. The score and car name are the won mission's.
    SpScoreScreen(FrontEnd& frontEnd, float score, const SharedString& carName);
    // Takes the name listener off the input device when it is still registered.
    ~SpScoreScreen() override;

    void HandleInput() override;
    void Update() override;
    void Activate() override;
    void DrawBackground() override;

    // The name typed so far (the listener's text).
    const SharedString& TypedName() const { return listener_.text; }
    bool Listening() const { return listening_; }

    uint8_t unlockShown = 0;
    uint8_t committed = 0;
    float fadeLevel = 1.0f;
    float unlockAlpha = 0.0f;
    float highlight = 0.0f;
    int32_t done = 0;
    // The fade to black before the next screen: 1 black.
    float outgoingFade = 1.0f;
    float score = 0.0f;
    SharedString carName;
    Vector2 tablePosition{kTableX, kTableY};
    SharedString typedName;
    float pulse = 0.0f;
    uint8_t enteredTable = 0;
    int32_t rank = -1;
    int32_t mission = 0;

private:
    void StopListening();
    void GoOn();
    // The table's texts, made when the score enters it.
    void FormatRows();
    // The typed name followed by the cursor, made again only when the name changes.
    const SharedString& TypedWithCursor();

    struct RowTexts {
        SharedString number[kHighScoreEntries], car[kHighScoreEntries], score[kHighScoreEntries];
        SharedString ownCar, ownScore;
    };
    RowTexts rowTexts_;
    SharedString typedSource_, typedShown_;

    FrontEnd& frontEnd_;
    TextListener listener_;
    bool listening_ = false;
};
