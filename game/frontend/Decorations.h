#pragma once
// The animations of the front-end pages: slide-ins that bring widgets and pictures onto the
// 800 x 600 menu screen from one of its edges, and the box frame, a set of boxes that open and
// grow framed by a corner picture and four edge pictures.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class MenuPicture;
class Widget;

// Where a slide-in starts: above, below, left or right of the screen.
enum class SlideFrom : int32_t {
    Above = 1,
    Below = 2,
    Left = 3,
    Right = 4,
};

// Slide-in entries. After a reset (and for a picture from the start) an element waits its delay
// at the start edge, then moves towards its target with a step of sqrt(distance) x speed x dt,
// so it slows as it nears the target, and snaps onto it when it meets or passes it.
class DecorationList {
public:
    struct Entry {
        Widget* widget = nullptr;                // widget entries
        std::unique_ptr<MenuPicture> picture;    // picture entries (null when it could not be loaded)
        float speed = 0.0f;
        float delay = 0.0f;
        float remainingDelay = 0.0f;
        bool done = false;
        SlideFrom direction = SlideFrom::Right;
        float targetX = 0.0f, targetY = 0.0f;
        float currentX = 0.0f, currentY = 0.0f;
        SharedString name;                       // the picture's name; empty for widgets
    };

    // Start coordinates off the screen by direction.
    static constexpr float kAboveY = -50.0f, kBelowY = 650.0f, kLeftX = -50.0f, kRightX = 850.0f;

    DecorationList() = default;
    ~DecorationList();
    DecorationList(const DecorationList&) = delete;
    DecorationList& operator=(const DecorationList&) = delete;

    // The widget is placed at its target at once; it slides in from the next reset on.
    void AddWidget(Widget* widget, int32_t x, int32_t y, SlideFrom direction, float speed, float delay);
    // The picture by its own name through the menu canvas; it starts at its start edge.
    void AddPicture(const SharedString& name, float x, float y, SlideFrom direction, float speed, float delay);

    // Every entry back to its start edge, not done, waiting its delay.
    void Reset();
    // One step of every entry, then each widget placed at its (truncated) current position.
    void UpdateWidgets(float dt);
    // One step of every entry.
    void UpdatePictures(float dt);
    // Each picture at its current position, white with alpha x 255 (truncated), blended.
    void DrawPictures(float alpha) const;

    const std::vector<Entry>& Entries() const { return entries_; }

private:
    void Step(float dt);
    static void PlaceAtStartEdge(Entry& entry);

    std::vector<Entry> entries_;
};

// One box of a frame: it slides open from its start rectangle while its opening timer runs,
// then grows to its target once its growing timer has run out.
struct FrameBox {
    struct Edges {
        float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
    };
    Edges start;
    Edges target;
    Edges current;
    // 1 down, 2 up, 3 right, 4 left.
    int32_t openingMode = 0;
    // 0 all four sides outwards; 1..4 one side outwards (down, up, right, left); 5..8 the left,
    // top, right or bottom edge eased onto its target.
    int32_t growingMode = 0;
    bool opened = false;
    bool grown = false;
    float growthSpeed = 0.0f;
    float openingTimer = 0.0f;
    float growingTimer = 0.0f;
};

class BoxFrame {
public:
    BoxFrame();
    ~BoxFrame();
    BoxFrame(const BoxFrame&) = delete;
    BoxFrame& operator=(const BoxFrame&) = delete;

    // Loads "Menu\<name>" for the corner and the four edges (top, bottom, left, right) and takes
    // the fill colour.
    void SetPictures(const SharedString& corner, const SharedString (&edges)[4], const Color& fill);
    // Active again; every box back to its start, neither opened nor grown.
    void Reset();
    void Update(float dt);
    // Each box whose growing timer is below 0: filled inside, edges along the sides, the corner
    // picture turned into each corner.
    void Draw() const;

    bool active = false;
    std::vector<FrameBox> boxes;
    std::unique_ptr<MenuPicture> corner;
    std::unique_ptr<MenuPicture> edges[4];
    Color fill;

private:
    static void Open(FrameBox& box, float dt);
    static void Grow(FrameBox& box, float dt);
};
