#pragma once
// The game's one current controller: the car select while the player chooses, then the local
// player's controller. The game calls it every frame: input, a step after the world update and
// two drawing passes.
class ChaseCamera;
class World;

class VehicleController {
public:
    virtual ~VehicleController() = default;
    // Input; not called while the mode freezes input.
    virtual void Update() {}
    virtual void PostWorldUpdate(World* /*world*/, ChaseCamera* /*camera*/, float /*dt*/) {}
    virtual void Draw3D(ChaseCamera* /*camera*/) {}
    virtual void DrawHud() {}
    // Asked by the game after Draw3D and DrawHud: whether the mode's own 3-D overlay and HUD
    // are drawn this frame.
    virtual bool ShowsModeOverlays() const { return false; }
    virtual bool ShowsModeHud() const { return false; }
};
