#include "game/world/ObjectQuadTree.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"

namespace {
constexpr uint32_t OnUpdateList = QuadTreeItem::UpdateEachFrame | QuadTreeItem::ReplaceEachFrame;

struct ItemBox {
    float minX, maxX, minZ, maxZ;
};
ItemBox BoxOf(const QuadTreeItem* item) {
    BoundingBox b;
    item->GetBounds(b);
    return {b.centre.x - b.halfExtents.x, b.centre.x + b.halfExtents.x, b.centre.z - b.halfExtents.z,
            b.centre.z + b.halfExtents.z};
}
} // namespace

ObjectQuadTree::ObjectQuadTree() {
    blocks_.resize(1);
    QuadTreeBlock& root = blocks_[0];
    root.minX = root.minZ = -1e30f;
    root.maxX = root.maxZ = 1e30f;
}

ObjectQuadTree::~ObjectQuadTree() = default;

int32_t ObjectQuadTree::Create(const Vector3& centre, const Vector3& extents, int32_t depth) {
    depth = std::clamp(depth, 0, 10);
    // Items already in the tree are taken out and placed again in the new blocks.
    std::vector<QuadTreeItem*> items;
    for (QuadTreeBlock& b : blocks_)
        for (QuadTreeItem* it = b.first; it; it = it->nextInBlock) items.push_back(it);
    size_t total = 0;
    for (int32_t i = 0, n = 1; i <= depth; ++i, n *= 4) total += size_t(n);
    blocks_.assign(total, QuadTreeBlock{});
    size_t cursor = 1;
    BuildBlock(blocks_[0], centre, extents, nullptr, depth, cursor);
    for (QuadTreeItem* it : items) {
        it->nextInBlock = nullptr;
        it->block = nullptr;
        if (it->itemFlags & QuadTreeItem::Culled) Place(it);
        else LinkItem(&blocks_[0], it);
    }
    return int32_t(total);
}

void ObjectQuadTree::BuildBlock(QuadTreeBlock& block, const Vector3& c, const Vector3& e, QuadTreeBlock* parent,
                                int32_t depth, size_t& cursor) {
    block.minX = c.x - e.x;
    block.maxX = c.x + e.x;
    block.minZ = c.z - e.z;
    block.maxZ = c.z + e.z;
    block.first = nullptr;
    block.count = 0;
    block.parent = parent;
    block.children = nullptr;
    if (depth < 1) return;
    QuadTreeBlock* children = &blocks_[cursor];
    cursor += 4;
    block.children = children;
    const Vector3 half(e.x * 0.5f, e.y, e.z * 0.5f);
    // All four children are taken from the cursor before any of them takes its own. Each is
    // built from its own centre (not one recomputed from its bounds, which may differ by a bit).
    Vector3 centres[4];
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            centres[2 * i + j] = Vector3(block.minX + half.x + float(i) * e.x, c.y, block.minZ + half.z + float(j) * e.z);
    for (int k = 0; k < 4; ++k) BuildBlock(children[k], centres[k], half, &block, depth - 1, cursor);
}

QuadTreeBlock* ObjectQuadTree::SearchDown(QuadTreeBlock* from, float minX, float maxX, float minZ, float maxZ) {
    for (;;) {
        QuadTreeBlock* next = nullptr;
        if (from->children)
            for (int i = 0; i < 4; ++i)
                if (from->children[i].Holds(minX, maxX, minZ, maxZ)) {
                    next = &from->children[i];
                    break;
                }
        if (!next) return from;
        from = next;
    }
}

QuadTreeBlock* ObjectQuadTree::FindBlock(QuadTreeBlock* start, float minX, float maxX, float minZ, float maxZ) {
    QuadTreeBlock* b = start;
    while (b && !b->Holds(minX, maxX, minZ, maxZ)) b = b->parent;
    if (!b) b = &blocks_[0];
    return SearchDown(b, minX, maxX, minZ, maxZ);
}

void ObjectQuadTree::LinkItem(QuadTreeBlock* block, QuadTreeItem* item) {
    item->nextInBlock = block->first;
    block->first = item;
    item->block = block;
    for (QuadTreeBlock* b = block; b; b = b->parent) ++b->count;
}

void ObjectQuadTree::UnlinkItem(QuadTreeItem* item) {
    QuadTreeBlock* block = item->block;
    if (!block) return;
    for (QuadTreeItem** link = &block->first; *link; link = &(*link)->nextInBlock)
        if (*link == item) {
            *link = item->nextInBlock;
            break;
        }
    item->nextInBlock = nullptr;
    item->block = nullptr;
    for (QuadTreeBlock* b = block; b; b = b->parent) --b->count;
}

void ObjectQuadTree::Place(QuadTreeItem* item) {
    const ItemBox box = BoxOf(item);
    LinkItem(FindBlock(&blocks_[0], box.minX, box.maxX, box.minZ, box.maxZ), item);
}

void ObjectQuadTree::Replace(QuadTreeItem* item) {
    QuadTreeBlock* current = item->block;
    if (!current) return;
    const ItemBox box = BoxOf(item);
    QuadTreeBlock* target;
    if (current->Holds(box.minX, box.maxX, box.minZ, box.maxZ)) target = SearchDown(current, box.minX, box.maxX, box.minZ, box.maxZ);
    else if (current->parent) target = FindBlock(current->parent, box.minX, box.maxX, box.minZ, box.maxZ);
    else target = current; // a root that no longer holds the box keeps the item
    if (target == current) return;
    UnlinkItem(item);
    LinkItem(target, item);
}

void ObjectQuadTree::Add(QuadTreeItem* item) {
    if (!item) return;
    if (item->itemFlags & OnUpdateList) updateList_.push_back(item);
    if (item->itemFlags & QuadTreeItem::Culled) Place(item);
    else LinkItem(&blocks_[0], item);
    item->OnAdded(*this);
}

void ObjectQuadTree::RemoveFromUpdateList(QuadTreeItem* item) {
    auto it = std::find(updateList_.begin(), updateList_.end(), item);
    if (it != updateList_.end()) updateList_.erase(it);
}

void ObjectQuadTree::Remove(QuadTreeItem* item) {
    if (!item || !item->block) return;
    item->OnRemoved(*this);
    UnlinkItem(item);
    if (item->itemFlags & OnUpdateList) RemoveFromUpdateList(item);
    // A removed item must not be drawn from lists collected before it left.
    std::replace(opaque_.begin(), opaque_.end(), item, static_cast<QuadTreeItem*>(nullptr));
    std::replace(transparent_.begin(), transparent_.end(), item, static_cast<QuadTreeItem*>(nullptr));
}

void ObjectQuadTree::SetItemFlags(QuadTreeItem* item, uint32_t flags) {
    if (!item) return;
    const bool was = (item->itemFlags & OnUpdateList) != 0;
    const bool now = (flags & OnUpdateList) != 0;
    if (item->block) {
        if (!was && now) updateList_.push_back(item);
        else if (was && !now) RemoveFromUpdateList(item);
    }
    item->itemFlags = flags;
}

void ObjectQuadTree::ItemMoved(QuadTreeItem* item) {
    if (item && item->block) Replace(item);
}

void ObjectQuadTree::Update(const Camera* camera, float dt) {
    for (size_t i = 0; i < updateList_.size();) {
        QuadTreeItem* item = updateList_[i];
        bool moved = false;
        if (item->itemFlags & QuadTreeItem::UpdateEachFrame) {
            item->Update(*this, camera, dt);
            moved = (item->itemFlags & QuadTreeItem::Moved) != 0; // the tree leaves Moved set
        }
        if (item->block && ((item->itemFlags & QuadTreeItem::ReplaceEachFrame) || moved)) Replace(item);
        // An item that took itself off the list during its update leaves its place to the next.
        if (i < updateList_.size() && updateList_[i] == item) ++i;
    }
}

bool ObjectQuadTree::IsVisible(const QuadTreeBlock& block, const Camera& camera) {
    const float hx = (block.maxX - block.minX) * 0.5f, hz = (block.maxZ - block.minZ) * 0.5f;
    const float cx = block.minX + hx, cz = block.minZ + hz;
    for (int p = 0; p < 4; ++p) {
        const Plane& pl = camera.planes[p];
        const float r = std::fabs(hx * pl.n.x) + std::fabs(hz * pl.n.z) + std::fabs(10.0f * pl.n.y);
        const float s = pl.n.y * camera.position.y + pl.n.x * cx + pl.n.z * cz - pl.d;
        if (s <= -r) return false;
    }
    return true;
}

void ObjectQuadTree::CollectVisible(QuadTreeBlock* block, const Camera& camera) {
    if (!block->children) return;
    for (int i = 0; i < 4; ++i) {
        QuadTreeBlock* child = &block->children[i];
        if (child->count == 0 || !IsVisible(*child, camera)) continue;
        if (child->first) visible_.push_back(child);
        CollectVisible(child, camera);
    }
}

void ObjectQuadTree::Cull(const Camera& camera) {
    ++cullPass_;
    opaque_.clear();
    transparent_.clear();
    visible_.clear();
    visible_.push_back(&blocks_[0]);
    CollectVisible(&blocks_[0], camera);
    for (QuadTreeBlock* block : visible_)
        for (QuadTreeItem* item = block->first; item; item = item->nextInBlock) {
            if (!(item->itemFlags & QuadTreeItem::Culled)) continue;
            if (!item->Cull(*this, camera) || !(item->itemFlags & QuadTreeItem::TreeDrawn)) continue;
            if (item->itemFlags & QuadTreeItem::Transparent) transparent_.push_back(item);
            else opaque_.push_back(item);
        }
}

void ObjectQuadTree::DrawOpaque(const Camera& camera) {
    for (QuadTreeItem* item : opaque_)
        if (item) item->Draw(*this, camera);
}

void ObjectQuadTree::DrawTransparent(const Camera& camera) {
    const size_t n = transparent_.size();
    drawn_.assign(n, 0);
    distances_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        distances_[i] = 0.0f;
        if (!transparent_[i]) continue;
        BoundingBox b;
        transparent_[i]->GetBounds(b);
        distances_[i] = (b.centre - camera.position).LengthSquared();
    }
    for (size_t round = 0; round < n; ++round) {
        size_t best = n;
        float bestD = -1.0f;
        for (size_t i = 0; i < n; ++i) {
            if (drawn_[i]) continue;
            const float d = distances_[i];
            if (best == n || d > bestD) {
                best = i;
                bestD = d;
            }
        }
        drawn_[best] = 1;
        if (transparent_[best]) transparent_[best]->Draw(*this, camera);
    }
}
