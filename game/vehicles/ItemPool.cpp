#include "game/vehicles/ItemPool.h"

#include <algorithm>

#include "game/vehicles/CarItem.h"

ItemPool::~ItemPool() { Clear(); }

CarItem* ItemPool::Take() {
    CarItem* item = nullptr;
    if (!items_.empty()) {
        item = items_.front();
        items_.erase(items_.begin());
    } else if (factory_) {
        item = factory_();
    }
    if (item) {
        item->permanent = 0;
        item->active = 0;
        item->pool = this;
    }
    return item;
}

void ItemPool::Return(CarItem* item) {
    if (!item || Holds(item)) return;
    item->pool = this;
    items_.push_back(item);
}

void ItemPool::Preload() {
    if (!factory_) return;
    if (CarItem* item = factory_()) Return(item);
}

void ItemPool::Clear() {
    std::vector<CarItem*> idle;
    idle.swap(items_);
    for (CarItem* item : idle) {
        item->pool = nullptr;
        delete item;
    }
}

bool ItemPool::Holds(const CarItem* item) const {
    return std::find(items_.begin(), items_.end(), item) != items_.end();
}
