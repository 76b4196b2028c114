#pragma once
// The four one-shot play slots of a sound device. Each slot has a thread of its own that
// prepares the voice handed to it (decodes or fills it from its stream) away from the
// caller's thread and passes it on to the device; a request that finds every slot busy is
// dropped by the device rather than waiting.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "engine/audio/AudioStream.h"
#include "engine/core/Thread.h"

class PlaybackObserver;

template <class Voice>
class PlaySlots {
public:
    static constexpr int kCount = 4;

    struct Slot {
        Voice* voice = nullptr;
        std::unique_ptr<AudioStream> stream;
        PlaybackObserver* observer = nullptr;
        Event wake{true};
        std::atomic<bool> idle{true};
        std::atomic<bool> quit{false};
        Thread thread;
        PlaySlots* owner = nullptr;
    };

    PlaySlots() = default;
    PlaySlots(const PlaySlots&) = delete;
    PlaySlots& operator=(const PlaySlots&) = delete;
    ~PlaySlots() { Stop(); }

    // Starts the threads. prepare(slot) runs on a slot's thread for each voice handed to it
    // and ends with Free(slot) once the voice is passed on.
    void Start(std::function<void(Slot&)> prepare) {
        prepare_ = std::move(prepare);
        for (Slot& slot : slots_) {
            slot.owner = this;
            slot.thread = Thread(&PlaySlots::Worker, &slot, 0.5f, true);
        }
    }

    // Ends and joins the threads. A voice still waiting in a slot stays there for the device
    // to free.
    void Stop() {
        for (Slot& slot : slots_) {
            slot.quit.store(true);
            slot.wake.Set();
            slot.thread.Join();
        }
    }

    // An idle slot, or null when all are busy.
    Slot* FindIdle() {
        for (Slot& slot : slots_)
            if (slot.idle.load()) return &slot;
        return nullptr;
    }

    // Gives an idle slot a voice to prepare and wakes its thread.
    static void Hand(Slot& slot, Voice* voice, std::unique_ptr<AudioStream> stream,
                     PlaybackObserver* observer = nullptr) {
        slot.voice = voice;
        slot.stream = std::move(stream);
        slot.observer = observer;
        slot.idle.store(false);
        slot.wake.Set();
    }

    // The slot's voice has been passed on (it plays on): the slot is free again.
    static void Free(Slot& slot) {
        slot.voice = nullptr;
        slot.observer = nullptr;
        slot.idle.store(true);
    }

    int IdleCount() const {
        int n = 0;
        for (const Slot& slot : slots_) n += slot.idle.load() ? 1 : 0;
        return n;
    }

    Slot* begin() { return slots_; }
    Slot* end() { return slots_ + kCount; }

private:
    static uint32_t Worker(Thread&, void* parameter) {
        auto* slot = static_cast<Slot*>(parameter);
        for (;;) {
            slot->wake.Wait();
            if (slot->quit.load()) return 0;
            if (slot->voice) slot->owner->prepare_(*slot);
        }
    }

    Slot slots_[kCount];
    std::function<void(Slot&)> prepare_;
};
