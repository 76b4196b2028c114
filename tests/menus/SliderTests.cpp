#include "MenuFixture.h"
#include "engine/core/SliderWidget.h"

using namespace menu_test;

namespace {

class SliderTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        canvas.sizes["Slider.ZKT"] = {128, 16};
        option.cachedFloat = 0.4f;
        slider = std::make_unique<SliderWidget>(SharedString("Volume"), &option);
        Silence();
        option.values.clear();
    }
    void TearDown() override {
        Silence();
        MenuTest::TearDown();
    }
    // Lets the shared sound level run out.
    void Silence() {
        engine->frameTime = 1.0f;
        slider->Update();
        engine->frameTime = kFrame;
        ++engine->frameNumber;
    }
    void Step(float dt) {
        engine->frameTime = dt;
        slider->HandleInput(input.cursor);
        slider->Update();
        input.NextFrame();
        ++engine->frameNumber;
    }
    RecordingOption option{RecordingOption::Float};
    std::unique_ptr<SliderWidget> slider;
};

} // namespace

TEST_F(SliderTest, HeldKeysMoveTheValueByTheFrameTime) {
    EXPECT_EQ(option.widget, slider.get());
    EXPECT_EQ(sound.Made("Slider.WAV"), 1);
    input.held = {kKeyRight};
    for (int i = 0; i < 6; ++i) Step(0.05f);
    EXPECT_NEAR(option.cachedFloat, 0.7f, 1e-5f);
    for (int i = 0; i < 10; ++i) Step(0.05f);
    EXPECT_EQ(option.cachedFloat, 1.0f);
    EXPECT_EQ(option.values.size(), 16u) << "every held frame is a move";

    // Both keys: down by dt, then up by dt, in the same frame.
    input.held = {kKeyLeft, kKeyRight};
    option.values.clear();
    Step(0.25f);
    EXPECT_EQ(option.values, (std::vector<std::string>{std::to_string(0.75f), std::to_string(1.0f)}));
    option.Set(0.0f);
    Step(0.25f);
    EXPECT_EQ(option.cachedFloat, 0.25f);
}

TEST_F(SliderTest, TheMouseGrabsTheBarWithAMargin) {
    slider->SetPosition({0, 100}, false); // the bar: x 250..378, y 100..116
    input.mouse.buttons[0] = 1;
    struct Case {
        Point2i cursor;
        float expected; // -1: no move
    } cases[] = {
        {{242, 105}, 0.0f},  {{240, 95}, 0.0f},   {{239, 105}, -1},     {{314, 110}, 0.5f},
        {{387, 120}, 1.0f},  {{388, 105}, -1},    {{300, 94}, -1},      {{300, 121}, -1},
    };
    for (const Case& c : cases) {
        option.cachedFloat = 0.3f;
        input.cursor = c.cursor;
        input.mouse.buttons[0] = 1;
        Step(kFrame);
        EXPECT_EQ(option.cachedFloat, c.expected < 0 ? 0.3f : c.expected) << c.cursor.x << "," << c.cursor.y;
    }
    input.mouse.buttons[0] = 0;
    input.cursor = {314, 110};
    Step(kFrame);
    EXPECT_EQ(option.cachedFloat, 0.3f) << "the button is not held";

    // The bar itself is a mouse target (no margin), as is the caption.
    EXPECT_TRUE(slider->HandleMouse({250, 100}));
    EXPECT_FALSE(slider->HandleMouse({249, 100}));
    EXPECT_TRUE(slider->HandleMouse({5, 105}));
    slider->SetEnabled(false);
    EXPECT_FALSE(slider->HandleMouse({250, 100}));
    EXPECT_FALSE(slider->SetFocus(true));
    slider->SetEnabled(true);

    // A picture without width is no target, and dragging over it does nothing.
    FakePicture flat("flat", 0, 16);
    slider->picture = &flat;
    EXPECT_FALSE(slider->HandleMouse({250, 100}));
    input.cursor = {250, 105};
    input.mouse.buttons[0] = 1;
    Step(kFrame);
    EXPECT_EQ(option.cachedFloat, 0.3f);
    input.mouse.buttons[0] = 0;
}

TEST_F(SliderTest, TheSoundFollowsTheValueLoopsWhileMovingAndFadesOut) {
    VoiceLog& voice = sound.Voice("Slider.WAV");
    slider->MoveTo(0.25f);
    EXPECT_EQ(voice.loopedPlays, 1);
    EXPECT_EQ(voice.pitch, 1.25f);
    EXPECT_EQ(voice.pan, -0.5f);
    EXPECT_EQ(SliderWidget::SoundLevel(), 1.0f);
    slider->MoveTo(0.5f);
    EXPECT_EQ(voice.loopedPlays, 1) << "already playing";

    engine->frameTime = 0.03125f;
    const int stops = voice.stops;
    const float levels[] = {0.6875f, 0.375f, 0.0625f, 0.0f};
    for (float level : levels) {
        slider->Update();
        ++engine->frameNumber;
        EXPECT_FLOAT_EQ(SliderWidget::SoundLevel(), level);
    }
    EXPECT_EQ(voice.stops, stops);
    EXPECT_EQ(voice.volume, 0.0625f);
    slider->Update();
    EXPECT_EQ(voice.stops, stops + 1) << "stopped once the level is out";
    slider->MoveTo(0.5f);
    EXPECT_EQ(voice.loopedPlays, 2);

    // Taking the focus away silences it at once.
    slider->SetFocus(true);
    slider->SetFocus(false);
    EXPECT_EQ(voice.stops, stops + 2);
    EXPECT_FALSE(slider->IsFocused());

    // Return and clicks do nothing.
    option.values.clear();
    input.pressed = {kKeyReturn};
    input.mousePressed = {0, 2};
    Step(kFrame);
    EXPECT_TRUE(option.values.empty());
}

TEST_F(SliderTest, APageOfSlidersFadesTheSoundOncePerFrame) {
    // Four sliders, as on the audio page; Right held on the first at 32 frames a second.
    MenuScreen* screen = RootScreen();
    RecordingOption values[4] = {RecordingOption{RecordingOption::Float}, RecordingOption{RecordingOption::Float},
                                 RecordingOption{RecordingOption::Float}, RecordingOption{RecordingOption::Float}};
    for (RecordingOption& v : values) screen->AddWidget(new SliderWidget(SharedString("Level"), &v));
    screen->Activate();
    VoiceLog& voice = sound.Voice("Slider.WAV");
    const int plays = voice.loopedPlays, stops = voice.stops;
    engine->frameTime = 1.0f / 32.0f;
    input.held = {kKeyRight};
    for (int frame = 0; frame < 3; ++frame) {
        Frame();
        EXPECT_FLOAT_EQ(SliderWidget::SoundLevel(), 1.0f - 10.0f / 32.0f) << frame;
    }
    EXPECT_EQ(voice.loopedPlays, plays + 1) << "one loop for the whole movement";
    EXPECT_EQ(voice.stops, stops) << "never stopped while moving";
    EXPECT_NEAR(values[0].cachedFloat, 3.0f / 32.0f, 1e-6f);

    // Let go: silent after 0.1 s, not a quarter of that.
    input.held.clear();
    Frame();
    Frame();
    EXPECT_FLOAT_EQ(SliderWidget::SoundLevel(), 1.0f - 30.0f / 32.0f);
    EXPECT_EQ(voice.stops, stops);
    Frame();
    Frame();
    EXPECT_EQ(voice.stops, stops + 1);
}

TEST_F(SliderTest, TheBarIsCutAtTheValueAndHalfTransparentWhenDisabled) {
    slider->SetPosition({10, 20}, false);
    struct Case {
        float value;
        bool enabled;
        int32_t width;
        uint8_t alpha;
    } cases[] = {
        {0.0f, true, 0, 204}, {1.0f, true, 128, 204}, {0.5f, false, 64, 102}, {3.0f, true, 128, 204},
        {-1.0f, true, 0, 204},
    };
    for (const Case& c : cases) {
        option.cachedFloat = c.value;
        slider->SetEnabled(c.enabled);
        canvas.calls.clear();
        slider->Draw(0.8f);
        const std::vector<DrawCall> bars = canvas.Of("sprite", "Slider.ZKT");
        ASSERT_EQ(bars.size(), 1u);
        EXPECT_TRUE(bars[0].hasSource);
        EXPECT_EQ(bars[0].source, (Rect{0, 0, c.width, 16})) << c.value;
        EXPECT_EQ(bars[0].color.a, c.alpha);
        EXPECT_EQ(bars[0].x, 260.0f);
        EXPECT_EQ(bars[0].y, 20.0f);
        EXPECT_EQ(canvas.Of("text").size(), 1u) << "no labels without their font";
    }
    alignas(16) char tag[16] = {};
    slider->labelFont = reinterpret_cast<const Font*>(tag);
    canvas.fontSizes[slider->labelFont] = 11;
    slider->minLabel = SharedString("Low");
    slider->maxLabel = SharedString("High");
    canvas.calls.clear();
    slider->Draw(1.0f);
    const DrawCall low = canvas.Of("text", "Low")[0], high = canvas.Of("text", "High")[0];
    EXPECT_EQ(low.x, 260.0f);
    EXPECT_EQ(low.y, 20.0f - 16.0f);
    EXPECT_FALSE(low.hasColor);
    EXPECT_EQ(high.x, 260.0f + 128 - 32);
    EXPECT_EQ(high.font, slider->labelFont);
}
