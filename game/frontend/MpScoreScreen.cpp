#include "game/frontend/MpScoreScreen.h"

#include "engine/core/MenuCanvas.h"
#include "game/frontend/FrontEnd.h"

namespace {

enum class Field { Name, Score, Wrecked, Pedestrians };

struct Column {
    int32_t heading;
    float x;
    Field field;
};

// The columns of a game kind; none for kinds outside the network games.
std::vector<Column> ColumnsOf(int32_t kind) {
    switch (kind) {
    case 14:
    case 15:
        return {{MpScoreScreen::kNameHeading, 225.0f, Field::Name}, {MpScoreScreen::kScoreHeading, 525.0f, Field::Score}};
    case 16:
    case 17:
        return {{MpScoreScreen::kNameHeading, 225.0f, Field::Name},
                {MpScoreScreen::kWreckedHeading, 525.0f, Field::Wrecked},
                {MpScoreScreen::kPedestriansHeading, 650.0f, Field::Pedestrians},
                {kind == 16 ? MpScoreScreen::kMoneyScoreHeading : MpScoreScreen::kTeamScoreHeading, 825.0f, Field::Score}};
    default: return {};
    }
}

SharedString FieldText(const MultiplayerScoreRow& row, Field field) {
    switch (field) {
    case Field::Name: return row.name;
    case Field::Score: return SharedString::Format("%d", row.score);
    case Field::Wrecked: return SharedString::Format("%d", row.wrecked);
    case Field::Pedestrians: return SharedString::Format("%d", row.pedestrians);
    }
    return SharedString();
}

} // namespace

MpScoreScreen::MpScoreScreen(FrontEnd& frontEnd, const Font* titleFont)
    : EndScreen(frontEnd, SharedString("MPScore"), SharedString("MPScoreMenu.ZKT")), titleFont_(titleFont) {}

void MpScoreScreen::DrawBackground() {
    // The end screen's picture without its black fade.
    MenuScreen::DrawBackground();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    Color white;
    white.a = menu_detail::AlphaByte(1.0f - fade);

    auto centred = [&](const SharedString& text, float x, float y) {
        const float width = float(canvas->TextWidth(titleFont_, text));
        canvas->DrawText(text, {x - width * 0.5f, y}, kMenuAnchorTopLeft, &white, titleFont_, true);
    };
    centred(titles[0], 200.0f, 100.0f);
    centred(titles[2], 600.0f, 100.0f);
    if (rows.size() > 1) {
        centred(titles[1], 200.0f, 125.0f);
        centred(titles[3], 600.0f, 125.0f);
    }

    const std::vector<Column> columns = ColumnsOf(kind);
    if (columns.empty()) return;
    const EngineServices& engine = frontEnd_.engine;
    for (const Column& c : columns)
        canvas->DrawText(engine.Text(c.heading), {c.x, kHeadingsY}, kMenuAnchorTopLeft, &white, nullptr, true);

    const float step = 1.25f * float(canvas->FontSize(nullptr));
    float y = kHeadingsY;
    const bool teams = kind == 17;
    for (size_t i = 0; i < rows.size(); ++i) {
        // A team's heading starts its rows.
        if (teams && (i == 0 || rows[i].rankKey != rows[i - 1].rankKey)) {
            y += step;
            canvas->DrawText(SharedString::Format("Team : %d", rows[i].rankKey), {225.0f, y}, kMenuAnchorTopLeft,
                             &white, nullptr, true);
        }
        y += step;
        for (const Column& c : columns)
            canvas->DrawText(FieldText(rows[i], c.field), {c.x, y}, kMenuAnchorTopLeft, &white, nullptr, true);
    }
}
