// The texture and sprite factories and the texture manager inside the real render facility:
// search order, sharing, missing and bad files, requests from other threads, tiling, format
// choice, level counts and uploads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Font.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/TextDraw.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/ZktWriter.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

constexpr int kW = 96, kH = 64;

// A writer's pixel bytes as a texture level holds them.
TrackedVector<uint8_t> Tracked(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
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

    // A one-frame sprite over a texture made straight from A8R8G8B8 words.
    std::unique_ptr<Sprite> MakeSprite(int w, int h, uint32_t argb) {
        TextureRecord r;
        r.name = "made";
        r.width = w;
        r.height = h;
        r.highQuality = 1;
        r.levels.push_back({w, h, Tracked(tools::PixelsFromArgb(Solid(w * h, argb)))});
        auto s = std::make_unique<Sprite>();
        s->width = w;
        s->height = h;
        s->columns = s->rows = 1;
        s->frames.push_back({0, 0, w, h, new TextureHandle(new TextureRef(f.GetTextureManager()->Load(&r)))});
        return s;
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
    tools::WriteZkt("LAMP.ZKT", tools::ArgbTexture(4, 2, Solid(8, 0xFF00FF00u)));
    tools::WriteZkt("Textures\\LAMP.ZKT", tools::ArgbTexture(2, 2, Solid(4, 0xFF00FF00u)));
    LogCapture log;
    // Nothing loaded yet: a missing texture has no first texture to stand in for it.
    EXPECT_EQ(textures.GetByName("nothere.zkt", true), nullptr);
    std::unique_ptr<TextureHandle> missing(textures.GetByName("Missing.ZKT", true));
    ASSERT_TRUE(missing && !missing->IsEmpty());
    EXPECT_TRUE(log.Contains("TEXTUREFACTORY: Loading Textures\\MISSING.ZKT"));

    // A lower-case name: the directory as listed, a backslash, the upper-cased name; "Menu"
    // is searched before "Textures".
    SharedString name("wall.zkt");
    std::unique_ptr<TextureHandle> wall(textures.GetByName(name, true));
    EXPECT_EQ(name, "wall.zkt");  // the caller's string is left alone
    ASSERT_EQ(textures.LoadedCount(), 2u);
    EXPECT_EQ(textures.LoadedPath(1), "Menu\\WALL.ZKT");
    EXPECT_EQ(wall->DeviceTexture()->storedWidth, 2);
    // The name as given wins over every directory.
    std::unique_ptr<TextureHandle> lamp(textures.GetByName("lamp.zkt", false));
    EXPECT_EQ(textures.LoadedPath(2), "LAMP.ZKT");
    EXPECT_EQ(lamp->DeviceTexture()->storedWidth, 4);

    // Shared: a new handle on the same object; not shared: loaded and cached again.
    std::unique_ptr<TextureHandle> again(textures.GetByName("WALL.ZKT", true));
    EXPECT_NE(again.get(), wall.get());
    EXPECT_EQ(again->Get(), wall->Get());
    std::unique_ptr<TextureHandle> fresh(textures.GetByName("WALL.ZKT", false));
    EXPECT_NE(fresh->Get(), wall->Get());
    EXPECT_EQ(textures.LoadedCount(), 4u);
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
    EXPECT_EQ(textures.LoadedPath(2), "Menu\\WALL.ZKT");  // the second copy moved down
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
    LogCapture log;
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
    // The waits are logged with the caller's name as given (sprite names are upper-cased).
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(log.Contains(SharedString::Format("TEXTUREFACTORY: t%d.zkt queued", i).c_str()));
        EXPECT_TRUE(log.Contains(SharedString::Format("TEXTUREFACTORY: t%d.zkt loaded", i).c_str()));
    }
    EXPECT_TRUE(log.Contains("SPRITEFACTORY: PIC.ZKT queued"));
    EXPECT_TRUE(log.Contains("SPRITEFACTORY: Loading Textures\\PIC.ZKT"));
}

TEST_F(Factories, FontsMadeOnAnotherThreadUploadOnTheMainThread) {
    std::atomic<bool> done{false};
    std::unique_ptr<Font> font;
    std::thread loader([&] {
        font.reset(Font::Create(f.GetTextureManager(), kFontAll, "Arial", 12, false, false));
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        ZKEngine::Instance().tasks.ProcessTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(done.load());
    loader.join();
    ASSERT_FALSE(font->texture.IsEmpty());
    EXPECT_NE(font->texture.DeviceTexture()->texture, nullptr);
}

TEST_F(Factories, ConsoleListingsOfLoadedAndUnusedTextures) {
    for (const char* name : {"Textures\\A.ZKT", "Textures\\B.ZKT", "Menu\\C.ZKT"})
        tools::WriteZkt(name, tools::ArgbTexture(2, 2, Solid(4, 0xFFFFFFFFu)));
    tools::WriteFileBytes("Textures\\BAD.ZKT", std::vector<uint8_t>(12, 0));
    delete textures.GetByName("a.zkt", true);
    delete textures.GetByName("bad.zkt", true);
    LogCapture log;
    textures.ListLoaded();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"TEXTUREFACTORY: Listing 2 loaded textures",
                                                     "Textures\\A.ZKT", "Textures\\BAD.ZKT",
                                                     "TEXTUREFACTORY: 2 loaded textures listed"}));
    // Unused: every .ZKT of the directories (first to last) not loaded, or loaded empty.
    log.Clear();
    textures.ListUnused();
    const std::vector<std::string> lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "TEXTUREFACTORY: Listing unused textures");
    EXPECT_EQ(lines.back(), "TEXTUREFACTORY: 3 unused textures listed");
    const std::vector<std::string> listed(lines.begin() + 1, lines.end() - 1);
    EXPECT_EQ(listed.size(), 3u);
    for (const char* path : {"Textures\\B.ZKT", "Textures\\BAD.ZKT", "Menu\\C.ZKT"})
        EXPECT_NE(std::find(listed.begin(), listed.end(), path), listed.end()) << path;
    EXPECT_LT(std::find(listed.begin(), listed.end(), "Textures\\B.ZKT"),
              std::find(listed.begin(), listed.end(), "Menu\\C.ZKT"));
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

    // DXT1 first for opaque sources unless it is to be avoided; R8G8B8 without compression
    // falls back from R5G6B5 to R8G8B8 to X8R8G8B8.
    const std::vector<int32_t> all = {0, 1, 3, 4, 5, 7, 8, 9, 10};
    D3D8TextureManager full(nullptr, 32, &all);
    EXPECT_EQ(full.ChooseFormat(4, true, false), 7);
    EXPECT_EQ(full.ChooseFormat(7, false, false), 7);
    full.avoidDXT1 = 1;
    EXPECT_EQ(full.ChooseFormat(4, true, false), 8);
    EXPECT_EQ(full.ChooseFormat(7, false, false), 8);
    const std::vector<int32_t> noShort = {4, 10}, onlyX8 = {10};
    EXPECT_EQ(D3D8TextureManager(nullptr, 32, &noShort).ChooseFormat(4, false, false), 4);
    EXPECT_EQ(D3D8TextureManager(nullptr, 32, &onlyX8).ChooseFormat(4, false, false), 10);
}

TEST_F(Factories, CreatedTexturesFollowTheDeviceLimits) {
    D3D8TextureManager m(f.Device(), 32);
    auto record = [](const char* name, int32_t w, int32_t h, int32_t levels, bool compress) {
        TextureRecord r;
        r.name = name;
        r.width = w;
        r.height = h;
        r.mayCompress = compress ? 1 : 0;
        r.highQuality = 1;
        for (int32_t i = 0; i < levels; ++i, w = std::max(1, w / 2), h = std::max(1, h / 2))
            r.levels.push_back({w, h, TrackedVector<uint8_t>(size_t(w) * size_t(h) * 4, 0x80)});
        return r;
    };
    struct Case {
        const char* what;
        uint8_t squareOnly, nonPowerOfTwo;
        int32_t maxSize;
        int32_t w, h, levels;
        bool compress;
        uint32_t width, height, createdLevels, format;
    } cases[] = {
        {"square only", 1, 1, 4096, 256, 64, 1, false, 256, 256, 1, 0},
        {"powers of two", 0, 0, 4096, 100, 60, 1, false, 128, 64, 1, 0},
        {"stored size", 0, 1, 4096, 100, 60, 1, false, 100, 60, 1, 0},
        {"device maximum", 0, 1, 64, 256, 128, 1, false, 64, 64, 1, 0},
        {"2x2 never compresses", 0, 1, 4096, 2, 2, 5, true, 2, 2, 1, 0},
        {"compressed", 0, 1, 4096, 8, 8, 1, true, 8, 8, 1, 9},
        {"nine levels make eight", 0, 1, 4096, 256, 256, 9, false, 256, 256, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m.squareOnly = c.squareOnly;
        m.nonPowerOfTwo = c.nonPowerOfTwo;
        m.maxWidth = m.maxHeight = c.maxSize;
        TextureRecord r = record(c.what, c.w, c.h, c.levels, c.compress);
        D3D8Texture* t = m.Load(&r);
        ASSERT_TRUE(t && t->texture);
        EXPECT_EQ(t->storedWidth, c.w);
        EXPECT_EQ(t->storedHeight, c.h);
        EXPECT_EQ(uint32_t(t->width), c.width);
        EXPECT_EQ(uint32_t(t->height), c.height);
        EXPECT_EQ(t->texture->Width(), c.width);
        EXPECT_EQ(t->texture->Height(), c.height);
        EXPECT_EQ(t->texture->Levels(), c.createdLevels);
        EXPECT_EQ(t->texture->Format(), c.format);
    }
    // No destination format: the failure is shown and the texture binds as none.
    LogCapture log;
    TextureRecord odd = record("odd", 4, 4, 1, false);
    odd.format = kFormatA1R5G5B5;
    D3D8Texture* t = m.Load(&odd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->texture, nullptr);
    EXPECT_TRUE(log.Contains("Failed loading texture odd"));
    EXPECT_TRUE(log.Contains("D3D8TEXTUREMANAGER: DestFormat = 11"));
    EXPECT_TRUE(log.Contains("D3D8TEXTUREMANAGER: MipCount = 1"));
    // Released textures leave the list and their device texture goes.
    TextureRecord gone = record("gone", 4, 4, 1, false);
    D3D8Texture* g = m.Load(&gone);
    const size_t count = m.textures.size();
    m.Release(g);
    EXPECT_EQ(m.textures.size(), count - 1);
    EXPECT_EQ(g->texture, nullptr);
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
    chain.levels.push_back({64, 64, TrackedVector<uint8_t>(64 * 64 * 4, 0xC0)});
    chain.levels.push_back({32, 32, TrackedVector<uint8_t>(32 * 32 * 4, 0xC0)});
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
    // Levels smaller than a block, and sizes that are no multiple of 4, keep their blocks:
    // a 2 x 2 DXT1 level and a 6 x 5 DXT5 level (2 x 2 blocks, opaque green).
    TextureRecord tiny = block;
    tiny.name = "tiny";
    tiny.width = tiny.height = 2;
    tiny.levels[0].width = tiny.levels[0].height = 2;
    draw(tiny, four);
    EXPECT_EQ(Pixel(1, 1), 0xFFFF0000u);
    TextureRecord odd;
    odd.name = "odd";
    odd.format = kFormatDXT5;
    odd.width = 6;
    odd.height = 5;
    const uint8_t greenBlock[16] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0};
    TrackedVector<uint8_t> blocks;
    for (int i = 0; i < 4 * 16; ++i) blocks.push_back(greenBlock[i % 16]);
    odd.levels.push_back({6, 5, blocks});
    const RectF oddRect{0, 0, 6, 5};
    draw(odd, oddRect);
    EXPECT_EQ(Pixel(5, 4), 0xFF00FF00u);
    EXPECT_EQ(Pixel(6, 4), 0xFF000000u);

    // X8R8G8B8 rows are 4 bytes a pixel: a 3 x 2 R8G8B8 picture on a device that only takes
    // X8R8G8B8 comes out texel for texel.
    const std::vector<int32_t> onlyX8 = {kFormatX8R8G8B8};
    D3D8TextureManager x8(f.Device(), 32, &onlyX8);
    TextureRecord rgb;
    rgb.name = "rgb";
    rgb.format = kFormatR8G8B8;
    rgb.width = 3;
    rgb.height = 2;
    rgb.levels.push_back({3, 2, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255}});
    Sprite s;
    s.width = 3;
    s.height = 2;
    s.columns = s.rows = 1;
    s.frames.push_back({0, 0, 3, 2, new TextureHandle(new TextureRef(x8.Load(&rgb)))});
    ASSERT_EQ(s.frames[0].texture->DeviceTexture()->texture->Format(), uint32_t(kFormatX8R8G8B8));
    f.Clear(kClearTarget);
    sprites.DrawSprite(&s, nullptr, {0, 0}, nullptr, 0);
    sprites.Flush();
    const uint32_t expect[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu, 0xFFFFFF00u, 0xFFFF00FFu};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Pixel(i % 3, i / 3), expect[i]) << i;
}

TEST_F(Factories, SpritesFollowTheViewport) {
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    std::unique_ptr<Sprite> s = MakeSprite(4, 4, 0xFF00FF00u);
    // Positions are relative to the viewport's origin; a null destination is the viewport.
    const Rect vp{10, 8, 50, 40};
    f.SetViewport(&vp);
    f.Clear(kClearTarget);
    sprites.DrawSprite(s.get(), nullptr, {0, 0}, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(Pixel(10, 8), 0xFF00FF00u);
    EXPECT_EQ(Pixel(13, 11), 0xFF00FF00u);
    EXPECT_EQ(Pixel(14, 8), 0xFF000000u);
    f.Clear(kClearTarget);
    sprites.DrawSpriteRect(s.get(), nullptr, nullptr, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(Pixel(10, 8), 0xFF00FF00u);
    EXPECT_EQ(Pixel(49, 39), 0xFF00FF00u);
    EXPECT_EQ(Pixel(9, 8), 0xFF000000u);
    EXPECT_EQ(Pixel(50, 39), 0xFF000000u);

    // The anchored viewport moves both corners: 0x24 from the bottom-right corner.
    const Rect corner{-20, -16, -4, -2};
    SetViewportAnchored(f, &corner, 0x24);
    EXPECT_EQ(f.ViewportWidth(), 16);
    EXPECT_EQ(f.ViewportHeight(), 14);
    f.Clear(kClearTarget);
    SetViewportAnchored(f, nullptr, 0x24);
    EXPECT_EQ(f.ViewportWidth(), kW);
    EXPECT_EQ(f.ViewportHeight(), kH);
    SetViewportAnchored(f, &corner, 0x24);
    sprites.DrawSpriteRect(s.get(), nullptr, nullptr, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(Pixel(76, 48), 0xFF00FF00u);
    EXPECT_EQ(Pixel(91, 61), 0xFF00FF00u);
    EXPECT_EQ(Pixel(75, 48), 0xFF000000u);
    EXPECT_EQ(Pixel(91, 62), 0xFF000000u);
    f.SetViewport(nullptr);
}

TEST_F(Factories, SpritesDrawAgainAfterADeviceReset) {
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    std::unique_ptr<Sprite> s = MakeSprite(4, 4, 0xFFFF0000u);
    f.BeginScene();
    sprites.DrawSprite(s.get(), nullptr, {2, 2}, nullptr, 0);
    f.EndScene();
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.BeginScene();
    sprites.DrawSprite(s.get(), nullptr, {2, 2}, nullptr, 0);  // dropped by the reset
    f.EndScene();
    ASSERT_EQ(f.Device()->TestCooperativeLevel(), gfx::CoopState::OK);
    f.Clear(kClearTarget);
    sprites.DrawSprite(s.get(), nullptr, {6, 6}, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(Pixel(7, 7), 0xFFFF0000u);
}

TEST_F(Factories, DefaultResourcesAndTheDefaultFont) {
    tools::WriteZkt("Textures\\Missing.ZKT", tools::ArgbTexture(4, 4, Solid(16, 0xFFFF00FFu)));
    ZKEngine& engine = ZKEngine::Instance();
    LogCapture log;
    LoadDefaultRenderResources(engine);
    ASSERT_EQ(textures.LoadedCount(), 1u);
    EXPECT_EQ(textures.LoadedPath(0), "Textures\\MISSING.ZKT");
    Font* font = engine.defaultFont;
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 15);
    EXPECT_EQ(font->lineHeight, 22);
    EXPECT_FALSE(font->texture.IsEmpty());
    EXPECT_TRUE(log.Contains("D3D8TEXTUREMANAGER: Arial - 15 allocated"));

    // Text without a font uses the engine's default font: the same pixels as naming it.
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    auto draw = [&](const Font* which) {
        f.Clear(kClearTarget);
        sprites.DrawText("Ag$\x80", {3, 5}, 0, nullptr, which, false);
        sprites.Flush();
        return f.GrabScreen(true);
    };
    const std::vector<uint32_t> named = draw(font);
    EXPECT_EQ(draw(nullptr), named);
    EXPECT_NE(std::count(named.begin(), named.end(), 0xFF000000u), std::ptrdiff_t(named.size()));
    engine.SetDefaultFont(nullptr, nullptr);
    engine.SetCounterTextDrawer(nullptr);
    Font::Delete(font);
}

// A texture's pixels replaced in place: pixels in the device's format and size go up as they
// are; a texture made larger than its picture (powers of two) or pixels in another format are
// converted; a texture without a device texture, or rows shorter than the picture, refuse.
TEST_F(Factories, TexturesUpdateInPlace) {
    D3D8TextureManager& manager = *f.GetTextureManager();
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    const uint8_t nonPowerOfTwo = manager.nonPowerOfTwo;
    auto make = [&](int32_t w, int32_t h) {
        TextureRecord r;
        r.name = "updated";
        r.width = w;
        r.height = h;
        r.highQuality = 1;
        r.levels.push_back({w, h, Tracked(tools::PixelsFromArgb(Solid(w * h, 0xFF000000u)))});
        return manager.Load(&r);
    };
    auto shown = [&](D3D8Texture* t) {
        Sprite s;
        s.width = t->storedWidth;
        s.height = t->storedHeight;
        s.columns = s.rows = 1;
        s.frames.push_back({0, 0, s.width, s.height, new TextureHandle(new TextureRef(t))});
        const RectF all{0, 0, float(kW), float(kH)};
        f.Clear(kClearTarget);
        sprites.DrawSpriteRect(&s, &all, nullptr, nullptr, 0);
        sprites.Flush();
        return Pixel(kW / 2, kH / 2);
    };
    struct Case {
        const char* what;
        uint8_t nonPowerOfTwo;
        int32_t format, pitchPad;
        uint32_t argb;
    } cases[] = {
        {"as it is, padded rows", 1, kFormatA8R8G8B8, 16, 0xFF2080C0u},
        {"powers of two", 0, kFormatA8R8G8B8, 0, 0xFFC08020u},
        {"another format", 1, kFormatR8G8B8, 3, 0xFF40A060u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        manager.nonPowerOfTwo = c.nonPowerOfTwo;
        D3D8Texture* t = make(6, 5);
        ASSERT_TRUE(t && t->texture);
        const int32_t bytes = c.format == kFormatR8G8B8 ? 3 : 4;
        const int32_t pitch = 6 * bytes + c.pitchPad;
        std::vector<uint8_t> pixels(size_t(pitch) * 5);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 6; ++x)
                for (int32_t b = 0; b < bytes; ++b) pixels[size_t(y * pitch + x * bytes + b)] = uint8_t(c.argb >> (8 * b));
        EXPECT_TRUE(manager.UpdatePixels(t, pixels.data(), pitch, c.format));
        EXPECT_EQ(shown(t), c.argb);
        EXPECT_FALSE(manager.UpdatePixels(t, pixels.data(), 6 * bytes - 1, c.format));
        manager.Release(t);
        EXPECT_FALSE(manager.UpdatePixels(t, pixels.data(), pitch, c.format));
    }
    manager.nonPowerOfTwo = nonPowerOfTwo;
}
