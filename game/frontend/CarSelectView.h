#pragma once
// The 3-D car carousel of the single-player page: every car of the car catalogue stands on a
// ring, cars the chosen mission does not offer show as spinning question marks, a camera of its
// own glides to the current car, which turns by itself or with the keys or a mouse drag, and the
// whole is drawn into a rectangle of the menu screen.
//
// With an empty catalogue the view holds no models: selecting, turning, input and drawing do
// nothing. With no car unlocked the selection stays where it is.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/core/Math.h"

class CarDefinition;
class D3D8Mesh;
class MenuScreen;

class CarSelectView {
public:
    // flags bits.
    static constexpr uint8_t kDragging = 1u << 0;
    static constexpr uint8_t kAutoTurn = 1u << 1;
    static constexpr uint8_t kRingBuilt = 1u << 2;
    // The ring's radius and the camera's height above it.
    static constexpr float kRingRadius = 100.0f;
    static constexpr float kCameraHeight = 10.0f;
    static constexpr float kFarPlane = 500.0f;
    // How fast the camera glides (a share of the way per second, capped at all of it).
    static constexpr float kGlideRate = 4.0f;
    static constexpr float kDragTurn = 0.001f;

    struct Model {
        CarDefinition* definition = nullptr;
        // The chosen mission does not offer the car.
        uint8_t locked = 1;
        // Where the camera stands to look at the car, and how it is turned.
        Vector3 cameraPosition;
        Quaternion cameraOrientation;
        // The car's place on the ring and its turn about the vertical.
        Vector3 position;
        float yaw = 0.0f;
    };

    // Loads the car catalogue and builds the ring. The rectangle is the part of the menu screen
    // the view draws into (right and bottom edges outside). The engine's services outlive it.
    CarSelectView(const EngineServices& engine, const Rect& screenRect);
    ~CarSelectView();
    CarSelectView(const CarSelectView&) = delete;
    CarSelectView& operator=(const CarSelectView&) = delete;

    // One model per catalogue car, placed on the ring (the locks of the models that already
    // existed are kept); with loadBase the turntable "Models\CarSelect.ZKM" is loaded, when the
    // tree has it. The question mark "Models\Questionmark.ZKM" is always loaded.
    void Load(bool loadBase);
    // Locks every model, then unlocks the cars the mission's texts name (compared upper-cased):
    // the count at 9990010 + 100 x mission, the names after it.
    void SetMission(int32_t mission);

    // The lowest unlocked index; none unlocked leaves the index.
    void SelectFirstUnlocked();
    // The next / previous unlocked model, wrapping; after one round without one the index stays.
    void SelectNext();
    void SelectPrevious();
    // The current car's yaw += / -= the frame time.
    void TurnLeft();
    void TurnRight();

    // Mouse dragging: a click released inside the rectangle starts it (and takes the page's
    // navigation and mouse selection away), the next press ends it; meanwhile the current car
    // turns by -sign(dx) x dx^2 x 0.001 for the mouse's horizontal movement dx.
    void HandleInput(MenuScreen& page);
    // The auto-turn, the camera's glide toward the current car and the question marks' spin.
    void Update();
    // Draws the ring (every model when the turntable is there, else only the current one) with
    // the view's camera. Between the menu's 2-D draws: the camera's push flushes them first.
    void Render();

    int32_t ModelCount() const { return int32_t(models.size()); }
    bool IsUnlocked(int32_t index) const;
    // The current model; null without any.
    const Model* Current() const;
    // The current index when it names a model.
    void SetCurrent(int32_t index);
    bool AutoTurn() const { return (flags & kAutoTurn) != 0; }
    void SetAutoTurn(bool on);
    bool HasBaseModel() const { return baseModel_ != nullptr; }

    int32_t current = 0;
    std::vector<Model> models;
    uint8_t flags = kAutoTurn;
    Camera camera;
    Rect rect;

private:
    void Step(int32_t direction);
    void DrawModel(const Model& model);

    const EngineServices& engine_;
    std::unique_ptr<D3D8Mesh> baseModel_;
    std::unique_ptr<D3D8Mesh> questionMark_;
};
