// The option pages built by the whole front end on a headless engine: the tab bar the video,
// audio and controls pages share (keys, pointer, fades and where each way leads), and the
// controls page's rows, schemes and default keys.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "engine/core/KeyBindWidget.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/OptionPages.h"
#include "game/play/MissionLoadingScreen.h"
#include "tests/frontend/PageFixture.h"
#include "tests/frontend/SettingsFixture.h"
#include "tests/support/FrameSchedule.h"

using namespace page_test;

namespace {

// A voice that tells its device's list its name each time it plays.
class NamedVoice : public NullAudioVoice {
public:
    NamedVoice(std::string voiceName, std::vector<std::string>* played) : name_(std::move(voiceName)), played_(played) {}
    AudioVoice* Clone() override { return new NamedVoice(name_, played_); }
    void Play(bool) override { played_->push_back(name_); }

private:
    std::string name_;
    std::vector<std::string>* played_;
};

class NamedSoundDevice : public testing_support::FakeAudioDevice {
public:
    AudioVoice* CreateSound(const SharedString& name, bool, bool, bool) override {
        voices.push_back(new NamedVoice(name.c_str(), &played));
        return voices.back();
    }
    std::vector<std::string> played;
};

constexpr uint32_t kPageUp = OptionPage::kPageUpKey;
constexpr uint32_t kPageDown = OptionPage::kPageDownKey;
constexpr int32_t kVideo = OptionPage::kVideoTab, kAudio = OptionPage::kAudioTab,
                  kControls = OptionPage::kControlsTab, kBack = OptionPage::kBackTab;

int Count(const std::vector<std::string>& played, const char* name) {
    return int(std::count(played.begin(), played.end(), std::string(name)));
}

Point2i InsideTab(int32_t tab) {
    const Rect& r = OptionPage::kTabRects[tab];
    return {r.left + 5, r.top + 5};
}

class OptionPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        engine->sound = &named;
        engine->renderer = &renderer;
        settings_test::FillTexts(engine->languageKeys.entries, 4);
        for (int32_t line = 0; line < 4; ++line)
            engine->languageKeys.entries[800030 + line] = SharedString::Format("help %d", line);
        dir.WriteBytes("Misc/readme.txt", "");
        frontEnd = std::make_unique<FrontEnd>(engine->Services());
        frontEnd->CreateFrontEnd();
        engine->mlpStack.clear();
        engine->SetMLP(frontEnd->mainPage);
    }
    void TearDown() override {
        Settle();
        engine->mlpStack.clear();
        engine->currentMLP = engine->previousMLP = nullptr;
        frontEnd.reset();
        engine->renderer = nullptr;
        engine->sound = &sound;
        PageTest::TearDown();
    }
    // Screens load on threads of their own: each is waited for before anything frees it.
    void Settle() {
        if (!frontEnd) return;
        for (MLP* screen : std::initializer_list<MLP*>{frontEnd->mainPage, Page(kVideo), Page(kAudio), Page(kControls),
                                                       frontEnd->missionLoadingScreen})
            if (screen) ASSERT_TRUE(screen->WaitForInit(10.0f));
    }
    OptionPage* Page(int32_t tab) const {
        switch (tab) {
        case kVideo: return frontEnd->videoPage;
        case kAudio: return frontEnd->audioPage;
        case kControls: return frontEnd->controlsPage;
        default: return nullptr;
        }
    }
    void FrameOf(float dt) {
        engine->frameTime = dt;
        Frame();
    }
    // The page pushed over the main page (as the Options link does), faded in.
    OptionPage& Open(int32_t tab) {
        OptionPage& page = *Page(tab);
        input.cursor = {0, 0};
        engine->PushMLP(&page);
        for (int i = 0; i < 64 && page.tabState != OptionPage::kIdle; ++i) Frame();
        EXPECT_EQ(page.tabState, OptionPage::kIdle);
        EXPECT_EQ(page.tabFade, 0.0f);
        named.played.clear();
        return page;
    }
    void Click(int32_t tab) {
        input.cursor = InsideTab(tab);
        input.mouseReleased = {0};
    }
    // The screens under the current one, bottom first.
    std::vector<MLP*> Under() const { return {engine->mlpStack.begin(), engine->mlpStack.end()}; }

    NamedSoundDevice named;
    settings_test::RecordingRenderer renderer;
    std::unique_ptr<FrontEnd> frontEnd;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The tab bar

// Page Up and Page Down walk the tabs round, never onto the page's own, each step with the
// roll-over sound.
TEST_F(OptionPageTest, PageUpAndDownStepOverThePagesOwnTab) {
    const struct {
        int32_t page;
        uint32_t key;
        std::vector<int32_t> steps;
    } cases[] = {
        {kVideo, kPageDown, {kAudio, kControls, kBack, kAudio}},   {kVideo, kPageUp, {kBack, kControls, kAudio, kBack}},
        {kAudio, kPageDown, {kControls, kBack, kVideo, kControls}}, {kAudio, kPageUp, {kVideo, kBack, kControls, kVideo}},
        {kControls, kPageDown, {kBack, kVideo, kAudio, kBack}},    {kControls, kPageUp, {kAudio, kVideo, kBack, kAudio}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "page " << c.page << ", key " << c.key);
        OptionPage& page = Open(c.page);
        EXPECT_EQ(page.highlighted, c.page);
        std::vector<int32_t> seen;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            input.pressed = {c.key};
            Frame();
            seen.push_back(page.highlighted);
        }
        EXPECT_EQ(seen, c.steps);
        EXPECT_EQ(named.played, std::vector<std::string>(c.steps.size(), "RollOver.WAV"));
        EXPECT_EQ(engine->currentMLP, &page) << "stepping leaves nothing";
        frontEnd->PopToMainPage();
    }
}

// A click on another page's tab, or Return once the keys have highlighted it, shows that page
// in the same frame without a fade; it takes input at once; the main page stays under it.
TEST_F(OptionPageTest, ATabSwitchesAtOnceWithoutAFade) {
    for (int32_t from : {kVideo, kAudio, kControls})
        for (int32_t to : {kVideo, kAudio, kControls}) {
            if (from == to) continue;
            for (bool byKeys : {false, true}) {
                SCOPED_TRACE(::testing::Message() << from << " to " << to << (byKeys ? " by keys" : " by a click"));
                OptionPage& page = Open(from);
                if (byKeys) {
                    while (page.highlighted != to) {
                        input.pressed = {kPageDown};
                        Frame();
                    }
                    input.pressed = {kKeyReturn};
                } else {
                    Click(to);
                }
                named.played.clear();
                Frame();
                OptionPage& target = *Page(to);
                ASSERT_EQ(engine->currentMLP, &target);
                EXPECT_EQ(Under(), std::vector<MLP*>{frontEnd->mainPage});
                EXPECT_EQ(target.tabState, OptionPage::kIdle);
                EXPECT_EQ(target.tabFade, 0.0f);
                EXPECT_EQ(target.fade, 0.0f);
                EXPECT_EQ(target.highlighted, to);
                if (!byKeys) EXPECT_EQ(named.played.front(), "Click.WAV");
                input.cursor = {0, 0};
                input.pressed = {kPageDown};
                Frame();
                EXPECT_NE(target.highlighted, to) << "the page takes input in its first frame";
                frontEnd->PopToMainPage();
            }
        }
}

// The pointer over another tab highlights it with one roll-over sound, however long it stays;
// the page's own tab is no tab to it.
TEST_F(OptionPageTest, ThePointerHighlightsTheOtherTabs) {
    OptionPage& page = Open(kAudio);
    input.cursor = InsideTab(kAudio);
    Frame();
    EXPECT_EQ(page.highlighted, kAudio);
    EXPECT_TRUE(named.played.empty());
    for (int i = 0; i < 3; ++i) {
        input.cursor = InsideTab(kBack);
        Frame();
    }
    EXPECT_EQ(page.highlighted, kBack);
    EXPECT_EQ(named.played, std::vector<std::string>{"RollOver.WAV"});
    // Right and bottom edges are outside.
    input.cursor = {OptionPage::kTabRects[kVideo].right, OptionPage::kTabRects[kVideo].top};
    Frame();
    input.cursor = {OptionPage::kTabRects[kVideo].left, OptionPage::kTabRects[kVideo].bottom};
    Frame();
    EXPECT_EQ(page.highlighted, kBack);
    input.cursor = {OptionPage::kTabRects[kVideo].left, OptionPage::kTabRects[kVideo].top};
    Frame();
    EXPECT_EQ(page.highlighted, kVideo);
}

// Back (clicked, or Return on it) and Escape fade the page to black in half a second, at
// steady and uneven frame times, ignoring every key and click meanwhile; then the main page,
// alone and faded out, fades in. Reopened, the page fades in again.
TEST_F(OptionPageTest, BackAndEscapeFadeOutInHalfASecondToTheMainPage) {
    enum Way { ClickBack, ReturnOnBack, Escape };
    const testing_support::FrameSchedule schedules[] = {testing_support::SteadyFrames("1/64", kFrame),
                                                        testing_support::UnevenFrames()};
    for (int32_t tab : {kVideo, kAudio, kControls})
        for (Way way : {ClickBack, ReturnOnBack, Escape})
            for (const auto& schedule : schedules) {
                SCOPED_TRACE(::testing::Message() << "page " << tab << ", way " << way << ", " << schedule.name);
                OptionPage& page = Open(tab);
                if (way == ClickBack) {
                    Click(kBack);
                } else if (way == ReturnOnBack) {
                    input.pressed = {kPageUp};
                    while (page.highlighted != kBack) {
                        Frame();
                        input.pressed = {kPageUp};
                    }
                    input.pressed = {kKeyReturn};
                } else {
                    input.pressed = {kKeyEscape};
                }
                FrameOf(schedule(0));
                EXPECT_EQ(page.tabState, OptionPage::kFadingOut);
                EXPECT_EQ(page.highlighted, kBack);
                EXPECT_EQ(Count(named.played, "Click.WAV"), way == ReturnOnBack ? 0 : 1);
                named.played.clear();
                float elapsed = schedule(0);
                int32_t frame = 1;
                for (; engine->currentMLP == &page && frame < 200; ++frame) {
                    // Everything a player might press meanwhile.
                    const int32_t other = tab == kVideo ? kAudio : kVideo;
                    Click(other);
                    input.pressed = {kPageDown, kKeyReturn, kKeyEscape};
                    EXPECT_GT(page.tabFade, 0.0f);
                    const float dt = schedule(frame);
                    elapsed += dt;
                    FrameOf(dt);
                }
                ASSERT_EQ(engine->currentMLP, frontEnd->mainPage);
                EXPECT_GE(elapsed, 0.5f - 1e-4f);
                EXPECT_LT(elapsed, 0.5f + 0.05f);
                EXPECT_TRUE(engine->mlpStack.empty());
                EXPECT_EQ(frontEnd->mainPage->fade, 1.0f) << "the main page fades in";
                EXPECT_EQ(Count(named.played, "Click.WAV") + Count(named.played, "RollOver.WAV"), 0)
                    << "nothing was taken while fading";
                engine->frameTime = kFrame;
                input.mouseReleased.clear();

                engine->PushMLP(&page);
                EXPECT_EQ(page.tabState, OptionPage::kFadingIn);
                EXPECT_EQ(page.tabFade, 1.0f);
                Click(tab == kVideo ? kAudio : kVideo);
                Frame();
                EXPECT_EQ(engine->currentMLP, &page) << "no click while fading in";
                frontEnd->PopToMainPage();
            }
}

// However often the player changes tabs, by pointer or keys, the main page alone stays under
// the page shown.
TEST_F(OptionPageTest, TwentyChangesLeaveTheMainPageUnderThePage) {
    Open(kVideo);
    const int32_t order[] = {kAudio, kControls, kVideo, kControls, kAudio};
    for (int32_t change = 0; change < 20; ++change) {
        const int32_t to = order[change % 5];
        auto* current = static_cast<OptionPage*>(engine->currentMLP);
        if (change % 2 == 0) {
            Click(to);
        } else {
            while (current->highlighted != to) {
                input.pressed = {kPageDown};
                Frame();
            }
            input.pressed = {kKeyPadEnter};
        }
        Frame();
        ASSERT_EQ(engine->currentMLP, Page(to)) << "change " << change;
        ASSERT_EQ(Under(), std::vector<MLP*>{frontEnd->mainPage}) << "change " << change;
    }
    // The back button leads to the main page too.
    OptionPage& page = *static_cast<OptionPage*>(engine->currentMLP);
    page.widgets.back()->Fire(0);
    EXPECT_EQ(engine->currentMLP, frontEnd->mainPage);
}

// The black over the page follows the fade; the controls page draws its four help lines.
TEST_F(OptionPageTest, TheBlackFollowsTheFadeAndTheControlsPageHasItsHelpLines) {
    OptionPage& page = *Page(kControls);
    engine->PushMLP(&page);
    for (int i = 0; i < 8; ++i) Frame();
    canvas.calls.clear();
    page.Render();
    const auto black = canvas.Of("fill");
    ASSERT_EQ(black.size(), 1u);
    EXPECT_EQ(black[0].color.a, menu_detail::AlphaByte(page.tabFade));
    EXPECT_EQ(black[0].color.r, 0);
    EXPECT_NEAR(page.tabFade, 1.0f - 8 * 2 * kFrame, 1e-5f);
    for (int32_t line = 0; line < 4; ++line) {
        const auto help = canvas.Of("text", "help " + std::to_string(line));
        ASSERT_EQ(help.size(), 1u) << line;
        EXPECT_EQ(help[0].x, 280.0f);
        EXPECT_EQ(help[0].y, 450.0f + 15.0f * float(line));
        EXPECT_EQ(help[0].anchor, kMenuAnchorTopLeft);
        EXPECT_EQ(help[0].font, frontEnd->smallFont.get());
    }
    for (int i = 0; i < 40; ++i) Frame();
    canvas.calls.clear();
    page.Render();
    EXPECT_TRUE(canvas.Of("fill").empty()) << "no black once clear";
}

// ---------------------------------------------------------------------------------------------
// The controls page

// Return on the page's own tab is the rows': the chosen row waits for its input. While it
// waits, Escape, the tab keys, a click on a tab and the quick-start key are bound like any other
// input: the page neither leaves nor starts a game.
TEST_F(OptionPageTest, AWaitingRowTakesEveryKeyTheTabBarWouldTake) {
    OptionPage& page = Open(kControls);
    auto* accelerate = dynamic_cast<KeyBindWidget*>(page.widgets[0]);
    ASSERT_NE(accelerate, nullptr);
    ASSERT_EQ(page.selected, 0);
    const struct {
        const char* what;
        uint32_t key;
        bool click;
        InputCode bound;
    } cases[] = {{"Escape", kKeyEscape, false, InputCode(kKeyEscape)},
                 {"Page Down", kPageDown, false, InputCode(kPageDown)},
                 {"Pause", FrontEndPage::kPauseKey, false, InputCode(FrontEndPage::kPauseKey)},
                 {"a click on a tab", 0, true, MouseButtonCode(0)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        input.pressed = {kKeyReturn};
        Frame();
        ASSERT_TRUE(accelerate->waiting);
        EXPECT_EQ(engine->currentMLP, &page);
        if (c.click) {
            Click(kVideo);
            input.mousePressed = {0};
        } else {
            input.pressed = {c.key};
        }
        Frame();
        Frame();
        EXPECT_FALSE(accelerate->waiting);
        EXPECT_EQ(accelerate->binding->primary.code, c.bound);
        EXPECT_EQ(engine->currentMLP, &page);
        EXPECT_EQ(page.tabState, OptionPage::kIdle);
        EXPECT_EQ(frontEnd->missionLoadingScreen, nullptr);
        input.cursor = {0, 0};
    }
}

// SelectScheme: 0 lays the rows out down the page, 1 and 2 move them off the screen; the
// eleven actions the game reads use the scheme's records (Confirm's stays); another scheme
// changes nothing.
TEST_F(OptionPageTest, SelectSchemeMovesTheRowsAndTheActiveBindings) {
    ControlsPage& page = *frontEnd->controlsPage;
    ASSERT_EQ(page.rowGroups[0].bindings.size(), 12u);
    ActionBinding* const confirm = ActiveBinding(9);
    auto check = [&](int32_t scheme) {
        for (size_t i = 0; i < 12; ++i) {
            const Point2i expected = scheme == 0 ? Point2i{270, 180 + 20 * int32_t(i)} : Point2i{-800, -800};
            EXPECT_EQ(page.widgets[i]->GetPosition(), expected) << "row " << i;
        }
        for (int32_t set : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12})
            EXPECT_EQ(ActiveBinding(set), &ActionBindingSet(set)[scheme]) << "set " << set;
        EXPECT_EQ(ActiveBinding(9), confirm);
    };
    EXPECT_EQ(page.rowGroups[0].x, 100.0f);
    EXPECT_EQ(page.rowGroups[0].y, 400.0f);
    for (int32_t scheme : {1, 2, 0}) {
        SCOPED_TRACE(scheme);
        page.SelectScheme(scheme);
        check(scheme);
    }
    page.SelectScheme(1);
    for (int32_t bad : {3, -1}) page.SelectScheme(bad);
    check(1);
    page.SelectScheme(0);
}

// ResetBindings writes the page's own default keys of one scheme, named by the input device;
// Drop passenger keeps its keys; the set without a row gets A; a scheme out of range nothing.
TEST_F(OptionPageTest, ResetBindingsWritesEachSchemesDefaultKeys) {
    ControlsPage& page = *frontEnd->controlsPage;
    const struct {
        int32_t set;
        InputCode keys[3][2];
    } rows[] = {
        {3, {{70, -1}, {0x101, -1}, {70, -1}}},   {1, {{72, -1}, {0x108, -1}, {72, -1}}},
        {2, {{73, -1}, {0x109, -1}, {73, -1}}},   {4, {{71, -1}, {0x100, -1}, {71, -1}}},
        {5, {{63, 59}, {63, -1}, {63, -1}}},      {6, {{7, -1}, {7, -1}, {7, -1}}},
        {7, {{57, -1}, {57, -1}, {57, -1}}},      {8, {{1, -1}, {1, -1}, {1, -1}}},
        {9, {{55, -1}, {89, -1}, {89, -1}}},      {10, {{17, -1}, {17, -1}, {17, -1}}},
        {11, {{11, -1}, {11, -1}, {11, -1}}},     {13, {{0, -1}, {0, -1}, {0, -1}}},
    };
    auto scramble = [] {
        for (int32_t set = 1; set <= 13; ++set)
            for (int32_t scheme = 0; scheme < 3; ++scheme)
                ActionBindingSet(set)[scheme].primary = ActionBindingSet(set)[scheme].secondary = {99, "x"};
    };
    scramble();
    for (int32_t bad : {-1, 3}) page.ResetBindings(bad);
    EXPECT_EQ(ActionBindingSet(3)[0].primary.code, 99);
    for (int32_t scheme = 0; scheme < 3; ++scheme) {
        scramble();
        page.ResetBindings(scheme);
        for (const auto& row : rows) {
            SCOPED_TRACE(::testing::Message() << "set " << row.set << ", scheme " << scheme);
            const ActionBinding& b = ActionBindingSet(row.set)[scheme];
            EXPECT_EQ(b.primary.code, row.keys[scheme][0]);
            EXPECT_EQ(b.secondary.code, row.keys[scheme][1]);
            EXPECT_STREQ(b.primary.name.c_str(), input.GetKeyName(row.keys[scheme][0]).c_str());
            EXPECT_STREQ(b.secondary.name.c_str(), input.GetKeyName(row.keys[scheme][1]).c_str());
            EXPECT_EQ(ActionBindingSet(row.set)[(scheme + 1) % 3].primary.code, 99) << "other schemes untouched";
        }
        EXPECT_EQ(ActionBindingSet(12)[scheme].primary.code, 99) << "drop passenger keeps its keys";
    }
}

// The page's default keys go in while the front end is built; the settings' defaults (or file)
// replace them: the keyboard scheme fires with left Shift, not H. The set without a row keeps A.
TEST_F(OptionPageTest, TheSettingsReplaceThePagesDefaultKeys) {
    EXPECT_EQ(GameSettings::Binding(0, StoredAction::UseSpecial).primary.code, 57);
    EXPECT_EQ(GameSettings::Binding(2, StoredAction::Accelerate).primary.code, 0x402);
    for (int32_t scheme = 0; scheme < 3; ++scheme) EXPECT_EQ(ActionBindingSet(13)[scheme].primary.code, 0);
    EXPECT_EQ(ActiveBinding(3), &ActionBindingSet(3)[0]) << "the keyboard scheme is in use";
}
