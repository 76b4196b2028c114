#pragma once
// The traffic tests' fixture: the car tests' flat world with a traffic kind written by the
// project's writer, a traffic graph built here, the fleet and a manager over them, a camera that
// sees the graph, and a listener for the street's events.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "game/traffic/StreetEvents.h"
#include "game/traffic/TrafficManager.h"
#include "tests/vehicles/VehicleTestSupport.h"

namespace traffic_test {

struct RecordingEvents : StreetEvents {
    void OnTrafficCarWrecked(Vehicle* instigator) override { wrecks.push_back(instigator); }
    std::vector<Vehicle*> wrecks;
};

// Links every node to the next listed one.
inline void Link(RoadGraph& graph, std::initializer_list<int> chain) {
    const std::vector<int> nodes(chain);
    for (size_t i = 0; i + 1 < nodes.size(); ++i)
        graph.nodes[size_t(nodes[i])].links.push_back(&graph.nodes[size_t(nodes[i + 1])]);
}

class TrafficTest : public vehicle_test::VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        tools::TrafficCarFolder sedan;
        sedan.name = "Sedan";
        ASSERT_TRUE(tools::WriteTrafficCar(".", sedan));
        flat.world.graphs.traffic = std::make_unique<RoadGraph>();
        flat.world.graphs.driver = std::make_unique<RoadGraph>();
        camera.SetViewport(Rect{0, 0, 64, 64});
        camera.SetFarPlane(10000.0f);
        camera.RebuildProjection();
        camera.position = Vector3(0, 60, 400);
        camera.positionDirty = camera.orientationDirty = 1;
        camera.Apply();
    }
    void TearDown() override {
        traffic.reset();
        fleet.reset();
        VehicleTest::TearDown();
    }
    RoadGraph& Graph() { return *flat.world.graphs.traffic; }

    // The manager over the fleet, ready to spawn (no parked cars here).
    TrafficManager& MakeManager() {
        traffic = std::make_unique<TrafficManager>(flat.world, flat.context, *fleet);
        fleet->events = &events;
        traffic->PlaceParkedCars();
        return *traffic;
    }
    TrafficCar* SpawnAt(int node) {
        traffic->Spawn(TrafficManager::Message{TrafficManager::Message::Spawn, uint32_t(node), 0});
        return fleet->active.empty() ? nullptr : fleet->active.back();
    }
    // One game frame: the world, then the cull the game runs after it.
    void Frame(float dt) {
        ++flat.engine.frameNumber;
        flat.Frame(dt);
        static_cast<ObjectQuadTree&>(flat.world).Cull(static_cast<const Camera&>(camera));
    }

    std::unique_ptr<TrafficFleet> fleet = std::make_unique<TrafficFleet>();
    std::unique_ptr<TrafficManager> traffic;
    RecordingEvents events;
    Camera camera;
};

}  // namespace traffic_test
