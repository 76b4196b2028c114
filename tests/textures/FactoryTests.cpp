// The texture and sprite factories and the texture manager inside the real render facility:
// search order, sharing, missing and bad files, requests from other threads, tiling, format
// choice, level counts and uploads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/TextureSubObjects.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/ZktWriter.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

constexpr int kW = 96, kH = 64;

D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        InstallTextureSubObjects();
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({kW, kH, 32, 60});
        r->CreateDevice(false);
        if (!r->DeviceReady() || !r->GetTextureManager() || !r->GetSpriteRenderer()) abort();
        return r;
    }();
    return *f;
}

class Factories : public ::testing::Test {
protected:
    void SetUp() override {
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = &f;
        e.rendererReady = true;
        e.mainThread = Thread::Current();
        TextureFactory::Instance().ClearForTests();
        SpriteFactory::Instance().ClearForTests();
        f.GetTextureManager()->maxWidth = f.GetTextureManager()->maxHeight = 4096;
        std::filesystem::create_directories("Textures");
        std::filesystem::create_directories("Menu");
    }
    void TearDown() override {
        TextureFactory::Instance().ClearForTests();
        SpriteFactory::Instance().ClearForTests();
        ZKEngine::Instance().rendererReady = false;
    }
    static std::vector<uint32_t> Solid(int n, uint32_t argb) { return std::vector<uint32_t>(size_t(n), argb); }
    uint32_t Pixel(int x, int y) {
        uint32_t p = 0;
        f.Device()->ReadPixels(true, x, y, 1, 1, &p);
        return p;
    }

    TempWorkDir dir;
    D3D8RenderFacility& f = Facility();
    TextureFactory& textures = TextureFactory::Instance();
};

}  // namespace

TEST_F(Factories, TextureSearchSharingAndMissingFiles) {
    tools::WriteZkt("Textures\\MISSING.ZKT", tools::ArgbTexture(4, 4, Solid(16, 0xFFFF00FFu)));
    tools::WriteZkt("Textures\\WALL.ZKT", tools::ArgbTexture(8, 4, Solid(32, 0xFF00FF00u)));
    tools::WriteZkt("Menu\\WALL.ZKT", tools::ArgbTexture(2, 2, Solid(4, 0xFF0000FFu)));
    tools::WriteFileBytes("BAD.ZKT", std::vector<uint8_t>{'Z', 'K', '2', 2, 0, 0, 0, 1, 0, 0, 0, 5});
    LogCapture log;
    std::unique_ptr<TextureHandle> missing(textures.GetByName("Missing.ZKT", true));
    ASSERT_TRUE(missing && !missing->IsEmpty());

    // A lower-case name: the directory as listed, a backslash, the upper-cased name; "Menu"
    // is searched before "Textures".
    SharedString name("wall.zkt");
    std::unique_ptr<TextureHandle> wall(textures.GetByName(name, true));
    EXPECT_EQ(name, "wall.zkt");  // the caller's string is left alone
    ASSERT_EQ(textures.LoadedCount(), 2u);
    EXPECT_EQ(textures.LoadedPath(1), "Menu\\WALL.ZKT");
    EXPECT_EQ(wall->DeviceTexture()->storedWidth, 2);

    // Shared: a new handle on the same object; not shared: loaded and cached again.
    std::unique_ptr<TextureHandle> again(textures.GetByName("WALL.ZKT", true));
    EXPECT_NE(again.get(), wall.get());
    EXPECT_EQ(again->Get(), wall->Get());
    std::unique_ptr<TextureHandle> fresh(textures.GetByName("WALL.ZKT", false));
    EXPECT_NE(fresh->Get(), wall->Get());
    EXPECT_EQ(textures.LoadedCount(), 3u);
    // Releasing one handle never frees the object others hold.
    const int32_t refs = wall->Get()->RefCount();
    again.reset();
    EXPECT_EQ(wall->Get()->RefCount(), refs - 1);
    EXPECT_NE(wall->DeviceTexture(), nullptr);

    // Found nowhere: the first texture loaded. No loader: null.
    std::unique_ptr<TextureHandle> none(textures.GetByName("nothere.zkt", true));
    EXPECT_TRUE(log.Contains("TEXTUREFACTORY: NOTHERE.ZKT could not be found in one of the available directories"));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->Get(), missing->Get());
    EXPECT_EQ(textures.GetByName("picture.tga", true), nullptr);
    EXPECT_TRUE(log.Contains("TEXTUREFACTORY: No available loader could be found for PICTURE.TGA"));

    // A bad file gives an empty handle, cached; shared requests for it are empty too.
    std::unique_ptr<TextureHandle> bad(textures.GetByName("bad.zkt", true));
    EXPECT_TRUE(bad->IsEmpty());
    EXPECT_TRUE(log.Contains("BAD.ZKT is not a valid texture"));
    const size_t cached = textures.LoadedCount();
    std::unique_ptr<TextureHandle> bad2(textures.GetByName("bad.zkt", true));
    EXPECT_TRUE(bad2->IsEmpty());
    EXPECT_EQ(textures.LoadedCount(), cached);

    // Remove compares case-sensitively from the end of the path; handles keep working.
    textures.Remove("wall.zkt");
    EXPECT_EQ(textures.LoadedCount(), cached);
    textures.Remove("WALL.ZKT");
    EXPECT_EQ(textures.LoadedCount(), cached - 1);
    EXPECT_EQ(textures.LoadedPath(1), "Menu\\WALL.ZKT");  // the second copy moved down
    EXPECT_NE(wall->DeviceTexture(), nullptr);

    // Before the device exists a main-thread request loads nothing and caches nothing.
    ZKEngine::Instance().rendererReady = false;
    std::unique_ptr<TextureHandle> early(textures.GetByName("Textures\\WALL.ZKT", false));
    EXPECT_TRUE(early->IsEmpty());
    EXPECT_EQ(textures.LoadedCount(), cached - 1);
}

TEST_F(Factories, RequestsFromFourThreadsAllComplete) {
    for (int i = 0; i < 4; ++i)
        tools::WriteZkt(SharedString::Format("Textures\\T%d.ZKT", i), tools::ArgbTexture(4, 4, Solid(16, 0xFF101010u * uint32_t(i + 1))));
    tools::WriteZkt("Textures\\PIC.ZKT", tools::ArgbPicture(4, 4, Solid(16, 0xFFFFFFFFu)));
    std::atomic<int> done{0};
    std::unique_ptr<TextureHandle> results[4];
    std::unique_ptr<Sprite> sprites[4];
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            results[i].reset(textures.GetByName(SharedString::Format("t%d.zkt", i), true));
            SharedString pic("pic.zkt");
            sprites[i].reset(SpriteFactory::Instance().Get(pic, true));
            ++done;
        });
    // The main thread runs frames' worth of tasks until every request has been served.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (done.load() < 4 && std::chrono::steady_clock::now() < deadline) {
        ZKEngine::Instance().tasks.ProcessTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(done.load(), 4);
    for (auto& t : threads) t.join();
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(results[i]);
        EXPECT_FALSE(results[i]->IsEmpty()) << i;
        ASSERT_EQ(sprites[i]->frames.size(), 1u);
        EXPECT_FALSE(sprites[i]->frames[0].texture->IsEmpty());
    }
    EXPECT_EQ(textures.LoadedCount(), 4u);
}

TEST_F(Factories, SpritesAreCutIntoDeviceSizedTiles) {
    f.GetTextureManager()->maxWidth = f.GetTextureManager()->maxHeight = 256;
    EXPECT_EQ(SpriteTileSizes(300, 256), (std::vector<int32_t>{256, 32, 8, 4}));
    tools::ZktPicture big = tools::ArgbPicture(640, 480, Solid(640 * 480, 0xFF808080u));
    big.flags = 0x08;
    tools::WriteZkt("BIG.ZKT", big);
    tools::WriteZkt("V2.ZKT", tools::ArgbTexture(4, 4, Solid(16, 0xFFFFFFFFu)));
    LogCapture log;
    SharedString name("big.zkt");
    std::unique_ptr<Sprite> s(SpriteFactory::Instance().Get(name, true));
    EXPECT_EQ(name, "BIG.ZKT");  // the caller's string is upper-cased in place
    EXPECT_EQ(s->columns, 3);
    EXPECT_EQ(s->rows, 4);
    ASSERT_EQ(s->frames.size(), 12u);
    const SpriteFrame& last = s->frames[3 * 3 + 2];
    EXPECT_EQ(last.left, 512);
    EXPECT_EQ(last.top, 448);
    EXPECT_EQ(last.right, 640);
    EXPECT_EQ(last.bottom, 480);
    EXPECT_TRUE(log.Contains("D3D8TEXTUREMANAGER: BIG.ZKT_512_448 allocated"));
    // Shared requests give new sprites whose frames hold the same texture objects.
    SharedString again("BIG.ZKT");
    std::unique_ptr<Sprite> s2(SpriteFactory::Instance().Get(again, true));
    EXPECT_NE(s2.get(), s.get());
    EXPECT_EQ(s2->frames[5].texture->Get(), s->frames[5].texture->Get());
    // A version-2 file is not a sprite; a missing one is an empty sprite.
    SharedString v2("v2.zkt"), gone("gone.zkt");
    std::unique_ptr<Sprite> bad(SpriteFactory::Instance().Get(v2, true));
    EXPECT_TRUE(bad->frames.empty());
    EXPECT_TRUE(log.Contains("V2.ZKT is not a valid sprite"));
    std::unique_ptr<Sprite> missing(SpriteFactory::Instance().Get(gone, true));
    EXPECT_TRUE(missing->frames.empty());
    EXPECT_TRUE(log.Contains("SPRITEFACTORY: GONE.ZKT could not be found in one of the available directories"));
}

TEST_F(Factories, FormatChoiceAndLevelCounts) {
    const std::vector<int32_t> dxt = {0, 1, 4, 5, 8, 9, 10};
    D3D8TextureManager m(nullptr, 32, &dxt);
    struct Row {
        int32_t source;
        bool compress, quality;
        int32_t expect;
    } rows[] = {{0, true, true, 9},  {0, true, false, 8},  {0, false, false, 1}, {0, false, true, 0},
                {4, false, false, 5}, {4, false, true, 4}, {5, true, false, 8}, {7, false, false, 8},
                {3, true, true, 11}, {10, false, false, 11}};
    for (const Row& r : rows) EXPECT_EQ(m.ChooseFormat(r.source, r.compress, r.quality), r.expect) << r.source;
    m.compressionEnabled = 0;
    EXPECT_EQ(m.ChooseFormat(0, true, true), 0);
    EXPECT_EQ(m.LevelCount(256, 256, 9), 8);
    EXPECT_EQ(m.LevelCount(256, 64, 3), 3);
    EXPECT_EQ(m.LevelCount(1, 1, 1), 1);
    EXPECT_EQ(m.LevelCount(2, 2, 5), 1);
    m.fullMipChain = 1;
    EXPECT_EQ(m.LevelCount(256, 256, 1), 8);
}

TEST_F(Factories, UploadsDrawThroughTheFacility) {
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    D3D8TextureManager& manager = *f.GetTextureManager();
    auto draw = [&](TextureRecord& r, const RectF& dst) {
        auto* handle = new TextureHandle(new TextureRef(manager.Load(&r)));
        Sprite s;
        s.width = r.width;
        s.height = r.height;
        s.columns = s.rows = 1;
        s.frames.push_back({0, 0, r.width, r.height, handle});
        f.Clear(kClearTarget);
        sprites.DrawSpriteRect(&s, &dst, nullptr, nullptr, 0);
        sprites.Flush();
    };
    // A 1x1 texture gets its pixel.
    TextureRecord one;
    one.name = "one";
    one.width = one.height = 1;
    one.highQuality = 1;
    one.levels.push_back({1, 1, {0x30, 0x60, 0x90, 0xFF}});
    RectF four{0, 0, 4, 4};
    draw(one, four);
    EXPECT_EQ(Pixel(2, 2), 0xFF906030u);
    // A mip chain cut short after two levels still samples colour when minified.
    TextureRecord chain;
    chain.name = "chain";
    chain.width = chain.height = 64;
    chain.highQuality = 1;
    chain.levels.push_back({64, 64, std::vector<uint8_t>(64 * 64 * 4, 0xC0)});
    chain.levels.push_back({32, 32, std::vector<uint8_t>(32 * 32 * 4, 0xC0)});
    RectF small{0, 0, 8, 8};
    draw(chain, small);
    EXPECT_GT(Pixel(4, 4) & 0xFF, 0x80u);
    // A DXT1 block of one colour (pure red both ends) comes out red.
    TextureRecord block;
    block.name = "dxt";
    block.format = kFormatDXT1;
    block.width = block.height = 4;
    block.levels.push_back({4, 4, {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}});
    draw(block, four);
    EXPECT_EQ(Pixel(1, 1), 0xFFFF0000u);
}
