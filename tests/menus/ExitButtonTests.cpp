#include <cmath>

#include "MenuFixture.h"
#include "engine/core/ExitButton.h"

using namespace menu_test;

namespace {

using Values = std::vector<std::string>;

class ExitTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        Texts("Y", "N");
        screen = RootScreen();
        other = new ProbeWidget("Other");
        other->SetPosition({0, 0}, false);
        button = new ExitButton(SharedString("Quit"), &option);
        button->SetPosition({0, 100}, false);
        screen->AddWidget(other);
        screen->AddWidget(button);
        screen->AddHotKey(kHotKey, 0);
        screen->defaultFocus = 1;
        screen->Activate();
    }
    void Texts(const char* quitKey, const char* stayKey) {
        auto& t = engine->languageKeys.entries;
        t[165] = SharedString("Really quit?");
        t[560] = SharedString("Yes");
        t[561] = SharedString("No");
        t[562] = SharedString(quitKey);
        t[563] = SharedString(stayKey);
    }
    void Open() {
        input.pressed = {kKeyReturn};
        Frame();
        ASSERT_TRUE(button->IsOpen());
        option.values.clear();
    }
    static constexpr uint32_t kHotKey = 40;
    RecordingOption option;
    MenuScreen* screen = nullptr;
    ProbeWidget* other = nullptr;
    ExitButton* button = nullptr;
};

} // namespace

TEST_F(ExitTest, ReturnOpensWithStayLitAndASecondReturnStays) {
    EXPECT_EQ(option.widget, button);
    input.pressed = {kKeyReturn};
    Frame();
    EXPECT_TRUE(button->IsOpen());
    EXPECT_EQ(button->Highlighted(), ExitButton::kStay);
    EXPECT_EQ(option.values, Values{"0"});
    EXPECT_EQ(sound.Plays("Exit.WAV"), 1);
    EXPECT_FALSE(screen->navigation);
    EXPECT_FALSE(screen->mouseSelect);
    EXPECT_TRUE(screen->showCursor) << "the cursor stays";

    // While open the screen's keys do nothing: no hot key, no Up/Down.
    input.pressed = {kHotKey, kKeyUp};
    Frame();
    EXPECT_EQ(screen->selected, 1);
    EXPECT_TRUE(other->fired.empty());

    input.pressed = {kKeyReturn};
    Frame();
    EXPECT_FALSE(button->IsOpen());
    EXPECT_EQ(option.values, (Values{"0", "3"}));
    EXPECT_EQ(sound.Plays("Click.WAV"), 1);
    EXPECT_TRUE(screen->navigation && screen->mouseSelect);
    EXPECT_TRUE(engine->IsRunning());
}

TEST_F(ExitTest, EscapeAndBackspaceCloseWithoutAValue) {
    for (uint32_t key : {kKeyEscape, kKeyBackspace}) {
        Open();
        Press(key);
        EXPECT_FALSE(button->IsOpen()) << key;
        EXPECT_TRUE(option.values.empty());
    }
    EXPECT_TRUE(engine->IsRunning());
}

TEST_F(ExitTest, AnswerKeysArrowsAndButtons) {
    struct Case {
        const char* what;
        std::function<void(FakeInputDevice&)> act;
        Values values;
        bool running, open;
    } cases[] = {
        {"quit key", [](FakeInputDevice& in) { in.pressed = {24}; }, {"2"}, false, true},
        {"stay key", [](FakeInputDevice& in) { in.pressed = {13}; }, {"3"}, true, false},
        {"Right flips to quit", [](FakeInputDevice& in) { in.pressed = {kKeyRight}; }, {"1"}, true, true},
        {"button 2 answers stay", [](FakeInputDevice& in) { in.mousePressed = {2}; }, {"3"}, true, false},
        {"flip then Enter quits",
         [](FakeInputDevice& in) { in.pressed = {kKeyLeft, kKeyPadEnter}; }, {"1", "2"}, false, true},
    };
    for (const Case& c : cases) {
        engine->engineFlags |= ZKEngine::kRunning;
        if (!button->IsOpen()) Open();
        button->dialogState = ExitButton::kOpen | ExitButton::kStay;
        option.values.clear();
        const int clicks = sound.Plays("Click.WAV");
        c.act(input);
        Frame();
        EXPECT_EQ(option.values, c.values) << c.what;
        EXPECT_EQ(engine->IsRunning(), c.running) << c.what;
        EXPECT_EQ(button->IsOpen(), c.open) << c.what;
        if (std::string(c.what) == "Right flips to quit") {
            EXPECT_EQ(button->Highlighted(), ExitButton::kQuit);
            EXPECT_EQ(sound.Plays("Click.WAV"), clicks + 2);
        }
    }
}

TEST_F(ExitTest, HoveringAnAnswerLightsItAndAClickTakesIt) {
    Open();
    // Answers on an 800 x 600 screen: "Yes" at 310..334, "No" at 464..480, y 324..340.
    input.cursor = {315, 330};
    Frame();
    EXPECT_EQ(button->Highlighted(), ExitButton::kStay) << "the mouse did not move";
    input.mouse.x = 2;
    Frame();
    EXPECT_EQ(button->Highlighted(), ExitButton::kQuit);
    EXPECT_EQ(option.values, Values{"1"});
    EXPECT_EQ(sound.Plays("Click.WAV"), 1);
    input.mouse.y = 1;
    Frame();
    EXPECT_EQ(option.values, Values{"1"}) << "already lit";

    input.cursor = {470, 339};
    input.mousePressed = {0};
    Frame();
    EXPECT_EQ(option.values, (Values{"1", "1", "3"}));
    EXPECT_FALSE(button->IsOpen());

    Open();
    input.cursor = {333, 324};
    input.mousePressed = {0};
    Frame();
    EXPECT_EQ(option.values, (Values{"1", "2"}));
    EXPECT_FALSE(engine->IsRunning());
}

TEST_F(ExitTest, AnswerKeysComeOnlyFromCapitalLetters) {
    struct Case {
        const char* text;
        int32_t key;
    } cases[] = {{"Q", 16}, {"Yes", 24}, {"A", 0}, {"Z", 25}, {"yes", -1}, {"", -1}, {"1", -1}, {"[", -1}};
    for (const Case& c : cases) EXPECT_EQ(ExitButton::KeyOfText(SharedString(c.text)), c.key) << c.text;

    Texts("quit", "Q");
    testing_support::LogCapture log;
    Open();
    EXPECT_TRUE(log.Contains("MENU: text 562 (\"quit\")"));
    input.pressed = {16}; // Q: the stay key now
    Frame();
    EXPECT_FALSE(button->IsOpen());
    EXPECT_TRUE(engine->IsRunning());
}

TEST_F(ExitTest, TheCoverFadesInToThreeQuartersAndOutFasterAndIsDrawnOverAll) {
    Open();
    button->overlay = 0.0f;
    engine->frameTime = 0.125f;
    const float in[] = {0.25f, 0.5f, 0.75f, 0.75f};
    for (float expected : in) {
        button->Update();
        EXPECT_FLOAT_EQ(button->overlay, expected);
    }
    canvas.calls.clear();
    button->pulse = 0.5f;
    button->Draw(1.0f);
    const std::vector<std::string> kinds = canvas.Kinds();
    ASSERT_EQ(kinds, (std::vector<std::string>{"text Quit", "fill ", "anchored Exit.ZKT", "text Really quit?",
                                               "text Yes", "text No"}));
    const uint8_t s = uint8_t(std::sqrt(0.75f) * 255.0f);
    EXPECT_EQ(canvas.calls[1].color.a, 191);
    EXPECT_EQ(canvas.calls[1].color.r, 0);
    EXPECT_EQ(canvas.calls[2].anchor, kMenuAnchorCentre);
    EXPECT_EQ(canvas.calls[2].color.a, s);
    EXPECT_EQ(canvas.calls[3].x, -48.0f); // "Really quit?" is 96 wide
    EXPECT_EQ(canvas.calls[3].y, -32.0f);
    EXPECT_EQ(canvas.calls[4].x, -85.0f);
    EXPECT_EQ(canvas.calls[4].color.a, s);
    EXPECT_EQ(canvas.calls[5].x, 65.0f);
    EXPECT_EQ(canvas.calls[5].y, 22.0f);
    EXPECT_EQ(canvas.calls[5].color.a, uint8_t(std::sqrt(0.75f) * 0.5f * 255.0f)) << "the lit answer pulses";

    Press(kKeyEscape);
    ASSERT_FALSE(button->IsOpen());
    button->overlay = 0.75f;
    const float out[] = {0.375f, 0.0f, 0.0f};
    for (float expected : out) {
        button->Update();
        EXPECT_FLOAT_EQ(button->overlay, expected);
    }
    canvas.calls.clear();
    button->Draw(1.0f);
    EXPECT_EQ(canvas.calls.size(), 1u);
}
