#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "engine/core/Thread.h"
#include "platform/sys/Random.h"
#include "tests/support/TestSupport.h"

TEST(Thread, PriorityMappingTables) {
    struct IndexCase { int index; plat::Priority p; } indexCases[] = {
        {0, plat::Priority::Idle}, {1, plat::Priority::BelowNormal}, {2, plat::Priority::Normal},
        {3, plat::Priority::AboveNormal}, {4, plat::Priority::TimeCritical}, {7, plat::Priority::Normal}, {-1, plat::Priority::Normal}};
    for (auto c : indexCases) EXPECT_EQ(Thread::PriorityFromIndex(c.index), c.p) << c.index;
    struct FloatCase { float f; plat::Priority p; } floatCases[] = {
        {0.0f, plat::Priority::Idle}, {0.2f, plat::Priority::BelowNormal}, {0.5f, plat::Priority::Normal},
        {0.8f, plat::Priority::AboveNormal}, {0.995f, plat::Priority::Normal}, {1.0f, plat::Priority::TimeCritical},
        {-0.5f, plat::Priority::Normal}, {3.0f, plat::Priority::Normal}};
    for (auto c : floatCases) EXPECT_EQ(Thread::PriorityFromFloat(c.f), c.p) << c.f;
}

TEST(Thread, PrioritiesOnlyEverLowerTheThreadsNiceness) {
    // Idle and below normal lower the thread (nice 19 and 5); the others leave it as it is,
    // since raising needs privilege. Each thread reports its own niceness.
    static std::atomic<int> seen{0};
    auto report = [](void*) -> uint32_t {
        seen = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
        return 0;
    };
    const int base = getpriority(PRIO_PROCESS, 0);
    struct Case { int index; int nice; } cases[] = {{0, 19}, {1, 5}, {2, 0}, {3, 0}, {4, 0}, {9, 0}};
    for (const Case& c : cases) {
        Thread t;
        ASSERT_TRUE(t.Start(report, nullptr, c.index, true));
        t.Join();
        EXPECT_EQ(seen.load(), std::max(base, c.nice)) << "index " << c.index;
    }
}

TEST(Thread, StartsJoinsAndComparesById) {
    static std::atomic<int> ran{0};
    Thread t;
    static int five = 5;
    ASSERT_TRUE(t.Start([](void* p) -> uint32_t { ran += *static_cast<int*>(p); return 0; }, &five, 2, true));
    EXPECT_TRUE(t.Join());
    EXPECT_EQ(ran.load(), 5);
    EXPECT_TRUE(t != Thread::Current());
    EXPECT_FALSE(Thread::Current() != Thread::Current());
    Thread copy;
    copy = t;
    copy = copy; // self-assignment is safe
    EXPECT_FALSE(copy != t);
    t.Close();
    EXPECT_FALSE(t.IsValid());
}

TEST(Thread, AJoinableThreadWhoseHandleIsClosedRunsOnAndEndsQuietly) {
    // Close never stops a thread; dropping the last handle of a joinable one must not abort
    // the program, neither while it runs nor when it ends.
    static std::atomic<int> finished{0};
    static Semaphore go(0, 1);
    {
        Thread t;
        ASSERT_TRUE(t.Start([](void*) -> uint32_t { go.Wait(); ++finished; return 0; }, nullptr, 2, true));
        Thread copy = t;
        t.Close();
        copy.Close();
    }
    go.Release();
    for (int i = 0; i < 5000 && finished.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let it leave its procedure
    EXPECT_EQ(finished.load(), 1);
}

TEST(Thread, SuspendCountsClampAndPauseAtTheNextCheck) {
    static std::atomic<int> passes{0};
    static std::atomic<bool> stop{false};
    Thread t(
        [](Thread&, void*) -> uint32_t {
            while (!stop) {
                Thread::CheckSuspended();
                ++passes;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return 0;
        },
        nullptr, 0.5f, true);
    t.Resume(); // at 0: nothing
    EXPECT_EQ(t.SuspendCount(), 0);
    t.Suspend();
    t.Suspend();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int frozen = passes.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LE(passes.load(), frozen + 1);
    t.Resume();
    EXPECT_EQ(t.SuspendCount(), 1);
    t.Resume();
    while (passes.load() < frozen + 3) std::this_thread::yield();
    stop = true;
    t.Join();
}

TEST(Sync, SemaphoreRespectsItsMaximum) {
    Semaphore s(0, 1);
    EXPECT_TRUE(s.Release());
    EXPECT_FALSE(s.Release());
    EXPECT_EQ(s.Count(), 1);
    s.Wait();
    EXPECT_FALSE(s.WaitFor(10));
    std::thread other([&] { s.Release(); });
    s.Wait();
    other.join();
}

TEST(Sync, AutoEventReleasesOneWaiterManualStaysSet) {
    Event autoEvent(true);
    std::atomic<int> woke{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) waiters.emplace_back([&] { if (autoEvent.WaitFor(20000)) ++woke; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // usually both wait by now
    autoEvent.Set();
    for (int i = 0; i < 4000 && woke.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(woke.load(), 1); // the other still waits
    autoEvent.Set();
    for (auto& w : waiters) w.join();
    EXPECT_EQ(woke.load(), 2);

    Event manual(false);
    manual.Set();
    EXPECT_TRUE(manual.WaitFor(0));
    EXPECT_TRUE(manual.WaitFor(0));
}

TEST(Sync, MutexIsRecursiveForItsOwner) {
    Mutex m;
    m.Lock();
    m.Lock();
    std::atomic<bool> got{false};
    std::thread other([&] { got = m.TryLock(); if (got) m.Unlock(); });
    other.join();
    EXPECT_FALSE(got.load());
    m.Unlock();
    m.Unlock();
    std::thread again([&] { got = m.TryLock(); if (got) m.Unlock(); });
    again.join();
    EXPECT_TRUE(got.load());
}

TEST(Sync, MutexWhoseOwnerDiedIsReportedAbandonedAndHandedOver) {
    testing_support::LogCapture log(0);
    Mutex m;
    std::thread owner([&] { m.Lock(); }); // ends while holding it
    owner.join();
    m.Lock();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "Mutex wait abandoned! Handle = " + std::to_string(m.Id()) + ", Errorcode = " +
                               std::to_string(EOWNERDEAD)}));
    m.Lock(); // now an ordinary recursive owner
    m.Unlock();
    m.Unlock();
    std::atomic<bool> got{false};
    std::thread other([&] { got = m.TryLock(); if (got) m.Unlock(); });
    other.join();
    EXPECT_TRUE(got.load());
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST(Sync, SleepSecondsSleepsAtLeastTheTruncatedMilliseconds) {
    auto start = std::chrono::steady_clock::now();
    SleepSeconds(0.1f);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    // Zero, negative and not-a-number only yield. A loaded machine may hold any one call up, so
    // each value gets a few tries and the quickest counts: a call that really sleeps is slow
    // every time.
    for (float s : {0.0f, -1.0f, -1e30f, std::numeric_limits<float>::quiet_NaN(), 0.0004f}) {
        auto quickest = std::chrono::steady_clock::duration::max();
        for (int attempt = 0; attempt < 5; ++attempt) {
            start = std::chrono::steady_clock::now();
            SleepSeconds(s);
            quickest = std::min(quickest, std::chrono::steady_clock::now() - start);
        }
        EXPECT_LT(quickest, std::chrono::milliseconds(50)) << s;
    }
}

TEST(EngineRand, FifteenBitSequenceFromSeedOnePerThread) {
    plat::SetEngineRandSeed(1);
    const int expected[] = {16838, 5758, 10113, 17515, 31051};
    for (int e : expected) EXPECT_EQ(plat::EngineRand(), e);
    int fromOther = 0;
    std::thread t([&] { fromOther = plat::EngineRand(); });
    t.join();
    EXPECT_EQ(fromOther, 16838);
}

namespace {
// A ring buffer standing in for a streaming voice: the "play cursor" is scripted.
struct FakeVoice : StreamVoiceTarget {
    Mutex mutex;
    std::vector<uint8_t> ring = std::vector<uint8_t>(32768, 0);
    std::atomic<uint32_t> play{0};
    Mutex& DeviceMutex() override { return mutex; }
    uint32_t BufferSize() override { return uint32_t(ring.size()); }
    uint32_t PlayPosition() override { return play.load(); }
    uint8_t* LockRegion(uint32_t offset, uint32_t) override { return ring.data() + offset; }
    void UnlockRegion(uint32_t, uint32_t) override {}
};
struct CountingStream : StreamSource {
    explicit CountingStream(std::atomic<int>* alive) : alive_(alive) { ++*alive_; }
    ~CountingStream() override { --*alive_; }
    uint32_t Fill(uint8_t* buffer, uint32_t bytes) override {
        std::memset(buffer, 0x5A, bytes);
        filled += bytes;
        return bytes;
    }
    std::atomic<uint64_t> filled{0};
    std::atomic<int>* alive_;
};
} // namespace

TEST(VoiceStreamThread, RefillsUpToThePlayCursor) {
    FakeVoice voice;
    std::atomic<int> alive{0};
    auto* stream = new CountingStream(&alive);
    VoiceStreamThread vst(&voice, stream);
    vst.RefillPass(); // primed ring, cursors equal: full, nothing to do
    EXPECT_EQ(vst.WriteOffset(), 0u);
    EXPECT_EQ(stream->filled.load(), 0u);
    voice.play = 10000;
    vst.RefillPass(); // 10000 bytes free from 0: more than 8192
    EXPECT_EQ(vst.WriteOffset(), 10000u);
    voice.play = 14000;
    vst.RefillPass(); // 4000 bytes free and no wrap: waits
    EXPECT_EQ(vst.WriteOffset(), 10000u);
    voice.play = 2000;
    vst.RefillPass(); // play behind write: fill to the end, then wrap up to the play cursor
    EXPECT_EQ(vst.WriteOffset(), 0u);
    EXPECT_EQ(stream->filled.load(), 10000u + 22768u);
}

TEST(VoiceStreamThread, StopJoinsBeforeFreeingTheStream) {
    FakeVoice voice;
    std::atomic<int> alive{0};
    for (int round = 0; round < 5; ++round) {
        auto* stream = new CountingStream(&alive);
        VoiceStreamThread vst(&voice, stream);
        ASSERT_TRUE(vst.Start());
        for (int i = 0; i < 3; ++i) {
            voice.play = (voice.play + 12000) % 32768;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        vst.Stop(); // under ASan a use after free would abort here
        EXPECT_EQ(vst.GetState(), VoiceStreamThread::Finished);
        EXPECT_EQ(vst.Stream(), nullptr);
        EXPECT_EQ(alive.load(), 0);
    }
    {
        // A parked thread writes nothing until it is let go, and still stops at once.
        auto* stream = new CountingStream(&alive);
        VoiceStreamThread parked(&voice, stream);
        ASSERT_TRUE(parked.Start());
        parked.Park();
        parked.Park();
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        uint64_t before = stream->filled.load();
        voice.play = (parked.WriteOffset() + 16384) % 32768;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        EXPECT_EQ(stream->filled.load(), before);
        parked.Unpark();
        for (int i = 0; i < 200 && stream->filled.load() == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GT(stream->filled.load(), before);
        parked.Park();
        parked.Stop();
        EXPECT_EQ(alive.load(), 0);
    }
    auto* idle = new CountingStream(&alive);
    VoiceStreamThread never(&voice, idle);
    never.Stop(); // never started: the stream is freed at once
    EXPECT_EQ(alive.load(), 0);
    EXPECT_FALSE(never.Start()); // nothing left to stream
    EXPECT_EQ(never.GetState(), VoiceStreamThread::Finished);
}
