#include "game/frontend/CarSelectView.h"

#include <algorithm>

#include "engine/core/FileStream.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuScreen.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"

namespace {

constexpr const char* kBaseModel = "Models\\CarSelect.ZKM";
constexpr const char* kQuestionMark = "Models\\Questionmark.ZKM";
// The camera starts tilted and glides level as it reaches its first car.
constexpr float kStartPitch = -0.5f;
// The single-player block of a mission and the offered cars in it.
constexpr int32_t kMissionBlock = 9990000;
constexpr int32_t kMissionStride = 100;
constexpr int32_t kCarCountText = 10;

SharedString Upper(SharedString text) {
    SharedString copy = text.Clone();
    copy.ToUpper();
    return copy;
}

// The camera's turn for looking along -d from outside the ring: its axes are right (d.z, 0,
// -d.x), up and forward d.
Quaternion LookingInward(const Vector3& d) {
    Matrix4 axes;
    const Vector3 right(d.z, 0.0f, -d.x), up(0.0f, 1.0f, 0.0f);
    for (int i = 0; i < 3; ++i) {
        axes.m[i][0] = right[i];
        axes.m[i][1] = up[i];
        axes.m[i][2] = d[i];
    }
    return Quaternion(axes);
}

Matrix4 WorldOf(const CarSelectView::Model& model) {
    const Vector3 c = model.definition ? model.definition->chassisBox.centre : Vector3();
    const Vector3& p = model.position;
    return Matrix4::Translation(-c.x, -c.y, -c.z) * Matrix4::RotationY(model.yaw) * Matrix4::Translation(c.x, c.y, c.z) *
           Matrix4::Translation(p.x, p.y, p.z);
}

} // namespace

CarSelectView::CarSelectView(const EngineServices& engine, const Rect& screenRect) : rect(screenRect), engine_(engine) {
    CarDefinition::LoadAll();
    camera.SetFarPlane(kFarPlane);
    camera.SetViewport(rect);
    camera.orientation.PreRotateX(kStartPitch);
    camera.orientationDirty = 1;
    flags = kAutoTurn;
    Load(true);
}

CarSelectView::~CarSelectView() = default;

void CarSelectView::Load(bool loadBase) {
    MeshFactory& meshes = MeshFactory::Instance();
    baseModel_.reset(loadBase && FileExists(SharedString(kBaseModel)) ? meshes.GetByName(SharedString(kBaseModel), true)
                                                                      : nullptr);
    questionMark_.reset(meshes.GetByName(SharedString(kQuestionMark), true));

    const std::vector<CarDefinition*>& cars = CarCatalogue::Instance().Entries();
    models.resize(cars.size());
    if (cars.empty()) {
        flags |= kRingBuilt;
        return;
    }
    const float step = -TwoPi / float(cars.size());
    for (size_t i = 0; i < cars.size(); ++i) {
        Model& model = models[i];
        model.definition = cars[i];
        const Vector3 d = Matrix4::RotationY(float(i) * step).TransformNormal(Vector3(0.0f, 0.0f, -1.0f));
        model.position = d * kRingRadius;
        model.position.z -= model.definition->chassisBox.centre.z;
        D3D8Mesh* body = model.definition->chassisMeshes.empty() ? nullptr : model.definition->chassisMeshes.front();
        const float size = body ? body->Radius() : 0.0f;
        model.cameraPosition = d * (kRingRadius + 1.5f * size) + Vector3(0.0f, kCameraHeight, 0.0f);
        model.cameraOrientation = LookingInward(d);
        model.yaw = 0.0f;
    }
    if (current < 0 || current >= ModelCount()) current = 0;
    flags |= kRingBuilt;
}

void CarSelectView::SetMission(int32_t mission) {
    for (Model& model : models) model.locked = 1;
    const int32_t base = kMissionBlock + kMissionStride * mission;
    const int32_t count = engine_.Text(base + kCarCountText).ToInt();
    for (int32_t k = 1; k <= count; ++k) {
        const SharedString offered = Upper(engine_.Text(base + kCarCountText + k));
        for (Model& model : models)
            if (model.definition && Upper(model.definition->name) == offered) model.locked = 0;
    }
}

bool CarSelectView::IsUnlocked(int32_t index) const {
    return index >= 0 && index < ModelCount() && !models[size_t(index)].locked;
}

const CarSelectView::Model* CarSelectView::Current() const {
    return current >= 0 && current < ModelCount() ? &models[size_t(current)] : nullptr;
}

void CarSelectView::SetCurrent(int32_t index) {
    if (index >= 0 && index < ModelCount()) current = index;
}

void CarSelectView::SetAutoTurn(bool on) {
    if (on) flags |= kAutoTurn;
    else flags &= uint8_t(~kAutoTurn);
}

void CarSelectView::SelectFirstUnlocked() {
    for (int32_t i = 0; i < ModelCount(); ++i)
        if (IsUnlocked(i)) {
            current = i;
            return;
        }
}

void CarSelectView::Step(int32_t direction) {
    const int32_t n = ModelCount();
    int32_t i = current;
    for (int32_t tries = 0; tries < n; ++tries) {
        i = ((i + direction) % n + n) % n;
        if (IsUnlocked(i)) {
            current = i;
            return;
        }
    }
}

void CarSelectView::SelectNext() { Step(1); }
void CarSelectView::SelectPrevious() { Step(-1); }

void CarSelectView::TurnLeft() {
    if (current >= 0 && current < ModelCount()) models[size_t(current)].yaw += engine_.FrameTime();
}

void CarSelectView::TurnRight() {
    if (current >= 0 && current < ModelCount()) models[size_t(current)].yaw -= engine_.FrameTime();
}

void CarSelectView::HandleInput(MenuScreen& page) {
    InputDevice* input = engine_.input;
    if (!input || models.empty()) return;
    if (!(flags & kDragging)) {
        const Point2i* cursor = input->GetCursorPosition();
        if (cursor && input->MouseReleased(0) && cursor->x >= rect.left && cursor->x < rect.right &&
            cursor->y >= rect.top && cursor->y < rect.bottom) {
            flags |= kDragging;
            page.EnableNavigation(false);
            page.EnableMouse(false);
        }
    } else if (input->MousePressed(0)) {
        flags &= uint8_t(~kDragging);
        page.EnableNavigation(true);
        page.EnableMouse(true);
    }
    if (!(flags & kDragging) || current < 0 || current >= ModelCount()) return;
    const MouseState* mouse = input->GetMouseState();
    const float dx = mouse ? mouse->x : 0.0f;
    float& yaw = models[size_t(current)].yaw;
    yaw -= (dx > 0.0f ? 1.0f : dx < 0.0f ? -1.0f : 0.0f) * dx * dx * kDragTurn;
    if (AutoTurn()) yaw += engine_.FrameTime();
}

void CarSelectView::Update() {
    if (models.empty()) return;
    const float dt = engine_.FrameTime();
    if (current >= 0 && current < ModelCount()) {
        Model& shown = models[size_t(current)];
        if (AutoTurn()) shown.yaw -= dt;
        const float t = Clamp(kGlideRate * dt, 0.0f, 1.0f);
        camera.position += (shown.cameraPosition - camera.position) * t;
        camera.orientation = camera.orientation.Slerp(shown.cameraOrientation, t);
        camera.positionDirty = 1;
        camera.orientationDirty = 1;
    }
    for (Model& model : models)
        if (model.locked) model.yaw += dt;
}

void CarSelectView::Render() {
    RenderFacility* renderer = engine_.renderer;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack || models.empty()) return;
    camera.Apply();
    renderer->PushState(&camera);
    stack->Push();
    stack->LoadIdentity();
    if (baseModel_) baseModel_->Render();
    if (baseModel_) {
        for (const Model& model : models) DrawModel(model);
    } else if (const Model* shown = Current()) {
        DrawModel(*shown);
    }
    stack->Pop();
    renderer->PopState();
}

void CarSelectView::DrawModel(const Model& model) {
    MatrixStack& stack = *engine_.renderer->GetMatrixStack();
    stack.Push();
    stack.Load(WorldOf(model));
    const CarDefinition* car = model.definition;
    if (model.locked || !car) {
        if (questionMark_) questionMark_->Render();
    } else {
        for (int32_t i = 0; i < CarDefinition::kWheels; ++i) {
            const Vector3& w = car->wheelPoints[i];
            Matrix4 local = Matrix4::Translation(w.x, w.y, w.z);
            // The right wheels' model faces the other way.
            if (i == 1 || i == 3) local = Matrix4::RotationY(Pi) * local;
            RenderMeshAt(stack, i < 2 ? car->frontWheelMesh : car->backWheelMesh, local);
        }
        if (!car->chassisMeshes.empty() && car->chassisMeshes.front()) car->chassisMeshes.front()->Render();
    }
    stack.Pop();
}
