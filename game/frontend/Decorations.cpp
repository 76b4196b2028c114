#include "game/frontend/Decorations.h"

#include <cmath>

#include "engine/core/Debugger.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/Widget.h"

namespace {

// Menu pictures are stored bottom row first.
constexpr uint32_t kFlipRows = 1;
// The growth and opening rates of the frame's boxes.
constexpr float kOpenRate = 0.2f;
constexpr float kGrowRate = 0.2f;
constexpr float kEaseRate = 30.0f;
// A box growing on all sides is done once its top-left corner is this close to the target's.
constexpr float kGrowSnap = 5.0f;

MenuPicture* LoadPicture(const SharedString& name) {
    MenuCanvas* canvas = GetMenuCanvas();
    return canvas ? canvas->LoadPicture(name, kFlipRows) : nullptr;
}

// Moves `value` towards `target` by sqrt(distance) x rate; true once it has reached it.
bool Ease(float& value, float target, float rate) {
    const float distance = std::fabs(target - value);
    const float step = std::sqrt(distance) * rate;
    if (step >= distance) {
        value = target;
        return true;
    }
    value += target > value ? step : -step;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// DecorationList

DecorationList::~DecorationList() = default;

void DecorationList::AddWidget(Widget* widget, int32_t x, int32_t y, SlideFrom direction, float speed, float delay) {
    Entry entry;
    entry.widget = widget;
    entry.speed = speed;
    entry.delay = delay;
    entry.remainingDelay = delay;
    entry.direction = direction;
    entry.targetX = entry.currentX = float(x);
    entry.targetY = entry.currentY = float(y);
    if (widget) widget->SetPosition({x, y}, false);
    entries_.push_back(std::move(entry));
}

void DecorationList::AddPicture(const SharedString& name, float x, float y, SlideFrom direction, float speed,
                                float delay) {
    Entry entry;
    entry.picture.reset(LoadPicture(name));
    entry.speed = speed;
    entry.delay = delay;
    entry.remainingDelay = delay;
    entry.direction = direction;
    entry.targetX = entry.currentX = x;
    entry.targetY = entry.currentY = y;
    entry.name = name;
    PlaceAtStartEdge(entry);
    entries_.push_back(std::move(entry));
}

void DecorationList::PlaceAtStartEdge(Entry& entry) {
    switch (entry.direction) {
    case SlideFrom::Above: entry.currentY = kAboveY; break;
    case SlideFrom::Below: entry.currentY = kBelowY; break;
    case SlideFrom::Left: entry.currentX = kLeftX; break;
    case SlideFrom::Right: entry.currentX = kRightX; break;
    }
}

void DecorationList::Reset() {
    for (Entry& entry : entries_) {
        entry.done = false;
        entry.currentX = entry.targetX;
        entry.currentY = entry.targetY;
        entry.remainingDelay = entry.delay;
        PlaceAtStartEdge(entry);
    }
}

void DecorationList::Step(float dt) {
    for (Entry& entry : entries_) {
        entry.remainingDelay -= dt;
        if (!(entry.remainingDelay < 0.0f) || entry.done) continue;
        const bool vertical = entry.direction == SlideFrom::Above || entry.direction == SlideFrom::Below;
        const float distance = vertical ? std::fabs(entry.currentY - entry.targetY)
                                        : std::fabs(entry.currentX - entry.targetX);
        const float step = std::sqrt(distance) * entry.speed * dt;
        switch (entry.direction) {
        case SlideFrom::Above:
            entry.currentY += step;
            entry.done = entry.currentY >= entry.targetY;
            break;
        case SlideFrom::Below:
            entry.currentY -= step;
            entry.done = entry.currentY <= entry.targetY;
            break;
        case SlideFrom::Left:
            entry.currentX += step;
            entry.done = entry.currentX >= entry.targetX;
            break;
        case SlideFrom::Right:
            entry.currentX -= step;
            entry.done = entry.currentX <= entry.targetX;
            break;
        }
        if (entry.done) {
            entry.currentX = entry.targetX;
            entry.currentY = entry.targetY;
        }
    }
}

void DecorationList::UpdateWidgets(float dt) {
    Step(dt);
    for (Entry& entry : entries_)
        if (entry.widget) entry.widget->SetPosition({int32_t(entry.currentX), int32_t(entry.currentY)}, false);
}

void DecorationList::UpdatePictures(float dt) { Step(dt); }

void DecorationList::DrawPictures(float alpha) const {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    Color white;
    white.a = menu_detail::AlphaByte(alpha);
    for (const Entry& entry : entries_) {
        if (!entry.picture) continue;
        canvas->DrawSpriteAnchored(entry.picture.get(), nullptr, kMenuAnchorTopLeft, {entry.currentX, entry.currentY},
                                   kMenuAnchorTopLeft, &white, kMenuDrawAlpha);
    }
}

// ---------------------------------------------------------------------------------------------
// BoxFrame

BoxFrame::BoxFrame() = default;
BoxFrame::~BoxFrame() = default;

void BoxFrame::SetPictures(const SharedString& cornerName, const SharedString (&edgeNames)[4], const Color& colour) {
    corner.reset(LoadPicture(SharedString::Format("Menu\\%s", cornerName.c_str())));
    for (int i = 0; i < 4; ++i) edges[i].reset(LoadPicture(SharedString::Format("Menu\\%s", edgeNames[i].c_str())));
    fill = colour;
}

void BoxFrame::Reset() {
    active = true;
    for (FrameBox& box : boxes) {
        box.current = box.start;
        box.opened = false;
        box.grown = false;
    }
}

void BoxFrame::Open(FrameBox& box, float dt) {
    // Both edges of the moving axis slide together; past the target edge they snap onto it.
    FrameBox::Edges& c = box.current;
    const FrameBox::Edges& t = box.target;
    const bool vertical = box.openingMode == 1 || box.openingMode == 2;
    float& lead = vertical ? c.top : c.left;
    float& trail = vertical ? c.bottom : c.right;
    const float goal = vertical ? t.top : t.left;
    const float step = std::sqrt(std::fabs(goal - lead)) * dt * kOpenRate;
    switch (box.openingMode) {
    case 1: // down
    case 3: // right
        lead += step;
        trail += step;
        box.opened = lead >= goal;
        break;
    case 2: // up
    case 4: // left
        lead -= step;
        trail -= step;
        box.opened = lead <= goal;
        break;
    default: box.opened = true; return;
    }
    if (box.opened) {
        trail = goal + (trail - lead);
        lead = goal;
    }
}

void BoxFrame::Grow(FrameBox& box, float dt) {
    FrameBox::Edges& c = box.current;
    const FrameBox::Edges& t = box.target;
    const float dx = (t.right - t.left) * box.growthSpeed * dt * kGrowRate;
    const float dy = (t.bottom - t.top) * box.growthSpeed * dt * kGrowRate;
    auto outwards = [](float& edge, float target, float step, bool decreasing) {
        edge += decreasing ? -step : step;
        if (decreasing ? edge <= target : edge >= target) {
            edge = target;
            return true;
        }
        return false;
    };
    switch (box.growingMode) {
    case 0:
        c.left -= dx;
        c.right += dx;
        c.top -= dy;
        c.bottom += dy;
        if (std::fabs(c.left - t.left) <= kGrowSnap && std::fabs(c.top - t.top) <= kGrowSnap) {
            c = t;
            box.grown = true;
        }
        break;
    case 1: box.grown = outwards(c.bottom, t.bottom, dy, false); break;
    case 2: box.grown = outwards(c.top, t.top, dy, true); break;
    case 3: box.grown = outwards(c.right, t.right, dx, false); break;
    case 4: box.grown = outwards(c.left, t.left, dx, true); break;
    case 5: box.grown = Ease(c.left, t.left, dt * kEaseRate); break;
    case 6: box.grown = Ease(c.top, t.top, dt * kEaseRate); break;
    case 7: box.grown = Ease(c.right, t.right, dt * kEaseRate); break;
    case 8: box.grown = Ease(c.bottom, t.bottom, dt * kEaseRate); break;
    default: box.grown = true; break;
    }
    Debugger::Instance().Log(3, "Menu done");
}

void BoxFrame::Update(float dt) {
    if (!active) return;
    for (FrameBox& box : boxes) {
        box.openingTimer -= dt;
        box.growingTimer -= dt;
        if (box.openingTimer > 0.0f && !box.opened) Open(box, dt);
        if (box.growingTimer <= 0.0f && !box.grown) Grow(box, dt);
    }
}

void BoxFrame::Draw() const {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    const float cw = corner ? float(corner->Width()) : 0.0f;
    const float ch = corner ? float(corner->Height()) : 0.0f;
    for (const FrameBox& box : boxes) {
        if (!(box.growingTimer < 0.0f)) continue;
        const FrameBox::Edges& r = box.current;
        canvas->FillRect({r.left + cw, r.top + ch, r.right - cw, r.bottom - ch}, fill);
        // Top, bottom, left and right, each between the corners.
        const MenuRect sides[4] = {{r.left + cw, r.top, r.right - cw, r.top + ch},
                                   {r.left + cw, r.bottom - ch, r.right - cw, r.bottom},
                                   {r.left, r.top + ch, r.left + cw, r.bottom - ch},
                                   {r.right - cw, r.top + ch, r.right, r.bottom - ch}};
        for (int i = 0; i < 4; ++i)
            if (edges[i]) canvas->DrawSpriteStretched(edges[i].get(), sides[i], nullptr, kMenuDrawAlpha);
        if (!corner) continue;
        // The picture is the top-left corner; turned clockwise it makes the others.
        const Vector2 centres[4] = {{r.right - cw / 2, r.top + ch / 2},
                                    {r.right - cw / 2, r.bottom - ch / 2},
                                    {r.left + cw / 2, r.bottom - ch / 2},
                                    {r.left + cw / 2, r.top + ch / 2}};
        const int32_t turns[4] = {1, 2, -1, 0};
        for (int i = 0; i < 4; ++i) canvas->DrawSpriteTurned(corner.get(), centres[i], turns[i], nullptr, kMenuDrawAlpha);
    }
}
