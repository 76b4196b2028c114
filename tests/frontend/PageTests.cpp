// Front-end pages: slide-ins, the box frame, the shared streaks and bars, the Back corner and
// the option-row layout.
#include <cmath>

#include "engine/core/MenuWidgets.h"
#include "tests/frontend/PageFixture.h"

using namespace page_test;
using testing_support::DrawCall;

namespace {

std::vector<std::string> Named(const std::vector<DrawCall>& calls) {
    std::vector<std::string> out;
    for (const DrawCall& c : calls) out.push_back(c.what);
    return out;
}

} // namespace

// A widget waits at the start edge for its delay, then approaches ever more slowly (sqrt of the
// distance), and snaps onto its target when a step would pass it.
TEST_F(PageTest, SlideInsWaitTheirDelayThenEaseInAndSnap) {
    struct Case {
        SlideFrom from;
        float delay;
        int32_t x, y;      // target
        float startX, startY;
    } cases[] = {
        {SlideFrom::Right, 0.0f, 460, 215, 850.0f, 215.0f},
        {SlideFrom::Left, 0.0f, 100, 50, -50.0f, 50.0f},
        {SlideFrom::Above, 0.0f, 300, 200, 300.0f, -50.0f},
        {SlideFrom::Below, 0.1f, 300, 200, 300.0f, 650.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.from));
        Button widget(SharedString("x"), nullptr, nullptr);
        DecorationList list;
        list.AddWidget(&widget, c.x, c.y, c.from, 30.0f, c.delay);
        EXPECT_EQ(widget.GetPosition(), (Point2i{c.x, c.y})); // placed at once
        list.Reset();
        const DecorationList::Entry& e = list.Entries()[0];
        EXPECT_EQ(e.currentX, c.startX);
        EXPECT_EQ(e.currentY, c.startY);

        list.UpdateWidgets(kFrame);
        const float distance = std::fabs(c.startX - float(c.x)) + std::fabs(c.startY - float(c.y));
        const float moved = std::fabs(e.currentX - c.startX) + std::fabs(e.currentY - c.startY);
        if (c.delay == 0.0f) {
            // Delay 0 moves on the first update.
            EXPECT_NEAR(moved, std::sqrt(distance) * 30.0f * kFrame, 1e-3f);
        } else {
            EXPECT_EQ(moved, 0.0f);
        }
        // Every entry's widget follows its current position, truncated, also while it waits.
        EXPECT_EQ(widget.GetPosition(), (Point2i{int32_t(e.currentX), int32_t(e.currentY)}));

        // A whole second at once overshoots: the entry snaps onto its target and stays there.
        list.UpdateWidgets(1.0f);
        list.UpdateWidgets(1.0f);
        EXPECT_TRUE(e.done);
        EXPECT_EQ(widget.GetPosition(), (Point2i{c.x, c.y}));
        list.UpdateWidgets(1.0f);
        EXPECT_EQ(widget.GetPosition(), (Point2i{c.x, c.y}));
    }
}

TEST_F(PageTest, APictureOnItsStartEdgeIsDoneAtItsFirstStepAndResetTwiceIsResetOnce) {
    DecorationList list;
    list.AddPicture(SharedString("balk.zkt"), 850.0f, 100.0f, SlideFrom::Right, 30.0f, 0.0f);
    list.AddPicture(SharedString("balk.zkt"), 440.0f, 215.0f, SlideFrom::Right, 30.0f, 0.5f);
    EXPECT_EQ(canvas.loads, (std::vector<std::string>{"balk.zkt", "balk.zkt"})); // by the name alone
    list.UpdatePictures(kFrame);
    EXPECT_TRUE(list.Entries()[0].done);
    EXPECT_FALSE(list.Entries()[1].done);

    for (int i = 0; i < 40; ++i) list.UpdatePictures(kFrame);
    auto state = [&] {
        std::vector<float> out;
        for (const DecorationList::Entry& e : list.Entries())
            out.insert(out.end(), {e.currentX, e.currentY, e.remainingDelay, e.done ? 1.0f : 0.0f});
        return out;
    };
    list.Reset();
    const std::vector<float> once = state();
    list.Reset();
    EXPECT_EQ(state(), once);
    EXPECT_EQ(once, (std::vector<float>{850.0f, 100.0f, 0.0f, 0.0f, 850.0f, 215.0f, 0.5f, 0.0f}));
}

// The picture slides, streaks, sweepers and Back picture of a page's background.
TEST_F(PageTest, TheBackgroundDrawsSlidesAtTheFadeStreaksSweepersAndTheBackPicture) {
    FrontEndPage* page = Page("Video");
    page->pictureSlides.AddPicture(SharedString("balk.zkt"), 440.0f, 215.0f, SlideFrom::Right, 30.0f, 0.0f);
    page->backPictureShown = true;
    engine->SetMLP(page);
    Frame();

    for (float fade : {0.0f, 0.5f}) {
        page->SetFade(fade);
        canvas.calls.clear();
        page->DrawBackground();
        const std::vector<DrawCall> slides = canvas.Of("anchored", "balk.zkt");
        ASSERT_EQ(slides.size(), 1u);
        EXPECT_EQ(slides[0].color.a, fade == 0.0f ? 255 : 127);
        EXPECT_EQ(slides[0].anchor, kMenuAnchorTopLeft);
    }
    EXPECT_EQ(Named(canvas.Of("stretched")),
              (std::vector<std::string>{"MDeco1.ZKT", "MDeco1.ZKT", "MDeco2.ZKT", "MDeco2.ZKT"}));
    EXPECT_EQ(Named(canvas.Of("sprite")), (std::vector<std::string>{"MDeco3.ZKT", "MDeco4.ZKT"}));
    const std::vector<DrawCall> back = canvas.Of("anchored", "Back.ZKT");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].anchor, 12);
    EXPECT_FALSE(back[0].hasColor);

    page->backPictureShown = false;
    canvas.calls.clear();
    page->DrawBackground();
    EXPECT_TRUE(canvas.Of("anchored", "Back.ZKT").empty());
}

// Each flight of streaks 0 and 1 starts left of the screen moving right, of 2 and 3 at its
// right edge moving left; the bars sweep over 0..600.
TEST_F(PageTest, StreaksEnterFromTheirOwnSideAndBarsSweepTheScreen) {
    canvas.sizes["MDeco1.ZKT"] = {128, 8};
    canvas.sizes["MDeco2.ZKT"] = {64, 4};
    FrontEndPage* page = Page("Main");
    engine->SetMLP(page);
    FrontEndPage::SharedDecorations& shared = FrontEndPage::Shared();
    for (const FrontEndPage::Streak& s : shared.streaks) {
        EXPECT_GE(s.timer, 0.0f);
        EXPECT_LT(s.timer, 5.0f);
    }
    for (int flight = 0; flight < 25; ++flight) {
        for (FrontEndPage::Streak& s : shared.streaks) s.timer = 0.0f;
        Frame();
        for (int i = 0; i < FrontEndPage::kStreakCount; ++i) {
            SCOPED_TRACE(i);
            const FrontEndPage::Streak& s = shared.streaks[i];
            const float baseWidth = i < 2 ? 128.0f : 64.0f;
            EXPECT_GE(s.width, 0.5f * baseWidth);
            EXPECT_LT(s.width, 2.5f * baseWidth);
            EXPECT_GE(s.timer, 2.5f);
            EXPECT_LT(s.timer, 4.5f);
            EXPECT_GE(s.alpha, 0.05f);
            EXPECT_LT(s.alpha, 0.25f);
            EXPECT_EQ(s.vy, 0.0f);
            if (i < 2) {
                EXPECT_EQ(s.x, -s.width);
                EXPECT_GE(s.vx, 1250.0f);
                EXPECT_GE(s.y + s.height, 200.0f);
                EXPECT_LT(s.y + s.height, 450.0f);
            } else {
                EXPECT_EQ(s.x, 800.0f);
                EXPECT_LE(s.vx, -1250.0f);
                EXPECT_GE(s.y, 200.0f);
                EXPECT_LT(s.y, 450.0f);
            }
        }
    }
    // In flight, a streak moves by its speed.
    const float x = shared.streaks[2].x;
    Frame();
    EXPECT_FLOAT_EQ(shared.streaks[2].x, x + shared.streaks[2].vx * kFrame);

    shared.phases[0] = shared.phases[1] = 0.0f;
    engine->frameTime = HalfPi / 2.1f;
    Frame();
    EXPECT_NEAR(shared.sweepers[1].position, 600.0f, 1e-3f);
    EXPECT_NEAR(shared.sweepers[0].position, (std::sin(HalfPi / 2.1f) + 1.0f) * 300.0f, 1e-3f);
}

// Only a page that shows the Back picture pops on a click in its square (0..63, 536..599).
TEST_F(PageTest, AClickInTheBackCornerPopsOnlyPagesShowingTheBackPicture) {
    struct Case {
        bool shown;
        Point2i click;
        bool pops;
    } cases[] = {
        {true, {63, 536}, true},   {true, {0, 599}, true},    {true, {64, 536}, false},
        {true, {10, 535}, false},  {true, {10, 600}, false},  {false, {63, 536}, false},
    };
    FrontEndPage* main = Page("Main");
    FrontEndPage* page = Page("Video");
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.click.x << ", " << c.click.y);
        page->backPictureShown = c.shown;
        engine->mlpStack.clear();
        engine->SetMLP(main);
        engine->PushMLP(page);
        input.cursor = c.click;
        input.mousePressed = {0};
        Frame();
        EXPECT_EQ(engine->currentMLP, c.pops ? static_cast<MLP*>(main) : page);
    }
}

// The video and audio pages' rows: one every 27 pixels at x 270, the last widget (the back
// button) at (650, 485) with Escape and Backspace.
TEST_F(PageTest, OptionRowsAreLaidOutWithTheLastWidgetAsTheBackButton) {
    for (int count : {1, 3}) {
        SCOPED_TRACE(count);
        FrontEndPage* page = Page("Audio");
        for (int i = 0; i < count; ++i) page->AddWidget(new Button(SharedString("row"), nullptr, nullptr));
        page->LayOutOptionRows();
        for (int i = 0; i + 1 < count; ++i)
            EXPECT_EQ(page->widgets[size_t(i)]->GetPosition(), (Point2i{270, 180 + 27 * i}));
        EXPECT_EQ(page->widgets.back()->GetPosition(), (Point2i{650, 485}));
        ASSERT_EQ(page->hotKeys.size(), 2u);
        EXPECT_EQ(page->hotKeys[0].key, 48);
        EXPECT_EQ(page->hotKeys[1].key, 53);
        EXPECT_EQ(page->hotKeys[0].widget, page->widgets.back());
        EXPECT_EQ(page->hotKeys[1].widget, page->widgets.back());
    }
}

// Activation replays the slide-ins and zeroes the page time.
TEST_F(PageTest, ActivationRestartsTheSlideInsAndThePageTime) {
    FrontEndPage* page = Page("Main");
    auto* widget = new Button(SharedString("row"), nullptr, nullptr);
    page->AddWidget(widget);
    page->widgetSlides.AddWidget(widget, 460, 215, SlideFrom::Right, 30.0f, 0.0f);
    engine->SetMLP(page);
    for (int i = 0; i < 200; ++i) Frame();
    EXPECT_EQ(widget->GetPosition(), (Point2i{460, 215}));
    EXPECT_FLOAT_EQ(page->pageTime, 200 * kFrame);
    page->Activate();
    EXPECT_EQ(page->pageTime, 0.0f);
    EXPECT_TRUE(page->boxFrame.active);
    Frame();
    EXPECT_GT(widget->GetPosition().x, 800);
}

// The frame's boxes open, then grow; only a grown-in box (its growing timer run out) is drawn:
// filled inside, edges between the corners, the corner picture turned into each corner.
TEST_F(PageTest, BoxFrameOpensGrowsAndDrawsItsBoxes) {
    canvas.sizes["Menu\\Corner.zkt"] = {16, 16};
    BoxFrame frame;
    const SharedString edges[4] = {SharedString("HorizontalBar.zkt"), SharedString("HorizontalBar.zkt"),
                                   SharedString("VerticalBar.zkt"), SharedString("VerticalBar.zkt")};
    frame.SetPictures(SharedString("Corner.zkt"), edges, Color::FromBytes(0, 0, 0, 127));
    EXPECT_EQ(canvas.loads, (std::vector<std::string>{"Menu\\Corner.zkt", "Menu\\HorizontalBar.zkt",
                                                      "Menu\\HorizontalBar.zkt", "Menu\\VerticalBar.zkt",
                                                      "Menu\\VerticalBar.zkt"}));
    FrameBox box;
    box.start = {100, 0, 300, 100};
    box.target = {100, 200, 300, 300};
    box.openingMode = 1;
    box.growingMode = 0;
    box.growthSpeed = 1.0f;
    box.openingTimer = 1000.0f;
    box.growingTimer = 5.0f;
    frame.boxes.push_back(box);

    frame.Update(1.0f); // not active before a reset
    EXPECT_EQ(frame.boxes[0].current.top, 0.0f);
    frame.Reset();
    frame.Update(1.0f);
    EXPECT_GT(frame.boxes[0].current.top, 0.0f);
    EXPECT_FLOAT_EQ(frame.boxes[0].current.bottom - frame.boxes[0].current.top, 100.0f);

    frame.Draw();
    EXPECT_TRUE(canvas.calls.empty());
    frame.boxes[0].current = {150, 225, 250, 275};
    frame.boxes[0].opened = true;
    for (int i = 0; i < 100 && !frame.boxes[0].grown; ++i) frame.Update(0.1f);
    EXPECT_TRUE(frame.boxes[0].grown);
    EXPECT_EQ(frame.boxes[0].current.left, 100.0f);
    EXPECT_EQ(frame.boxes[0].current.bottom, 300.0f);

    frame.Draw();
    ASSERT_EQ(canvas.Of("fillrect").size(), 1u);
    const DrawCall fill = canvas.Of("fillrect")[0];
    EXPECT_EQ(fill.color.a, 127);
    EXPECT_EQ((std::vector<float>{fill.x, fill.y, fill.x1, fill.y1}), (std::vector<float>{116, 216, 284, 284}));
    EXPECT_EQ(canvas.Of("stretched").size(), 4u);
    std::vector<int32_t> turns;
    for (const DrawCall& c : canvas.Of("turned")) turns.push_back(c.anchor);
    EXPECT_EQ(turns, (std::vector<int32_t>{1, 2, -1, 0}));
}
