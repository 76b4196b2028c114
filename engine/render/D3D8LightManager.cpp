#include "engine/render/D3D8LightManager.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/gfx/Device.h"

namespace {
gfx::ColorValue Scaled(const Vector4& v, float s) { return {v.x * s, v.y * s, v.z * s, v.w * s}; }
}  // namespace

D3D8Light::D3D8Light(D3D8LightManager& m, uint32_t i, uint32_t type) : manager(&m), index(i) {
    record.type = type;
    record.diffuse = Scaled(diffuseSource, 1.0f);
    record.specular = Scaled(specularSource, 1.0f);
    record.ambient = Scaled(ambientSource, 1.0f);
}

// A light deleted while enabled leaves the manager's lists (and the device) first.
D3D8Light::~D3D8Light() {
    if (!manager) return;
    if (listPosition != -1) {
        manager->device_.LightEnable(index, false);
        manager->Unlist(this);
    }
    auto& created = manager->created;
    created.erase(std::remove(created.begin(), created.end(), this), created.end());
}

// A light that outlived its manager (the renderer went first at shut-down) reaches no device.
void D3D8Light::Send() {
    if (manager) manager->device_.SetLight(index, record);
}

void D3D8Light::Enable() {
    if (listPosition != -1 || !manager) return;
    manager->device_.LightEnable(index, true);
    if (record.type == gfx::light::DIRECTIONAL) {
        manager->directionalLights.push_back(this);
        listPosition = int32_t(manager->directionalLights.size() - 1);
    } else if (record.type == gfx::light::SPOT) {
        manager->spotLights.push_back(this);
        listPosition = int32_t(manager->spotLights.size() - 1);
    } else {
        listPosition = 0x7FFFFFFF;  // enabled, on no list
    }
}

void D3D8Light::Disable() {
    if (listPosition == -1 || !manager) return;
    manager->device_.LightEnable(index, false);
    manager->Unlist(this);
    listPosition = -1;
}

void D3D8LightManager::Unlist(D3D8Light* light) {
    for (auto* list : {&directionalLights, &otherLights, &spotLights}) {
        auto it = std::find(list->begin(), list->end(), light);
        if (it != list->end()) list->erase(it);
    }
}

D3D8DirectionalLight::D3D8DirectionalLight(D3D8LightManager& m, uint32_t i) : D3D8Light(m, i, gfx::light::DIRECTIONAL) {
    record.direction = {0.0f, 0.0f, -2.0f};
}

void D3D8DirectionalLight::Apply() {
    float i = std::clamp(intensity, 0.0f, 1.0f);
    record.diffuse = Scaled(diffuseSource, i);
    record.specular = Scaled(specularSource, i);
    record.ambient = Scaled(ambientSource, i);
    Matrix4 r;
    orientation.ToMatrix(r);
    record.direction = {-2.0f * r.m[0][2], -2.0f * r.m[1][2], -2.0f * r.m[2][2]};
    Send();
    colourDirty = 0;
    orientationDirty = 0;
}

D3D8PointLight::D3D8PointLight(D3D8LightManager& m, uint32_t i, uint32_t type)
    : D3D8Light(m, i, type), range(std::sqrt(FLT_MAX)) {
    record.direction = {0.0f, 0.0f, -1.0f};
    record.range = range;
    record.attenuation0 = attenuation0;
    record.attenuation1 = attenuation1;
    record.attenuation2 = attenuation2;
}

D3D8SpotLight::D3D8SpotLight(D3D8LightManager& m, uint32_t i) : D3D8PointLight(m, i, gfx::light::SPOT) {
    record.falloff = falloff;
    record.theta = theta;
    record.phi = phi;
}

void D3D8SpotLight::Apply() {
    float s = intensity < 1.0f ? intensity : 1.0f;
    record.diffuse = Scaled(diffuseSource, s);
    record.specular = Scaled(specularSource, s);
    record.ambient = Scaled(ambientSource, s);
    Quaternion q = orientation;
    q.Invert();
    q.RotateY(1.5707964f);
    Matrix4 m;
    q.ToMatrix(m);
    record.direction = {m.m[0][2], m.m[1][2], m.m[2][2]};
    record.position = {position.x, position.y, position.z};
    record.range = range;
    record.falloff = falloff;
    record.attenuation0 = attenuation0;
    record.attenuation1 = attenuation1;
    record.attenuation2 = attenuation2;
    record.theta = theta;
    record.phi = phi;
    Send();
    colourDirty = positionDirty = orientationDirty = 0;
}

D3D8LightManager::~D3D8LightManager() {
    // The lights belong to their creators; they must not reach back into a dead manager.
    for (D3D8Light* l : created) {
        l->listPosition = -1;
        l->manager = nullptr;
    }
}

D3D8DirectionalLight* D3D8LightManager::CreateDirectionalLight() {
    auto* l = new D3D8DirectionalLight(*this, nextIndex++);
    created.push_back(l);
    l->Send();
    return l;
}

D3D8PointLight* D3D8LightManager::CreatePointLight() {
    auto* l = new D3D8PointLight(*this, nextIndex++, gfx::light::POINT);
    created.push_back(l);
    l->Send();
    return l;
}

D3D8SpotLight* D3D8LightManager::CreateSpotLight() {
    auto* l = new D3D8SpotLight(*this, nextIndex++);
    created.push_back(l);
    l->Send();
    return l;
}

void D3D8LightManager::ApplyLights() {
    for (D3D8Light* l : directionalLights) l->Apply();
}

void D3D8LightManager::UpdateLights() {
    for (D3D8Light* l : directionalLights) {
        gfx::Light black = l->record;
        black.diffuse = black.specular = black.ambient = gfx::ColorValue{0, 0, 0, 0};
        device_.SetLight(l->index, black);
    }
}

void D3D8LightManager::ApplyDirtyLights() {
    for (const auto* list : {&directionalLights, &otherLights, &spotLights})
        for (D3D8Light* l : *list)
            if (l->IsDirty()) l->Apply();
}

void D3D8LightManager::RestoreLights() {
    // Enabling and disabling edit the lists: walk copies.
    const std::vector<D3D8Light*> lists[3] = {directionalLights, otherLights, spotLights};
    for (const auto& list : lists) {
        for (D3D8Light* l : list) {
            if (l->record.type == gfx::light::POINT) l->Send();
            else l->Apply();
            l->Disable();
            l->Enable();
        }
    }
}
