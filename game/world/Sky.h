#pragma once
// The dome behind everything, one per time of day: the one dome model textured from the sky's
// own folder, and the colour the camera's fog takes while it shows.
#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/world/WorldRecordFactories.h"

class Camera;
class D3D8Mesh;
class RenderFacility;

class Sky : public WorldFeature {
public:
    static constexpr const char* DomeModel = "Models\\Sky.ZKM";

    // Loads the dome with the texture folder searched first (the folder is removed again); draws
    // it with the renderer (none: nothing is drawn).
    Sky(RenderFacility* renderer, const SharedString& textureFolder, const Color& colour);
    ~Sky() override;
    Sky(const Sky&) = delete;
    Sky& operator=(const Sky&) = delete;

    // Sets the camera's fog colour, then draws the dome around the camera twice: mirrored in y
    // with the winding reversed (below the horizon), then as it is.
    void Draw(Camera& camera) override;

    D3D8Mesh* Dome() const { return dome_; }

    bool hasFlarePoint = false;
    Vector3 flarePoint{0.0f, 0.0f, -1.0f};
    Color colour;

private:
    RenderFacility* renderer_;
    D3D8Mesh* dome_ = nullptr;
};
