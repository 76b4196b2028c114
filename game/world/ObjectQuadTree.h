#pragma once
// The fixed 2-D block tree over the x/z plane that keeps the world's dynamic things: it updates
// the items that ask for it, re-places the ones that moved, collects the visible ones into an
// opaque and a transparent list and draws them.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"

class Camera;
class ObjectQuadTree;
struct QuadTreeBlock;

class QuadTreeItem {
public:
    enum : uint32_t {
        UpdateEachFrame = 1,  // Update is called every frame
        Culled = 2,           // placed by its bounds and offered to Cull; else kept in the root
        TreeDrawn = 4,        // after a true Cull the tree lists it for drawing
        Transparent = 8,      // listed as transparent (drawn far to near)
        ReplaceEachFrame = 16,// re-placed every frame
        Moved = 32,           // set during Update to be re-placed in that frame
    };

    virtual ~QuadTreeItem() = default;
    virtual void OnAdded(ObjectQuadTree& /*tree*/) {}
    virtual void OnRemoved(ObjectQuadTree& /*tree*/) {}
    // Centre and half extents.
    virtual void GetBounds(BoundingBox& out) const = 0;
    virtual void Update(ObjectQuadTree& /*tree*/, const Camera* /*camera*/, float /*dt*/) {}
    virtual bool Cull(ObjectQuadTree& /*tree*/, const Camera& /*camera*/) { return false; }
    virtual void Draw(ObjectQuadTree& /*tree*/, const Camera& /*camera*/) {}

    QuadTreeItem* nextInBlock = nullptr;
    QuadTreeBlock* block = nullptr;
    uint32_t itemFlags = 0;
};

struct QuadTreeBlock {
    float minX = 0.0f, maxX = 0.0f, minZ = 0.0f, maxZ = 0.0f;
    QuadTreeItem* first = nullptr; // newest first
    int32_t count = 0;             // items here and below
    QuadTreeBlock* parent = nullptr;
    QuadTreeBlock* children = nullptr; // four consecutive blocks, or null for a leaf

    // Upper bounds are exclusive.
    bool Holds(float bMinX, float bMaxX, float bMinZ, float bMaxZ) const {
        return bMinX >= minX && bMaxX < maxX && bMinZ >= minZ && bMaxZ < maxZ;
    }
};

class ObjectQuadTree {
public:
    // A tree of one root block over the whole plane until Create sizes it.
    ObjectQuadTree();
    virtual ~ObjectQuadTree();
    ObjectQuadTree(const ObjectQuadTree&) = delete;
    ObjectQuadTree& operator=(const ObjectQuadTree&) = delete;

    // Builds sum 4^i (i = 0..depth) blocks over centre +- extents (x and z); items already in
    // the tree are placed again. Returns the block count. Depth is kept to 0..10.
    int32_t Create(const Vector3& centre, const Vector3& extents, int32_t depth);

    void Add(QuadTreeItem* item);
    void Remove(QuadTreeItem* item);
    void SetItemFlags(QuadTreeItem* item, uint32_t flags);
    // Re-places the item now.
    void ItemMoved(QuadTreeItem* item);

    virtual void Update(const Camera* camera, float dt);
    // Empties the draw lists and collects the visible items.
    virtual void Cull(const Camera& camera);
    virtual void DrawOpaque(const Camera& camera);
    // Every transparent item once, farthest first (ties: list order).
    virtual void DrawTransparent(const Camera& camera);

    // Counts the culls: items that keep lists of their own for a pass start them afresh when
    // it changes (reflections cull again within a frame).
    uint32_t CullPass() const { return cullPass_; }
    int32_t BlockCount() const { return int32_t(blocks_.size()); }
    const QuadTreeBlock& Block(int32_t i) const { return blocks_[size_t(i)]; }
    int32_t BlockIndex(const QuadTreeBlock* b) const { return int32_t(b - blocks_.data()); }
    const std::vector<QuadTreeItem*>& UpdateList() const { return updateList_; }
    const std::vector<QuadTreeItem*>& OpaqueList() const { return opaque_; }
    const std::vector<QuadTreeItem*>& TransparentList() const { return transparent_; }
    const std::vector<QuadTreeBlock*>& VisibleBlocks() const { return visible_; }
    // The block test of the cull (side planes only, 10 units high at the camera's height).
    static bool IsVisible(const QuadTreeBlock& block, const Camera& camera);

private:
    void BuildBlock(QuadTreeBlock& block, const Vector3& centre, const Vector3& extents, QuadTreeBlock* parent,
                    int32_t depth, size_t& cursor);
    QuadTreeBlock* FindBlock(QuadTreeBlock* start, float minX, float maxX, float minZ, float maxZ);
    static QuadTreeBlock* SearchDown(QuadTreeBlock* from, float minX, float maxX, float minZ, float maxZ);
    static void LinkItem(QuadTreeBlock* block, QuadTreeItem* item);
    static void UnlinkItem(QuadTreeItem* item);
    void Place(QuadTreeItem* item);
    void Replace(QuadTreeItem* item);
    void CollectVisible(QuadTreeBlock* block, const Camera& camera);
    void RemoveFromUpdateList(QuadTreeItem* item);

    std::vector<QuadTreeBlock> blocks_;
    std::vector<QuadTreeBlock*> visible_;
    std::vector<QuadTreeItem*> updateList_;
    std::vector<QuadTreeItem*> opaque_;
    std::vector<QuadTreeItem*> transparent_;
    std::vector<uint8_t> drawn_;
    std::vector<float> distances_;
    uint32_t cullPass_ = 0;
};
