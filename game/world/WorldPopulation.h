#pragma once
class World;
class Camera;

// The traffic and the pedestrians as the world sees them: drawn after the placed objects.
class WorldPopulation {
public:
    virtual ~WorldPopulation() = default;
    virtual void Draw(World& world, const Camera& camera) = 0;
};
