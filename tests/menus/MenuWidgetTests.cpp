#include "MenuFixture.h"
#include "engine/core/MenuWidgets.h"

using namespace menu_test;

namespace {

using Values = std::vector<std::string>;

class ChoiceTest : public MenuTest {
protected:
    ChoiceWidget* Choice(std::vector<const char*> names, int32_t start) {
        std::vector<SharedString> items;
        for (const char* n : names) items.emplace_back(n);
        option.cachedInt = start;
        choice = std::make_unique<ChoiceWidget>(SharedString("Pick"), items, &option, nullptr);
        choice->SetPosition({0, 0}, false);
        return choice.get();
    }
    // Left or Right (or mouse buttons) for one frame of the widget's input.
    void Input(std::set<uint32_t> keys, std::set<uint32_t> buttons = {}, Point2i cursor = {}) {
        input.pressed = std::move(keys);
        input.mousePressed = std::move(buttons);
        choice->HandleInput(cursor);
        input.NextFrame();
    }
    RecordingOption option;
    std::unique_ptr<ChoiceWidget> choice;
};

} // namespace

TEST_F(ChoiceTest, NextAndPreviousSkipDisabledItemsAndClickEvenWithoutAChange) {
    Choice({"A", "B", "C"}, 0);
    EXPECT_EQ(option.widget, choice.get());
    EXPECT_EQ(option.values, Values{"0"}) << "the stored choice is handed over once";
    choice->itemEnabled[1] = 0;
    option.values.clear();
    struct Step {
        std::set<uint32_t> keys, buttons;
        int32_t expected;
    } steps[] = {
        {{kKeyRight}, {}, 2}, {{kKeyRight}, {}, 0}, {{kKeyLeft}, {}, 2}, {{kKeyLeft}, {}, 0},
        {{kKeyReturn}, {}, 2}, {{}, {1}, 0},  // button 1 over the caption: back one
        {{}, {0}, 2},                         // button 0: forward
    };
    for (const Step& s : steps) {
        Input(s.keys, s.buttons, {4, 4});
        EXPECT_EQ(option.cachedInt, s.expected);
    }
    EXPECT_EQ(option.values, (Values{"2", "0", "2", "0", "2", "0", "2"}));
    EXPECT_EQ(sound.Plays("Click.WAV"), 7);
    EXPECT_EQ(choice->changed, 1u);

    // Button 2 anywhere asks for the alternative action.
    Input({}, {2}, {700, 500});
    EXPECT_EQ(option.alt, 1);

    // The only enabled item is the current one: a click, no new value.
    choice->itemEnabled = {0, 0, 1};
    option.values.clear();
    Input({kKeyRight});
    Input({kKeyLeft});
    EXPECT_TRUE(option.values.empty());
    EXPECT_EQ(sound.Plays("Click.WAV"), 9);
    // Every item disabled: nothing is chosen that cannot be.
    choice->itemEnabled = {0, 0, 0};
    Input({kKeyRight});
    EXPECT_EQ(option.cachedInt, 2);
    EXPECT_TRUE(option.values.empty());

    choice->inputEnabled = 0;
    choice->itemEnabled = {1, 1, 1};
    Input({kKeyRight}, {2});
    EXPECT_EQ(option.cachedInt, 2);
    EXPECT_EQ(option.alt, 1);
}

TEST_F(ChoiceTest, EmptyListsAndIndicesOutsideTheListMeanNone) {
    testing_support::LogCapture log;
    Choice({}, 0);
    EXPECT_EQ(option.cachedInt, -1);
    EXPECT_TRUE(log.Contains("MENU: choice 0 of \"Pick\""));
    choice->Next();
    choice->Previous();
    choice->SelectEnabledEntry();
    EXPECT_EQ(sound.Plays("Click.WAV"), 0);
    EXPECT_EQ(option.values, Values{"-1"});

    Choice({"A", "B"}, 7);
    EXPECT_EQ(option.cachedInt, -1);
    EXPECT_EQ(option.values.back(), "-1");
    // A stale index written later is dropped too, and nothing reads past the list.
    option.cachedInt = 5;
    canvas.calls.clear();
    choice->Draw(1.0f);
    EXPECT_EQ(canvas.calls.size(), 1u) << "the caption only";
    EXPECT_FALSE(choice->HandleMouse({260, 4}));
    option.cachedInt = -3;
    choice->Next();
    EXPECT_EQ(option.cachedInt, 0);
}

TEST_F(ChoiceTest, TheValueIsDrawnAndHitBesideTheCaption) {
    RootScreen(); // its load makes the refusal sound
    Choice({"Low", "High"}, 1);
    choice->pulse = 0.5f;
    canvas.calls.clear();
    choice->Draw(1.0f);
    ASSERT_EQ(canvas.calls.size(), 2u);
    EXPECT_EQ(canvas.calls[1].what, "High");
    EXPECT_EQ(canvas.calls[1].x, 250.0f);
    EXPECT_EQ(canvas.calls[1].color.a, 127);
    EXPECT_EQ(canvas.calls[1].color.b, 255);
    choice->SetEnabled(false);
    canvas.calls.clear();
    choice->Draw(1.0f);
    EXPECT_EQ(canvas.calls[1].color.r, 127);
    EXPECT_EQ(canvas.calls[1].color.b, 152);

    // "High" covers 250..282 x 0..16; on a disabled choice a click there is refused.
    input.mousePressed = {0};
    EXPECT_FALSE(choice->HandleMouse({260, 4}));
    EXPECT_EQ(sound.Plays("False.WAV"), 1);
    choice->SetEnabled(true);
    EXPECT_TRUE(choice->HandleMouse({260, 4}));
    EXPECT_FALSE(choice->HandleMouse({282, 4}));
    option.Set(-1);
    EXPECT_FALSE(choice->HandleMouse({260, 4}));
}

TEST_F(ChoiceTest, SelectEnabledEntryMovesForwardToAnEnabledItemSilently) {
    Choice({"A", "B", "C"}, 1);
    option.values.clear();
    choice->itemEnabled = {1, 0, 1};
    choice->SelectEnabledEntry();
    EXPECT_EQ(option.cachedInt, 2);
    choice->itemEnabled = {1, 0, 0};
    choice->SelectEnabledEntry();
    EXPECT_EQ(option.cachedInt, 0);
    choice->SelectEnabledEntry();
    EXPECT_EQ(option.values, (Values{"2", "0"}));
    option.cachedInt = -1;
    choice->SelectEnabledEntry();
    EXPECT_EQ(option.cachedInt, -1);
    EXPECT_EQ(sound.Plays("Click.WAV"), 0);
}

TEST_F(MenuTest, ButtonsLabelsAndLinks) {
    RecordingOption action(RecordingOption::Byte);
    Button button(SharedString("Go"), &action, nullptr);
    EXPECT_EQ(action.widget, &button);
    for (int32_t kind : {kFireAccept, kFirePrimary, kFireSecondary, kFireOther}) button.Fire(kind);
    EXPECT_EQ(action.executed, 4);

    LabelWidget bright(SharedString("Title"), false, nullptr), dimmed(SharedString("Note"), true, nullptr);
    EXPECT_FALSE(bright.IsEnabled());
    EXPECT_TRUE(bright.IsBright());
    EXPECT_FALSE(dimmed.IsBright());
    EXPECT_FALSE(bright.SetFocus(true));
    bright.Fire(kFireAccept);

    // A link opens its target: 0 before, 1 after, with a click.
    MenuScreen* root = RootScreen();
    MenuScreen* target = NewScreen("Target");
    RecordingOption linkValues(RecordingOption::Byte);
    LinkButton link(SharedString("Open"), target, &linkValues, nullptr);
    link.Fire(kFirePrimary);
    EXPECT_EQ(engine->currentMLP, target);
    EXPECT_EQ(engine->previousMLP, root);
    EXPECT_EQ(linkValues.values, (Values{"0", "1"}));
    EXPECT_EQ(linkValues.cachedByte, 1);
    EXPECT_EQ(sound.Plays("Click.WAV"), 1);
    LinkButton nowhere(SharedString("Nowhere"), nullptr, &linkValues, nullptr);
    nowhere.Fire(kFireAccept);
    EXPECT_EQ(engine->currentMLP, target);
    EXPECT_EQ(linkValues.values.back(), "1");
}

TEST_F(MenuTest, BackButtonPopsOnlyWhenThereIsAScreenToReturnTo) {
    MenuScreen* root = RootScreen();
    RecordingOption values(RecordingOption::Byte);
    BackButton back(SharedString("Back"), &values);
    EXPECT_EQ(sound.Made("Back.WAV"), 1);

    back.Fire(kFireAccept);
    EXPECT_EQ(engine->currentMLP, root);
    EXPECT_EQ(values.values, Values{"1"});
    EXPECT_EQ(sound.Plays("Back.WAV"), 0);

    MenuScreen* page = NewScreen("Page");
    engine->PushMLP(page);
    values.values.clear();
    back.Fire(kFirePrimary);
    EXPECT_EQ(engine->currentMLP, root);
    EXPECT_EQ(engine->previousMLP, page);
    EXPECT_EQ(values.values, (Values{"0", "1"}));
    EXPECT_EQ(sound.Plays("Back.WAV"), 1);
    EXPECT_EQ(sound.Plays("Menu.WAV"), 2) << "each screen left plays the leaving sound";

    back.Fire(kFirePrimary);
    EXPECT_EQ(engine->currentMLP, root);
}
