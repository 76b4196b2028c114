#pragma once
// A moving prop without physics (a cart round the park): it starts at the first node of its
// route, steers smoothly towards its target node, takes on each node's speed and, at every
// node, goes on to a free neighbour of the path graph chosen at random; with none it starts
// its route over. It updates, culls and draws itself as an item of the object quadtree.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/WorldRecordFactories.h"

class D3D8Mesh;
class RenderFacility;
class RoadGraph;
struct RoadNode;

class PathObject : public QuadTreeItem, public WorldFeature {
public:
    static constexpr float TurnRate = 5.0f;  // share of the remaining turn per second
    static constexpr float Acceleration = 2.5f;

    // route: node indices into graph (the first two are where it starts and what it heads for).
    // model may be null (no drawing; bounds of zero size), and so may the renderer it is drawn
    // with.
    PathObject(const RoadGraph* graph, std::vector<uint32_t> route, D3D8Mesh* model, RenderFacility* renderer);
    ~PathObject() override;
    PathObject(const PathObject&) = delete;
    PathObject& operator=(const PathObject&) = delete;

    // Back to the route's first node at speed 0, facing its second node.
    void Restart();

    // QuadTreeItem
    void OnAdded(ObjectQuadTree& tree) override;
    void OnRemoved(ObjectQuadTree& tree) override;
    void GetBounds(BoundingBox& out) const override;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    bool Cull(ObjectQuadTree& tree, const Camera& camera) override;
    void Draw(ObjectQuadTree& tree, const Camera& camera) override;

    // The rotation that turns +z into the unit direction d with the world's up; false (q left
    // alone) when d is zero or vertical.
    static bool LookRotation(const Vector3& d, Quaternion& q);
    // The model turned by pi about y (its front faces -z), then the orientation, at the position.
    Matrix4 ObjectMatrix() const;

    Vector3 position;
    Quaternion orientation;
    float speed = 0.0f;
    const RoadNode* target = nullptr;
    BoundingBox localBounds;
    mutable BoundingBox worldBounds;

private:
    const RoadNode* Node(size_t routeIndex) const;

    const RoadGraph* graph_;
    std::vector<uint32_t> route_;
    D3D8Mesh* model_;
    RenderFacility* renderer_;
    ObjectQuadTree* tree_ = nullptr;
};
