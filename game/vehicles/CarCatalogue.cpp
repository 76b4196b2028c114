#include "game/vehicles/CarCatalogue.h"

#include "game/vehicles/CarDefinition.h"

CarCatalogue& CarCatalogue::Instance() {
    // The definitions outlive every user; the list itself is released at exit.
    static CarCatalogue catalogue;
    return catalogue;
}

CarDefinition* CarCatalogue::At(int32_t index) const {
    return index >= 0 && index < Count() ? entries_[size_t(index)] : nullptr;
}

CarDefinition* CarCatalogue::FindByName(const SharedString& name) const {
    SharedString wanted(name.c_str(), name.Length());
    wanted.ToUpper();
    for (CarDefinition* d : entries_) {
        SharedString n(d->name.c_str(), d->name.Length());
        n.ToUpper();
        if (n == wanted) return d;
    }
    return nullptr;
}

CarDefinition* CarCatalogue::FindByFlag(uint32_t bit) const {
    for (CarDefinition* d : entries_)
        if (d->nameFlags & bit) return d;
    return nullptr;
}

int32_t CarCatalogue::IndexOf(const CarDefinition* definition) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i] == definition) return int32_t(i);
    return -1;
}

int32_t CarCatalogue::NextValidIndex(int32_t from, int32_t step) const {
    const int32_t n = Count();
    if (n == 0) return -1;
    step = step < 0 ? -1 : 1;
    int32_t i = ((from % n) + n) % n;
    for (int32_t tried = 0; tried < n; ++tried) {
        i = (i + step + n) % n;
        if (entries_[size_t(i)]->IsValid()) return i;
    }
    return -1;
}

void CarCatalogue::Release() {
    for (CarDefinition* d : entries_) delete d;
    entries_.clear();
}
