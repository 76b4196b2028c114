#pragma once
// The final table of a network game: two title lines a side, the column headings of the game
// kind and a row per player in the order the mode stored them; in the team game a heading
// starts each team. Confirm or Escape pops it, as on the end screen.
#include <cstdint>
#include <vector>

#include "game/frontend/EndScreen.h"
#include "game/play/MultiplayerScore.h"

class Font;

class MpScoreScreen : public EndScreen {
public:
    // Column headings: name, wrecked cars, pedestrians, score, money.
    static constexpr int32_t kNameHeading = 112233440;
    static constexpr int32_t kWreckedHeading = 112233443;
    static constexpr int32_t kPedestriansHeading = 112233444;
    static constexpr int32_t kScoreHeading = 112233445;
    static constexpr int32_t kMoneyScoreHeading = 112233446;
    static constexpr int32_t kTeamScoreHeading = 112233447;
    static constexpr float kHeadingsY = 200.0f;

    // titleFont: the large font of the titles (null: the default font).
    MpScoreScreen(FrontEnd& frontEnd, const Font* titleFont);

    // The picture, then the table.
    void DrawBackground() override;

    SharedString titles[4];
    std::vector<MultiplayerScoreRow> rows;
    int32_t kind = 0;

private:
    const Font* titleFont_;
};
