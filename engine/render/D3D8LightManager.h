#pragma once
// The renderer's lights: directional, point and spot lights with engine-side colours,
// intensity, position and orientation, each sent to the device under its own light index.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "platform/gfx/GfxTypes.h"

namespace gfx { class Device; }
class D3D8RenderFacility;
class D3D8LightManager;

class D3D8Light {
public:
    virtual ~D3D8Light();
    virtual void Enable();
    virtual void Disable();
    virtual bool IsDirty() const = 0;
    // Sends the record to the device (directional and spot lights; a point light's record is
    // sent once, at creation).
    virtual void Apply() = 0;

    bool IsEnabled() const { return listPosition != -1; }
    uint32_t Index() const { return index; }
    const gfx::Light& Record() const { return record; }

    Vector4 ambientSource{0, 0, 0, 0};
    Vector4 diffuseSource{1, 1, 1, 1};
    Vector4 specularSource{1, 1, 1, 1};
    float intensity = 1.0f;
    uint8_t colourDirty = 1;

protected:
    friend class D3D8LightManager;
    D3D8Light(D3D8LightManager& manager, uint32_t index, uint32_t type);
    void Send();
    D3D8LightManager* manager;
    gfx::Light record;
    uint32_t index;
    int32_t listPosition = -1;
};

class D3D8DirectionalLight final : public D3D8Light {
public:
    bool IsDirty() const override { return colourDirty || orientationDirty; }
    void Apply() override;
    void SetOrientation(const Quaternion& q) { orientation = q; orientationDirty = 1; }
    Quaternion orientation;
    uint8_t orientationDirty = 1;

private:
    friend class D3D8LightManager;
    D3D8DirectionalLight(D3D8LightManager& m, uint32_t i);
};

class D3D8PointLight : public D3D8Light {
public:
    bool IsDirty() const override { return colourDirty || positionDirty; }
    void Apply() override {}
    Vector3 position;
    uint8_t positionDirty = 1;
    Quaternion orientation;
    uint8_t orientationDirty = 1;
    float range;
    float attenuation0 = 0.0f, attenuation1 = 1.0f, attenuation2 = 0.0f;

protected:
    friend class D3D8LightManager;
    D3D8PointLight(D3D8LightManager& m, uint32_t i, uint32_t type);
};

class D3D8SpotLight final : public D3D8PointLight {
public:
    void Apply() override;
    float falloff = 1.0f, theta = 0.0f, phi = 3.1415927f;

private:
    friend class D3D8LightManager;
    D3D8SpotLight(D3D8LightManager& m, uint32_t i);
};

class LightManager {
public:
    virtual ~LightManager() {}
    virtual int32_t Reserved() { return 0; }
    virtual void ApplyLights() = 0;
    virtual void UpdateLights() = 0;
    virtual D3D8DirectionalLight* CreateDirectionalLight() = 0;
    virtual D3D8PointLight* CreatePointLight() = 0;
    virtual D3D8SpotLight* CreateSpotLight() = 0;
};

class D3D8LightManager final : public LightManager {
public:
    explicit D3D8LightManager(gfx::Device& device) : device_(device) {}
    ~D3D8LightManager() override;
    void ApplyLights() override;
    void UpdateLights() override;
    D3D8DirectionalLight* CreateDirectionalLight() override;
    D3D8PointLight* CreatePointLight() override;
    D3D8SpotLight* CreateSpotLight() override;
    // Sets every listed light on a freshly reset device again.
    void RestoreLights();
    // Sends every listed light whose values changed (before a draw).
    void ApplyDirtyLights();
    void SetMaxActiveLights(uint32_t n) { maxActiveLights = n; }

    gfx::Device& Device() { return device_; }
    const std::vector<D3D8Light*>& DirectionalLights() const { return directionalLights; }
    const std::vector<D3D8Light*>& SpotLights() const { return spotLights; }

private:
    friend class D3D8Light;
    void Unlist(D3D8Light* light);
    gfx::Device& device_;
    uint32_t reserved = 0;
    uint32_t nextIndex = 0;
    uint32_t maxActiveLights = 8;
    std::vector<D3D8Light*> directionalLights;
    std::vector<D3D8Light*> otherLights;  // never filled
    std::vector<D3D8Light*> spotLights;
    // Every light made here and not yet deleted, so the manager can let go of them all.
    std::vector<D3D8Light*> created;
};
