#pragma once
// The one list of every car kind: a CarDefinition per "Vehicles\*.VQC", entry i built from the
// i-th file name in ascending byte order (upper case before lower case, a prefix before the
// longer name). Filled once by CarDefinition::LoadAll (callers call it before every use; only
// the first call that finds files does the work) and then only read. The entries live until
// the renderer that built their models goes (the next LoadAll builds them again with the
// renderer of the time) or the program ends. Main thread (or the loading thread) only; no lock.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"

class CarDefinition;

class CarCatalogue {
public:
    static CarCatalogue& Instance();

    int32_t Count() const { return int32_t(entries_.size()); }
    // Null outside 0 .. Count() - 1.
    CarDefinition* At(int32_t index) const;
    const std::vector<CarDefinition*>& Entries() const { return entries_; }
    // The entry whose name equals `name` ignoring letter case; null when none.
    CarDefinition* FindByName(const SharedString& name) const;
    // The first entry, in catalogue order, with the name flag bit; null when none.
    CarDefinition* FindByFlag(uint32_t bit) const;
    int32_t IndexOf(const CarDefinition* definition) const;
    // For car choices, which skip definitions no car can be built from: the first valid index
    // after `from` going `step` (+1 or -1) round the catalogue, `from` itself last; -1 when
    // none is valid.
    int32_t NextValidIndex(int32_t from, int32_t step) const;

    // LoadAll appends the definitions it builds.
    void Add(CarDefinition* definition) { entries_.push_back(definition); }
    // Deletes every entry, with the models it owns.
    void Release();
    // Tests: deletes every entry.
    void ClearForTests() { Release(); }

private:
    CarCatalogue() = default;
    std::vector<CarDefinition*> entries_;
};
