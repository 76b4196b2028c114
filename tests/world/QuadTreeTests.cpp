#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "game/world/LevelData.h"
#include "game/world/ObjectQuadTree.h"
#include "tests/world/WorldTestSupport.h"

namespace {

struct Item : QuadTreeItem {
    Item(const Vector3& c, const Vector3& h, uint32_t flags, std::vector<std::string>* log_ = nullptr,
         std::string name_ = {})
        : box{c, h}, log(log_), name(std::move(name_)) {
        itemFlags = flags;
    }
    void GetBounds(BoundingBox& out) const override { out = box; }
    void Update(ObjectQuadTree&, const Camera*, float) override {
        ++updates;
        itemFlags |= setOnUpdate;
    }
    bool Cull(ObjectQuadTree&, const Camera&) override { return visible; }
    void Draw(ObjectQuadTree&, const Camera&) override {
        if (log) log->push_back(name);
    }
    BoundingBox box;
    std::vector<std::string>* log;
    std::string name;
    int updates = 0;
    uint32_t setOnUpdate = 0;
    bool visible = true;
};

struct Tree : ObjectQuadTree {
    explicit Tree(int depth) { Create(Vector3(0, 0, 0), Vector3(100, 50, 100), depth); }
};

} // namespace

TEST(QuadTree, DepthTwoBlocksLieInBreadthOrderWithChildrenTakenTogether) {
    ObjectQuadTree tree;
    EXPECT_EQ(tree.Create(Vector3(0, 0, 0), Vector3(100, 50, 100), 2), 21);
    const QuadTreeBlock& root = tree.Block(0);
    ASSERT_EQ(tree.BlockIndex(root.children), 1);
    for (int c = 0; c < 4; ++c) {
        const QuadTreeBlock& child = tree.Block(1 + c);
        EXPECT_EQ(child.parent, &root);
        EXPECT_EQ(tree.BlockIndex(child.children), 5 + 4 * c) << "children of block " << 1 + c;
        for (int g = 0; g < 4; ++g) EXPECT_EQ(tree.Block(5 + 4 * c + g).children, nullptr);
    }
    // Child 2i + j: i steps along x, j along z.
    EXPECT_FLOAT_EQ(tree.Block(1).minX, -100.0f);
    EXPECT_FLOAT_EQ(tree.Block(1).minZ, -100.0f);
    EXPECT_FLOAT_EQ(tree.Block(2).minX, -100.0f);
    EXPECT_FLOAT_EQ(tree.Block(2).minZ, 0.0f);
    EXPECT_FLOAT_EQ(tree.Block(3).minX, 0.0f);
    EXPECT_FLOAT_EQ(tree.Block(3).minZ, -100.0f);
    EXPECT_FLOAT_EQ(tree.Block(8).maxX, 0.0f);
    EXPECT_FLOAT_EQ(tree.Block(8).maxZ, 0.0f);

    // Over an awkward box every block lies exactly where its parent's corner and its own
    // index put it: centre = parent min + half + step, bounds = centre -+ half.
    const Vector3 c(-788.923828f, 0, 12.5f), e(3358.59888f, 1, 1777.19641f);
    ObjectQuadTree odd;
    odd.Create(c, e, 2);
    for (int b = 0; b < 5; ++b) {
        const QuadTreeBlock& parent = odd.Block(b);
        const float ex = b == 0 ? e.x : e.x * 0.5f, ez = b == 0 ? e.z : e.z * 0.5f;
        for (int k = 0; k < 4; ++k) {
            const QuadTreeBlock& child = parent.children[k];
            const float hx = ex * 0.5f, hz = ez * 0.5f;
            const float cx = parent.minX + hx + float(k / 2) * ex, cz = parent.minZ + hz + float(k % 2) * ez;
            EXPECT_EQ(child.minX, cx - hx) << b << "." << k;
            EXPECT_EQ(child.maxX, cx + hx) << b << "." << k;
            EXPECT_EQ(child.minZ, cz - hz) << b << "." << k;
            EXPECT_EQ(child.maxZ, cz + hz) << b << "." << k;
        }
    }
}

TEST(QuadTree, PlacementFollowsExclusiveUpperBounds) {
    Tree tree(2);
    // Block 5 spans x, z in [-100, -50). A box reaching exactly -50 is not held by it.
    Item inside({-75, 0, -75}, {24, 1, 24}, QuadTreeItem::Culled);
    Item touching({-75, 0, -75}, {25, 1, 25}, QuadTreeItem::Culled);
    Item outside({300, 0, 0}, {1, 1, 1}, QuadTreeItem::Culled);
    Item unculled({-75, 0, -75}, {1, 1, 1}, 0);
    for (Item* i : {&inside, &touching, &outside, &unculled}) tree.Add(i);
    EXPECT_EQ(tree.BlockIndex(inside.block), 5);
    EXPECT_EQ(tree.BlockIndex(touching.block), 1);
    EXPECT_EQ(tree.BlockIndex(outside.block), 0);
    EXPECT_EQ(tree.BlockIndex(unculled.block), 0);
    EXPECT_EQ(tree.Block(0).count, 4);
    EXPECT_EQ(tree.Block(1).count, 2);
    EXPECT_EQ(tree.Block(5).count, 1);

    // Re-placing: moved into another leaf, then out of the root's bounds (stays in the root).
    inside.box.centre = Vector3(75, 0, 75);
    tree.ItemMoved(&inside);
    EXPECT_EQ(tree.BlockIndex(inside.block), 20);
    EXPECT_EQ(tree.Block(5).count, 0);
    inside.box.centre = Vector3(500, 0, 0);
    tree.ItemMoved(&inside);
    EXPECT_EQ(tree.BlockIndex(inside.block), 0);
    tree.Remove(&inside);
    EXPECT_EQ(inside.block, nullptr);
    EXPECT_EQ(tree.Block(0).count, 3);
}

TEST(QuadTree, UpdateListFollowsFlags) {
    struct Case {
        uint32_t initial, next;
        size_t entries;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, QuadTreeItem::UpdateEachFrame, 1},
        {QuadTreeItem::UpdateEachFrame, 0, 0},
        {QuadTreeItem::ReplaceEachFrame, QuadTreeItem::ReplaceEachFrame | QuadTreeItem::UpdateEachFrame, 1},
        {QuadTreeItem::ReplaceEachFrame | QuadTreeItem::UpdateEachFrame, QuadTreeItem::ReplaceEachFrame, 1},
        {QuadTreeItem::ReplaceEachFrame, QuadTreeItem::Culled, 0},
    };
    for (const Case& c : cases) {
        Tree tree(1);
        Item other({0, 0, 0}, {1, 1, 1}, QuadTreeItem::UpdateEachFrame);
        Item item({10, 0, 10}, {1, 1, 1}, c.initial);
        tree.Add(&other);
        tree.Add(&item);
        tree.SetItemFlags(&item, c.next);
        EXPECT_EQ(item.itemFlags, c.next);
        size_t found = 0;
        for (QuadTreeItem* i : tree.UpdateList()) found += i == &item;
        EXPECT_EQ(found, c.entries) << c.initial << " -> " << c.next;
        EXPECT_EQ(tree.UpdateList().front(), &other);
    }
}

TEST(QuadTree, UpdateRunsItemsAndReplacesMovedOnes) {
    Tree tree(2);
    Item updated({-75, 0, -75}, {1, 1, 1}, QuadTreeItem::UpdateEachFrame | QuadTreeItem::Culled);
    Item replaced({-75, 0, -75}, {1, 1, 1}, QuadTreeItem::ReplaceEachFrame | QuadTreeItem::Culled);
    tree.Add(&updated);
    tree.Add(&replaced);
    updated.box.centre = Vector3(75, 0, 75);
    replaced.box.centre = Vector3(75, 0, 75);
    tree.Update(nullptr, 0.01f);
    EXPECT_EQ(updated.updates, 1);
    EXPECT_EQ(replaced.updates, 0);
    EXPECT_EQ(tree.BlockIndex(updated.block), 5); // moved without saying so: stays
    EXPECT_EQ(tree.BlockIndex(replaced.block), 20);
    updated.setOnUpdate = QuadTreeItem::Moved;
    tree.Update(nullptr, 0.01f);
    EXPECT_EQ(tree.BlockIndex(updated.block), 20);
}

TEST(QuadTree, TransparentItemsDrawFarthestFirstTiesInListOrder) {
    Tree tree(1);
    std::vector<std::string> log;
    const uint32_t f = QuadTreeItem::Culled | QuadTreeItem::TreeDrawn | QuadTreeItem::Transparent;
    Item near({0, 0, 10}, {1, 1, 1}, f, &log, "near");
    Item tieA({0, 0, 50}, {1, 1, 1}, f, &log, "tieA");
    Item tieB({50, 0, 0}, {1, 1, 1}, f, &log, "tieB");
    Item atEye({0, 0, 0}, {1, 1, 1}, f, &log, "atEye");
    Item opaque({0, 0, 30}, {1, 1, 1}, QuadTreeItem::Culled | QuadTreeItem::TreeDrawn, &log, "opaque");
    Item hidden({0, 0, 40}, {1, 1, 1}, f, &log, "hidden");
    hidden.visible = false;
    for (Item* i : {&atEye, &near, &tieA, &tieB, &opaque, &hidden}) tree.Add(i);
    Camera camera = world_testing::MakeCamera({0, 0, 0});
    tree.Cull(camera);
    ASSERT_EQ(tree.TransparentList().size(), 4u);
    ASSERT_EQ(tree.OpaqueList().size(), 1u);
    // Ties are decided by list order, which the cull gives; the item at the eye comes last.
    const bool aFirst = std::find(tree.TransparentList().begin(), tree.TransparentList().end(), &tieA) <
                        std::find(tree.TransparentList().begin(), tree.TransparentList().end(), &tieB);
    tree.DrawTransparent(camera);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], aFirst ? "tieA" : "tieB");
    EXPECT_EQ(log[1], aFirst ? "tieB" : "tieA");
    EXPECT_EQ(log[2], "near");
    EXPECT_EQ(log[3], "atEye");
}

TEST(RoadGraph, SpawnStridesArePrimesBetweenAHundredthAndATwoHundredthOfTheCount) {
    struct Case {
        int32_t count;
        std::vector<int32_t> strides;
    };
    const Case cases[] = {{0, {1}}, {199, {1}}, {1000, {5, 7}}, {2600, {13, 17, 19, 23}}};
    for (const Case& c : cases) {
        RoadGraph graph;
        graph.Resize(c.count);
        graph.BuildStrides();
        EXPECT_EQ(graph.strides, c.strides) << c.count;
    }
}

TEST(QuadTree, ABlockIsSeenUnlessItLiesWhollyBehindASidePlaneAtTheCamerasHeight) {
    // One side plane at a time (the others let everything through). The block is taken as a box
    // round its centre at the camera's height, 10 above and below: exactly touching a plane
    // from behind is out.
    struct Case {
        const char* what;
        Vector3 normal;
        float d;
        float minX, maxX, cameraY;
        bool seen;
    };
    const float h = std::sqrt(0.5f);
    const Case cases[] = {
        {"in front of x > 0", {1, 0, 0}, 0, 10, 30, 0, true},
        {"behind x > 0", {1, 0, 0}, 0, -30, -10, 0, false},
        {"touching it from behind", {1, 0, 0}, 0, -20, 0, 0, false},
        {"a hair across it", {1, 0, 0}, 0, -20, 0.5f, 0, true},
        {"a floor 5 under the camera", {0, 1, 0}, 5, -10, 10, 0, true},
        {"a floor 10 under the camera", {0, 1, 0}, 10, -10, 10, 0, false},
        {"the camera 5 lower", {0, 1, 0}, 5, -10, 10, -5, false},
        {"a slanted plane, a corner across", {h, 0, h}, 0, -29.5f, -9.5f, 0, true},
        {"a slanted plane, the corner on it", {h, 0, h}, 0, -30, -10, 0, false},
    };
    for (const Case& c : cases) {
        Camera camera;
        camera.position = Vector3(0, c.cameraY, 0);
        for (int p = 0; p < 4; ++p) camera.planes[p] = Plane(0, 0, 0, -1e9f);
        camera.planes[1] = Plane(c.normal.x, c.normal.y, c.normal.z, c.d);
        QuadTreeBlock block;
        block.minX = c.minX;
        block.maxX = c.maxX;
        block.minZ = -10.0f;
        block.maxZ = 10.0f;
        EXPECT_EQ(ObjectQuadTree::IsVisible(block, camera), c.seen) << c.what;
    }

    // The cull lists the root and the blocks that hold items, walks down through those that only
    // hold them below, and skips a hidden block with its whole subtree.
    Tree tree(2);
    Item item({75, 0, 75}, {1, 1, 1}, QuadTreeItem::Culled | QuadTreeItem::TreeDrawn);
    tree.Add(&item);
    ASSERT_EQ(tree.BlockIndex(item.block), 20);
    struct Walk {
        float planeX; // seen: x > planeX
        std::vector<int32_t> blocks;
        size_t drawn;
    };
    const Walk walks[] = {{-1e9f, {0, 20}, 1}, {60.0f, {0, 20}, 1}, {100.0f, {0}, 0}};
    for (const Walk& w : walks) {
        Camera camera;
        for (int p = 0; p < 4; ++p) camera.planes[p] = Plane(0, 0, 0, -1e9f);
        camera.planes[0] = Plane(1, 0, 0, w.planeX);
        for (int p = 4; p < 6; ++p) camera.planes[p] = Plane(0, 0, 0, -1e9f);
        tree.Cull(camera);
        std::vector<int32_t> listed;
        for (const QuadTreeBlock* b : tree.VisibleBlocks()) listed.push_back(tree.BlockIndex(b));
        EXPECT_EQ(listed, w.blocks) << w.planeX;
        EXPECT_EQ(tree.OpaqueList().size(), w.drawn) << w.planeX;
    }
    tree.Remove(&item);
}
