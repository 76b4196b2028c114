#include "game/vehicles/Projectile.h"

#include "game/world/World.h"

Projectile::Projectile(World& world, bool draws) : world_(world), draws_(draws) {}

Projectile::~Projectile() {
    // A kind with its own parts to stop leaves in its own destructor; this catches the rest.
    if (inWorld_) Leave();
}

void Projectile::Enter() {
    if (inWorld_) return;
    inWorld_ = true;
    world_.physics.AddObject(this);
    if (draws_) world_.drawables.push_back(this);
}

void Projectile::Leave() {
    if (!inWorld_) return;
    OnLeave();
    inWorld_ = false;
    world_.physics.RemoveObject(this);
    if (draws_) {
        auto it = std::find(world_.drawables.begin(), world_.drawables.end(), static_cast<Drawable*>(this));
        if (it != world_.drawables.end()) world_.drawables.erase(it);
    }
}
