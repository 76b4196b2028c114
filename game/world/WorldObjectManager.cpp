#include "game/world/WorldObjectManager.h"

#include <algorithm>

#include "engine/core/Camera.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshTypes.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "game/world/GameSession.h"
#include "game/world/ShaderCodes.h"
#include "game/world/WorldEffects.h"

WorldObjectManager::WorldObjectManager(PhysicsWorld& physics, ObjectQuadTree& tree, RenderFacility* renderer)
    : CollisionListener(AskIgnorePair), physics_(physics), tree_(tree), renderer_(renderer) {
    if (renderer_) {
        // A plain lit, textured pass set kept for the object system.
        ShaderDescription d;
        d.lighting = 1;
        d.zWrite = 1;
        d.stageMask = 1;
        d.zFunc = world_detail::shader::LessEqual;
        d.stages[0].colorOp = d.stages[0].alphaOp = world_detail::shader::Modulate;
        d.stages[0].colorArg1 = d.stages[0].alphaArg1 = world_detail::shader::Texture;
        d.stages[0].colorArg2 = d.stages[0].alphaArg2 = world_detail::shader::Diffuse;
        shader_ = renderer_->AddShader(d);
    }
}

WorldObjectManager::~WorldObjectManager() {
    physics_.RemoveObject(this);
    for (int32_t i = 0; i < objectCount_; ++i) {
        WorldObject& o = objects_[size_t(i)];
        if (o.Body()) {
            physics_.RemoveObject(&o);
            o.Body()->SetGeom(nullptr);
        }
        world_detail::DestroyShards(o.Shards());
    }
    for (WorldObjectKind& k : kinds_)
        for (ShardEffect* s : k.shardPool) world_detail::DestroyShards(s);
    objects_.reset();
    bodies_.clear();
    objectSpace_.reset();
    if (renderer_) {
        for (ObjectMesh& m : meshes_) {
            if (m.vertexBuffer) renderer_->ReleaseVertexBuffer(m.vertexBuffer);
            if (m.indexBuffer) renderer_->ReleaseIndexBuffer(m.indexBuffer);
        }
        for (ObjectMaterialHandles& h : materials_) {
            if (h.material) renderer_->ReleaseMaterial(h.material);
            if (h.pass) renderer_->ReleaseShader(h.pass);
            if (h.secondPass) renderer_->ReleaseShader(h.secondPass);
        }
        if (shader_) renderer_->ReleaseShader(shader_);
    }
}

int32_t WorldObjectManager::MissionVariant() const { return session ? session->missionVariant : -1; }

RigidBody* WorldObjectManager::NewBody() {
    bodies_.push_back(std::make_unique<OffsetRigidBody>(physics_));
    return bodies_.back().get();
}

void WorldObjectManager::CreateObjectSpace(const Vector3& centre, const Vector3& extents, SpaceKind kind) {
    objectSpace_ = std::make_unique<PhysicsSpace>(centre, extents, 8, kind);
    objectSpace_->SetCategoryBits(0);
    objectSpace_->SetCollideBits(0x2A0);
    objectSpace_->listeners.push_back(this);
}

void WorldObjectManager::AddObjectSpaceToWorld() {
    if (objectSpace_) objectSpace_->AddToWorld(physics_);
}

void WorldObjectManager::ResizeObjects(int32_t count) {
    objects_ = std::make_unique<WorldObject[]>(size_t(std::max(count, 0)));
    objectCount_ = std::max(count, 0);
}

void WorldObjectManager::BuildMeshes() {
    if (!renderer_) return;
    for (ObjectMesh& m : meshes_) {
        if (m.vertices.empty() || m.indices.empty()) continue;
        m.vertexBuffer = renderer_->CreateVertexBuffer(VertexFormat, 32, uint32_t(m.vertices.size()), false);
        if (m.vertexBuffer && m.vertexBuffer->data()) {
            std::copy_n(reinterpret_cast<const uint8_t*>(m.vertices.data()), m.vertices.size() * 32, m.vertexBuffer->data());
            m.vertexBuffer->Update(0, uint32_t(m.vertices.size()));
        }
        m.indexBuffer = renderer_->CreateIndexBuffer(uint32_t(m.indices.size()), uint32_t(m.vertices.size()), false);
        if (m.indexBuffer && m.indexBuffer->indices) {
            std::copy(m.indices.begin(), m.indices.end(), m.indexBuffer->indices.get());
            m.indexBuffer->Update(0, uint32_t(m.indices.size()));
        }
    }
}

void WorldObjectManager::BeginFrame(const Camera* camera) {
    camera_ = camera;
    opaque_.clear();
    transparent_.clear();
}

void WorldObjectManager::QueueOpaque(WorldObject* object) {
    const int32_t key = object->kind->batchKey;
    if (key != -1) {
        // Objects sharing a key sit together, so the pass is applied once per run.
        for (size_t i = 0; i < opaque_.size(); ++i)
            if (opaque_[i]->kind->batchKey == key) {
                opaque_.insert(opaque_.begin() + ptrdiff_t(i), object);
                return;
            }
    }
    opaque_.push_back(object);
}

void WorldObjectManager::QueueTransparent(WorldObject* object, float distanceSquared) {
    for (size_t i = 0; i < transparent_.size(); ++i)
        if (transparent_[i].second <= distanceSquared) {
            transparent_.insert(transparent_.begin() + ptrdiff_t(i), {object, distanceSquared});
            return;
        }
    transparent_.push_back({object, distanceSquared});
}

void WorldObjectManager::ComputeFadeTables(const Camera& camera) {
    for (int c = 0; c < 6; ++c) {
        const float d = camera.DistanceForClass(c);
        const float start = 0.75f * d;
        fadeStart_[c] = start * start;
        fadeEnd_[c] = d * d;
        const float span = fadeEnd_[c] - fadeStart_[c];
        fadeScale_[c] = span > 0.0f ? 1.0f / span : 0.0f;
    }
}

uint32_t WorldObjectManager::FadeAlpha(float d2, int32_t distanceClass) const {
    const int c = std::clamp(distanceClass, 0, 5);
    if (d2 < fadeStart_[c]) return 255;
    if (d2 <= fadeEnd_[c]) {
        const float a = (1.0f - (d2 - fadeStart_[c]) * fadeScale_[c]) * 255.0f;
        return a <= 0.0f ? 0u : a >= 255.0f ? 255u : uint32_t(a);
    }
    return 0;
}

void WorldObjectManager::ActivatePending() {
    // Neighbours woken by an acquisition join the list and are served in the same pass.
    for (size_t i = 0; i < pending_.size(); ++i) {
        WorldObject* o = pending_[i];
        if (o->Body() || !o->kind || !o->kind->TakesBody() || !o->Geom()) continue;
        o->AcquireBody();
        activated_.push_back(o);
    }
    pending_.clear();
}

void WorldObjectManager::MoveActivated() {
    for (WorldObject* o : activated_) {
        if (!o->Body() || o->InWorldSpace()) continue;
        if (objectSpace_) objectSpace_->Remove(o->Geom());
        o->Geom()->AddToWorld(physics_);
        o->SetInWorldSpace(true);
        // A reset sends objects home without taking them off the live list; one woken again
        // is not listed twice (it would rest and sleep at twice the rate).
        if (std::find(live_.begin(), live_.end(), o) == live_.end()) live_.push_back(o);
    }
    activated_.clear();
}

void WorldObjectManager::SleepIdleBodies(float dt) {
    if (!camera_) return;
    const Vector3 eye = camera_->position;
    for (size_t i = 0; i < live_.size();) {
        WorldObject* o = live_[i];
        if (RigidBody* body = o->Body(); body && body->IsEnabled()) {
            if (body->GetLinearVelocity().LengthSquared() < SleepSpeedSquared) {
                o->restTime += dt;
                if (o->restTime > SleepTime) {
                    body->Disable();
                    o->restTime = 0.0f;
                }
            } else {
                o->restTime = 0.0f;
            }
        }
        const float r = 1.25f * camera_->DistanceForClass(o->distanceClass);
        if (!o->far && (o->BoundsCentre() - eye).LengthSquared() > r * r) o->far = true;
        if (o->far && (o->PlacedPosition() - eye).LengthSquared() > r * r) {
            o->DropShards();
            live_.erase(live_.begin() + ptrdiff_t(i));
            o->Update();
            continue;
        }
        ++i;
    }
}

void WorldObjectManager::DrawPart(const WorldObjectKind& kind, const ObjectPart& part) {
    ++drawnParts_;
    D3D8GeomRenderer* geometry = renderer_ ? renderer_->GetGeomRenderer() : nullptr;
    if (!geometry || size_t(kind.mesh) >= meshes_.size()) return;
    const ObjectMesh& mesh = meshes_[size_t(kind.mesh)];
    if (!mesh.vertexBuffer || !mesh.indexBuffer) return;
    const DrawRange range{uint32_t(part.range[0]), uint32_t(part.range[1]), uint32_t(part.range[2]),
                          uint32_t(part.range[3])};
    geometry->DrawIndexed(mesh.vertexBuffer, mesh.indexBuffer, range);
}

namespace {
Matrix4 WorldMatrix(const WorldObject& o) {
    Matrix4 m = o.GetOrientation().ToMatrix();
    const Vector3 p = o.GetPosition();
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
    return m;
}
} // namespace

void WorldObjectManager::DrawOpaque(const Camera& camera) {
    drawnParts_ = 0;
    cameraPosition_ = camera.position;
    ComputeFadeTables(camera);
    MatrixStack* stack = renderer_ ? renderer_->GetMatrixStack() : nullptr;
    if (stack) stack->Push();
    int32_t lastKey = -1;
    for (WorldObject* o : opaque_) {
        const WorldObjectKind& kind = *o->kind;
        if (stack) stack->Load(WorldMatrix(*o));
        o->fadeAlpha = FadeAlpha(o->viewDistanceSquared, o->distanceClass);
        const Color colour = Color::FromBytes(255, 255, 255, uint8_t(o->fadeAlpha));
        if (kind.batchKey == -1) {
            for (const ObjectPart& part : kind.parts) {
                if (part.material) part.material->SetColor(colour);
                if (renderer_) {
                    renderer_->ApplyMaterial(part.material);
                    renderer_->ApplyShaderPass(part.pass);
                }
                DrawPart(kind, part);
            }
            lastKey = -1;
        } else if (!kind.parts.empty()) {
            const ObjectPart& part = kind.parts.front();
            if (part.material) part.material->SetColor(colour);
            if (renderer_) {
                renderer_->ApplyMaterial(part.material);
                if (kind.batchKey != lastKey) renderer_->ApplyShaderPass(part.pass);
            }
            lastKey = kind.batchKey;
            DrawPart(kind, part);
        }
    }
    if (stack) stack->Pop();
}

void WorldObjectManager::DrawTransparent(const Camera&, float frameTime) {
    MatrixStack* stack = renderer_ ? renderer_->GetMatrixStack() : nullptr;
    if (stack) stack->Push();
    for (const auto& [o, d2] : transparent_) {
        const WorldObjectKind& kind = *o->kind;
        if (stack) stack->Load(WorldMatrix(*o));
        o->fadeAlpha = FadeAlpha(o->viewDistanceSquared, o->distanceClass);
        const Color colour = Color::FromBytes(255, 255, 255, uint8_t(o->fadeAlpha));
        const bool twoSided = (kind.flags & WorldObjectKind::DoubleSided) != 0;
        if (twoSided && renderer_) renderer_->SetCullMode(0);
        for (const ObjectPart& part : kind.parts) {
            if (part.material) part.material->SetColor(colour);
            if (renderer_) {
                renderer_->ApplyMaterial(part.material);
                renderer_->ApplyShaderPass(part.pass);
            }
            if (o->Shattered()) world_detail::DrawShards(o->Shards(), frameTime);
            else DrawPart(kind, part);
        }
        if (twoSided && renderer_) renderer_->SetCullMode(1);
    }
    if (stack) stack->Pop();
}
