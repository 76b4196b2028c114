#pragma once
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "game/world/PhysicsWorld.h"
#include "tests/support/TestSupport.h"

// A world as the game sets it up: quadtree space, gravity (0, -275, 0).
class PhysicsFixture : public ::testing::Test {
protected:
    static constexpr float Gravity = 275.0f;
    static constexpr float H = 1.0f / 75.0f;

    PhysicsFixture() {
        world.CreateSpace(Vector3(0, 0, 0), Vector3(2000, 2000, 2000), 5);
        world.SetGravity(Vector3(0, -Gravity, 0));
    }

    // One sub-step as the world runs it.
    void SubStep(float h = H) {
        world.PreStep();
        world.Collide();
        world.PostStep();
        world.Step(h);
    }
    void Run(int steps) {
        for (int i = 0; i < steps; ++i) SubStep();
    }

    // A static floor y = 0 in the space.
    PlaneGeom& Floor() {
        floor = std::make_unique<PlaneGeom>(0.0f, 1.0f, 0.0f, 0.0f);
        floor->AddToWorld(world);
        return *floor;
    }

    // A dynamic box body with its geom in the space, enabled.
    struct Box {
        std::unique_ptr<BoxGeom> geom;
        std::unique_ptr<RigidBody> body;
    };
    Box& MakeBox(const Vector3& position, const Vector3& half, float mass) {
        auto b = std::make_unique<Box>();
        b->body = std::make_unique<RigidBody>(world);
        b->geom = std::make_unique<BoxGeom>(half);
        b->body->SetMass(mass);
        b->body->SetBoxInertia(half);
        b->body->SetGeom(b->geom.get());
        b->body->SetPosition(position);
        b->geom->AddToWorld(world);
        b->body->Enable();
        boxes.push_back(std::move(b));
        return *boxes.back();
    }

    testing_support::LogCapture log{3};
    PhysicsWorld world;
    std::unique_ptr<PlaneGeom> floor;
    std::vector<std::unique_ptr<Box>> boxes;
};

// A listener with scripted answers that records what it was asked.
struct RecordingListener : CollisionListener {
    explicit RecordingListener(uint32_t flags) : CollisionListener(flags) {}
    bool ignorePair = false;
    bool veto = false;
    bool accept = true;
    JointForceReceiver* receiver = nullptr;
    int ignoreCalls = 0, vetoCalls = 0, filterCalls = 0, receiverCalls = 0;
    std::vector<Vector3> normals;
    std::vector<float> depths;
    std::vector<int>* order = nullptr;
    int id = 0;

    bool IgnorePair(PhysicsGeom*, PhysicsGeom*) override {
        ++ignoreCalls;
        if (order) order->push_back(id);
        return ignorePair;
    }
    bool VetoContacts(PhysicsGeom*, PhysicsGeom*) override {
        ++vetoCalls;
        return veto;
    }
    bool FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3* normal, float* depth) override {
        ++filterCalls;
        normals.push_back(*normal);
        depths.push_back(*depth);
        if (order) order->push_back(id);
        return accept;
    }
    JointForceReceiver* GetForceReceiver(PhysicsGeom*, PhysicsGeom*) override {
        ++receiverCalls;
        return receiver;
    }
};
