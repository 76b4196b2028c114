#include "MenuFixture.h"
#include "engine/core/TextEditWidget.h"

using namespace menu_test;

namespace {

class TextEditTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        screen = RootScreen();
        option.cachedText = languageText; // the option shows a language text
        widget = new TextEditWidget(SharedString("Name"), &option, nullptr, editFont);
        widget->valueX = 200;
        widget->SetPosition({0, 50}, false);
        screen->AddWidget(widget);
        screen->Activate();
    }
    void Step() {
        widget->HandleInput(input.cursor);
        input.NextFrame();
    }
    alignas(16) char fontTag_[16] = {};
    const Font* editFont = reinterpret_cast<const Font*>(fontTag_); // only its address is used
    SharedString languageText{"Player"};
    RecordingOption option{RecordingOption::Text};
    MenuScreen* screen = nullptr;
    TextEditWidget* widget = nullptr;
};

} // namespace

TEST_F(TextEditTest, EditingTypesIntoACopyAndAnyEndingKeyCommits) {
    EXPECT_EQ(option.widget, widget);
    EXPECT_FALSE(widget->IsBright());
    for (uint32_t key : {kKeyReturn, kKeyEscape, kKeyPadEnter}) {
        option.values.clear();
        widget->Fire(kFirePrimary);
        ASSERT_TRUE(widget->IsEditing());
        EXPECT_EQ(widget->Cursor(), option.cachedText.Length() - 1);
        ASSERT_FALSE(input.listeners.empty());
        EXPECT_EQ(input.listeners.front(), &widget->edit);
        EXPECT_FALSE(screen->navigation || screen->mouseSelect || screen->showCursor);
        input.Type("X");
        EXPECT_EQ(option.cachedText, widget->EditText()) << "the option follows the typing";
        input.pressed = {key};
        Step();
        EXPECT_FALSE(widget->IsEditing()) << key;
        EXPECT_TRUE(input.listeners.empty());
        EXPECT_TRUE(screen->navigation && screen->mouseSelect && screen->showCursor);
        ASSERT_EQ(option.values.size(), 1u);
        EXPECT_EQ(option.cachedText, SharedString(option.values[0].c_str()));
        EXPECT_FALSE(option.cachedText.SharesBlockWith(widget->EditText())) << "the committed text is its own";
    }
    EXPECT_EQ(option.values[0], "PlayerXXX");
    EXPECT_EQ(languageText, SharedString("Player")) << "the language text never changes";

    // Backspace while editing; an empty option starts with the cursor at -1.
    option.cachedText = SharedString("");
    widget->Fire(kFireAccept);
    EXPECT_EQ(widget->Cursor(), -1);
    input.Type("ab\b");
    EXPECT_EQ(widget->EditText(), SharedString("a"));
    EXPECT_EQ(widget->Cursor(), 0);
    widget->Fire(kFireAccept);
    EXPECT_EQ(option.values.back(), "a");

    // A widget deleted while editing stops being the device's listener.
    {
        TextEditWidget doomed(SharedString("Chat"), nullptr, nullptr, nullptr);
        doomed.Fire(kFireAccept);
        EXPECT_EQ(input.listeners.size(), 1u);
    }
    EXPECT_TRUE(input.listeners.empty());
}

TEST_F(TextEditTest, TheTextIsTrimmedToBothWidthsInTheSameFrame) {
    canvas.charWidths[editFont] = 10;
    widget->maxWidth = 50; // five characters of the edit font
    widget->Fire(kFireAccept);
    input.Type("abcdef");
    EXPECT_EQ(widget->EditText(), SharedString("Playerabcdef"));
    Step();
    EXPECT_EQ(widget->EditText(), SharedString("Playe"));
    EXPECT_EQ(widget->Cursor(), 4);
    widget->maxWidth = 0xFFFF;
    widget->maxCaptionFontWidth = 24; // three characters of the caption's 8-pixel font
    Step();
    EXPECT_EQ(widget->EditText(), SharedString("Pla"));
    widget->maxCaptionFontWidth = 0; // nothing fits: the trim ends at the empty text
    Step();
    EXPECT_EQ(widget->EditText(), SharedString(""));
    EXPECT_EQ(widget->Cursor(), -1);
}

TEST_F(TextEditTest, ValueTargetCaretAndColours) {
    // "Player" at x 200..248, y 50..66; an empty value still has 10 pixels.
    EXPECT_TRUE(widget->HandleMouse({247, 55}));
    EXPECT_FALSE(widget->HandleMouse({248, 55}));
    option.cachedText = SharedString("");
    EXPECT_TRUE(widget->HandleMouse({209, 55}));
    EXPECT_FALSE(widget->HandleMouse({210, 55}));
    option.cachedText = SharedString("Player");

    widget->textColor.Set(255, 128, 0, 255);
    widget->pulse = 0.5f;
    widget->SetFocus(false);
    canvas.calls.clear();
    widget->Draw(1.0f);
    ASSERT_EQ(canvas.calls.size(), 2u);
    EXPECT_EQ(canvas.calls[0].color.a, 127) << "idle: the caption pulses";
    EXPECT_EQ(canvas.calls[0].color.g, 128);
    EXPECT_EQ(canvas.calls[1].what, "Player");
    EXPECT_EQ(canvas.calls[1].x, 200.0f);
    EXPECT_EQ(canvas.calls[1].font, editFont);
    EXPECT_EQ(canvas.calls[1].color.g, 128 * 128 / 255) << "the value is the caption colour times the text colour";
    EXPECT_EQ(canvas.calls[1].color.a, 127);
    widget->SetEnabled(false);
    canvas.calls.clear();
    widget->Draw(1.0f);
    EXPECT_EQ(std::vector<int>({canvas.calls[0].color.r, canvas.calls[0].color.g, canvas.calls[0].color.b}),
              std::vector<int>({127, 128 * 127 / 255, 0}));
    widget->SetEnabled(true);

    // Editing: full alpha, and the caret after the text while sin(10 t) > 0.
    widget->Fire(kFireAccept);
    struct Case {
        float t;
        bool caret;
    } cases[] = {{0.1f, true}, {0.3f, true}, {0.33f, false}, {0.6f, false}, {0.65f, true}};
    for (const Case& c : cases) {
        screen->timeCurrent = c.t;
        widget->Update();
        canvas.calls.clear();
        widget->Draw(1.0f);
        EXPECT_EQ(canvas.calls[0].color.a, 255);
        ASSERT_EQ(canvas.calls.size(), c.caret ? 3u : 2u) << c.t;
        if (c.caret) {
            EXPECT_EQ(canvas.calls[2].what, "_");
            EXPECT_EQ(canvas.calls[2].x, 200.0f + 6 * 8);
        }
    }
}
