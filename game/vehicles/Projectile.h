#pragma once
// The shape every short-lived combat object shares (explosions, grenades, homing missiles,
// rockets): a Projectile is a physics client and a drawable that enters the world when it is
// launched and leaves it when its flight ends. Each kind is recycled through a ProjectilePool
// that belongs to the game's VehicleContext, so two games in one process share none. A pool
// never deletes while the game runs: a finished object goes back to the free list, so the pool
// grows to the largest number alive at once and launching allocates nothing after that.
//
// Launching, in this order: ProjectilePool::Take (the first free object, else a new one), set
// the object's flight, Projectile::Enter (physics world, whose OnAdded puts the geom into the
// space, then the world's drawables), ProjectilePool::Launched (the live list). Releasing:
// ProjectilePool::Release (Leave, then back to the free list). A kind releases itself from its
// own after-step update when its flight ends; Game::Reset releases every live object.
#include <algorithm>
#include <memory>
#include <vector>

#include "game/world/Drawable.h"
#include "game/world/PhysicsWorld.h"

class World;

class Projectile : public PhysicsClient, public Drawable {
public:
    // draws: whether the object joins the world's drawables while it flies.
    Projectile(World& world, bool draws);
    ~Projectile() override;
    Projectile(const Projectile&) = delete;
    Projectile& operator=(const Projectile&) = delete;

    // Into the physics world and, for the kinds that draw, the world's drawables.
    void Enter();
    // Out of both (the first occurrence of the drawable, the order of the rest kept); the kind's
    // OnLeave runs first. Nothing when not in the world.
    void Leave();
    bool InWorld() const { return inWorld_; }

    void Draw(const Camera&) override {}

protected:
    // Stops what the flight started (a loop voice).
    virtual void OnLeave() {}

    World& world_;

private:
    bool draws_;
    bool inWorld_ = false;
};

// The free list and live list of one kind. T derives from Projectile.
template <class T>
class ProjectilePool {
public:
    ProjectilePool() = default;
    ProjectilePool(const ProjectilePool&) = delete;
    ProjectilePool& operator=(const ProjectilePool&) = delete;
    // The objects leave the world before they go.
    ~ProjectilePool() {
        for (const std::unique_ptr<T>& object : made_) object->Leave();
    }

    // The first entry of the free list (the gap closed), else a new object from make().
    template <class Make>
    T* Take(Make&& make) {
        if (free_.empty()) {
            made_.push_back(make());
            return made_.back().get();
        }
        T* object = free_.front();
        free_.erase(free_.begin());
        return object;
    }
    // Appends a launched object to the live list.
    void Launched(T* object) {
        if (std::find(live_.begin(), live_.end(), object) == live_.end()) live_.push_back(object);
    }
    // Takes the object out of the world and the live list and appends it to the free list
    // (once, however often it is released).
    void Release(T* object) {
        object->Leave();
        std::erase(live_, object);
        if (std::find(free_.begin(), free_.end(), object) == free_.end()) free_.push_back(object);
    }
    // Releases the first live object until none is left.
    void ReleaseAll() {
        while (!live_.empty()) Release(live_.front());
    }

    const std::vector<T*>& Live() const { return live_; }
    const std::vector<T*>& Free() const { return free_; }
    // Every object the pool has made.
    size_t Made() const { return made_.size(); }

private:
    std::vector<std::unique_ptr<T>> made_;
    std::vector<T*> free_;
    std::vector<T*> live_;
};
