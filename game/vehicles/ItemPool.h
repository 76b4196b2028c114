#pragma once
// Idle items of one kind, waiting for the next pickup. A pool owns the items in it; an item
// taken out belongs to whoever holds it until it is detached again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CarItem;

class ItemPool {
public:
    using Factory = std::function<CarItem*()>;

    explicit ItemPool(Factory factory = nullptr) : factory_(std::move(factory)) {}
    ~ItemPool();
    ItemPool(const ItemPool&) = delete;
    ItemPool& operator=(const ItemPool&) = delete;

    void SetFactory(Factory factory) { factory_ = std::move(factory); }
    // The oldest idle item, else a new one from the factory (null without a factory). The item's
    // permanent flag and active byte are cleared and it will return here when detached.
    CarItem* Take();
    // Appends an idle item; an item already here is not added twice.
    void Return(CarItem* item);
    // Builds one item for the pool so that play allocates none (the game's loading step).
    void Preload();
    // Deletes every idle item.
    void Clear();
    size_t Size() const { return items_.size(); }
    bool Holds(const CarItem* item) const;

private:
    Factory factory_;
    std::vector<CarItem*> items_;
};

// The pooled kinds.
enum class ItemKind : int32_t {
    Cannon,
    RocketLauncher,
    Flamer,
    Slow,
    Rock,
    Jump,
    Boost,
    GrenadeThrower,
    ChainGun,
    MissileLauncher,
    Count
};

// The ten pools of a game.
struct ItemPools {
    std::array<ItemPool, size_t(ItemKind::Count)> pools;
    ItemPool& operator[](ItemKind kind) { return pools[size_t(kind)]; }
    // Empties every pool (a game reset).
    void Clear() {
        for (ItemPool& p : pools) p.Clear();
    }
};
