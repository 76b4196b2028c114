#include <algorithm>
#include <cmath>
#include <random>

#include "tools/writers/WorldWriter.h"

namespace tools {

namespace {

// Every material but the neon signs has the texture of the same index in the texture table.
enum Material : uint32_t {
    Road, Crossing, Pavement, Grass, FacadeA, FacadeB, Roof, Wall, Glass, Fence, FacadeC, Kerb, Neon, MaterialCount
};
// Textures of the placed objects only, after those of the static materials.
enum ObjectTexture : uint32_t { Bark = Neon, Leaves };
enum Surface : uint32_t { SurfRoad, SurfPavement, SurfGrass, SurfConcrete, NoCollision };
const char* const SurfaceNames[] = {"Road", "Pavement", "Grass", "Concrete"};

constexpr size_t None = size_t(-1);

// Texture coordinates laid over the world: u and v are the offsets from the origin along two
// axes, each already divided by the length one texture repeat covers.
struct Mapping {
    Vector3 origin, u, v;
    // Over the ground, u along x and v along z, a repeat every `size`.
    static Mapping Ground(float size, const Vector3& origin = {}) { return {origin, {1 / size, 0, 0}, {0, 0, 1 / size}}; }
    // Along a strip of road from `start` in the direction `along` (x or z), one repeat every
    // `length` along it and once across its `width`, starting from its left edge.
    static Mapping Strip(const Vector3& start, const Vector3& along, float length, float width) {
        const Vector3 across = along.x != 0 ? Vector3(0, 0, 1) : Vector3(1, 0, 0);
        return {start, along * (1 / length), across * (1 / width)};
    }
};

// How a wall's texture repeats: `width` along the wall (0: once over each quad), `height` up it,
// the first row of the picture at the top of each repeat.
struct Tile {
    float width = 0, height = 0;
    Mapping Side(const Vector3& lo, const Vector3& along) const {
        return {lo, along * (1 / width), Vector3(0, -1 / height, 0)};
    }
};

struct Builder {
    WorldFile& w;
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> groups; // material, render indices

    explicit Builder(WorldFile& world) : w(world) {}

    size_t NewGroup(Material m) {
        groups.push_back({m, {}});
        return groups.size() - 1;
    }
    // A quad wound so that (b - a) x (c - a) faces out. Its texture covers it once, or, with a
    // mapping, repeats over it as the mapping lays it in the world.
    void Quad(size_t group, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, Surface surface,
              int32_t variant = 0, const Mapping* mapping = nullptr) {
        const Vector3 n = Vector3::Cross(b - a, c - a).Normalized();
        if (group != size_t(-1)) {
            const uint32_t base = uint32_t(w.vertices.size());
            const Vector3 corners[4] = {a, b, c, d};
            const float uv[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
            for (int i = 0; i < 4; ++i) {
                if (mapping) {
                    const Vector3 r = corners[i] - mapping->origin;
                    w.vertices.push_back({corners[i], n, Vector3::Dot(r, mapping->u), Vector3::Dot(r, mapping->v)});
                } else {
                    w.vertices.push_back({corners[i], n, uv[i][0], uv[i][1]});
                }
            }
            auto& idx = groups[group].second;
            for (uint32_t k : {0u, 1u, 2u, 0u, 2u, 3u}) idx.push_back(base + k);
        }
        if (surface != NoCollision) {
            const uint32_t base = uint32_t(w.collisionVertices.size());
            for (const Vector3& p : {a, b, c, d}) w.collisionVertices.push_back(p);
            w.collisionTriangles.push_back({{base, base + 1, base + 2}, variant});
            w.collisionTriangles.push_back({{base, base + 2, base + 3}, variant});
            w.soundNames.push_back({SurfaceNames[surface], int8_t(surface)});
            w.soundNames.push_back({SurfaceNames[surface], int8_t(surface)});
        }
    }
    // Upward rectangle at height y.
    void Top(size_t group, float x0, float z0, float x1, float z1, float y, Surface s, int32_t variant = 0,
             const Mapping* mapping = nullptr) {
        Quad(group, {x0, y, z0}, {x0, y, z1}, {x1, y, z1}, {x1, y, z0}, s, variant, mapping);
    }
    // The four sides of a box (outward), drawn split n x n, and optionally its top. Collision
    // takes each side whole. The sides' texture repeats every `tile` (width along the side,
    // height) from the box's lower corner, its top's every tile width over the ground.
    void Box(size_t sides, size_t top, const Vector3& lo, const Vector3& hi, Surface s, int n = 1, int32_t variant = 0,
             Tile tile = {}) {
        if (n > 1 && s != NoCollision) Box(None, None, lo, hi, s, 1, variant);
        if (n > 1) s = NoCollision;
        const Mapping alongZ = tile.Side(lo, {0, 0, 1}), alongX = tile.Side(lo, {1, 0, 0});
        const Mapping* mz = tile.width > 0 ? &alongZ : nullptr;
        const Mapping* mx = tile.width > 0 ? &alongX : nullptr;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const float y0 = lo.y + (hi.y - lo.y) * float(j) / float(n), y1 = lo.y + (hi.y - lo.y) * float(j + 1) / float(n);
                const float fx0 = lo.x + (hi.x - lo.x) * float(i) / float(n), fx1 = lo.x + (hi.x - lo.x) * float(i + 1) / float(n);
                const float fz0 = lo.z + (hi.z - lo.z) * float(i) / float(n), fz1 = lo.z + (hi.z - lo.z) * float(i + 1) / float(n);
                Quad(sides, {hi.x, y0, fz0}, {hi.x, y1, fz0}, {hi.x, y1, fz1}, {hi.x, y0, fz1}, s, variant, mz);
                Quad(sides, {lo.x, y0, fz1}, {lo.x, y1, fz1}, {lo.x, y1, fz0}, {lo.x, y0, fz0}, s, variant, mz);
                Quad(sides, {fx1, y0, hi.z}, {fx1, y1, hi.z}, {fx0, y1, hi.z}, {fx0, y0, hi.z}, s, variant, mx);
                Quad(sides, {fx0, y0, lo.z}, {fx0, y1, lo.z}, {fx1, y1, lo.z}, {fx1, y0, lo.z}, s, variant, mx);
            }
        const Mapping ground = Mapping::Ground(tile.width);
        if (top != size_t(-1)) Top(top, lo.x, lo.z, hi.x, hi.z, hi.y, s, variant, tile.width > 0 ? &ground : nullptr);
    }
    void Finish() {
        for (auto& [material, idx] : groups) {
            WorldFile::Group g;
            g.firstIndex = uint32_t(w.indices.size());
            g.indexCount = uint32_t(idx.size());
            g.material = material;
            w.indices.insert(w.indices.end(), idx.begin(), idx.end());
            w.groups.push_back(g);
        }
    }
};

WorldFile::Mesh BoxMesh(const Vector3& h) {
    WorldFile::Mesh m;
    const Vector3 lo = h * -1.0f, hi = h;
    auto quad = [&](Vector3 a, Vector3 b, Vector3 c, Vector3 d) {
        const Vector3 n = Vector3::Cross(b - a, c - a).Normalized();
        const uint32_t base = uint32_t(m.vertices.size());
        const float uv[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
        const Vector3 cs[4] = {a, b, c, d};
        for (int i = 0; i < 4; ++i) m.vertices.push_back({cs[i], n, uv[i][0], uv[i][1]});
        for (uint32_t k : {0u, 1u, 2u, 0u, 2u, 3u}) m.indices.push_back(base + k);
    };
    quad({hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z});
    quad({lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z});
    quad({hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z});
    quad({lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z});
    quad({lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z});
    quad({lo.x, lo.y, hi.z}, {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z});
    return m;
}

// Adds `part` to `mesh`, moved by `offset`.
void Append(WorldFile::Mesh& mesh, const WorldFile::Mesh& part, const Vector3& offset) {
    const uint32_t base = uint32_t(mesh.vertices.size());
    for (WorldFile::Vertex v : part.vertices) {
        v.position = v.position + offset;
        mesh.vertices.push_back(v);
    }
    for (uint32_t i : part.indices) mesh.indices.push_back(base + i);
}

// A cone of `sides` flat faces round the y axis from its base ring (radius, y0) to its tip at
// y1, its bottom closed; the texture wraps once round it.
WorldFile::Mesh Cone(float radius, float y0, float y1, int sides) {
    WorldFile::Mesh m;
    auto ring = [&](int k) {
        const float a = TwoPi * float(k) / float(sides);
        return Vector3(std::cos(a) * radius, y0, std::sin(a) * radius);
    };
    auto face = [&](const Vector3& a, const Vector3& b, const Vector3& c, float u0, float u1, float v) {
        const Vector3 n = Vector3::Cross(b - a, c - a).Normalized();
        const uint32_t base = uint32_t(m.vertices.size());
        m.vertices.push_back({a, n, u0, v});
        m.vertices.push_back({b, n, (u0 + u1) * 0.5f, 0.0f});
        m.vertices.push_back({c, n, u1, v});
        m.indices.insert(m.indices.end(), {base, base + 1, base + 2});
    };
    const Vector3 tip(0, y1, 0), bottom(0, y0, 0);
    for (int k = 0; k < sides; ++k) {
        const float u0 = float(k) / float(sides), u1 = float(k + 1) / float(sides);
        // Wound so that (b - a) x (c - a) points out of the cone, and down for the bottom.
        face(ring(k), tip, ring(k + 1), u0, u1, 1.0f);
        face(ring(k + 1), bottom, ring(k), u1, u0, 1.0f);
    }
    return m;
}

WorldFile::Rgba Grey(uint8_t v, uint8_t a = 255) { return {v, v, v, a}; }

// Sizes the textures are drawn to: a window bay and a storey of the facades, the kerb stones'
// width, the fields round the city and the tiles they are laid in.
constexpr float kBay = 40.0f, kStorey = 30.0f, kKerb = 6.0f, kField = 2000.0f, kFieldTile = 400.0f;
// The lamps' light, just under the head of a lamp post (92 high).
constexpr float kLampHead = 90.0f;
constexpr float kWallThickness = 40.0f; // the edge wall's, outwards from its face to the city

} // namespace

WorldFile GenerateCity(const CityOptions& o) {
    WorldFile w;
    std::mt19937 rng(o.seed);
    auto uniform = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
    const int n = std::max(o.blocks, 1);
    const float B = o.blockSize, R = o.roadWidth, S = float(n) * B + float(n + 1) * R, H = S * 0.5f;
    auto roadCentre = [&](int i) { return -H + R * 0.5f + float(i) * (B + R); };
    auto blockMin = [&](int i) { return -H + R + float(i) * (B + R); };

    w.textures = {"Road.ZKT", "Crossing.ZKT", "Pavement.ZKT", "Grass.ZKT", "FacadeA.ZKT", "FacadeB.ZKT", "Roof.ZKT",
                  "Wall.ZKT", "Glass.ZKT", "Fence.ZKT", "FacadeC.ZKT", "Kerb.ZKT"};
    if (o.props) w.textures.insert(w.textures.end(), {"Bark.ZKT", "Leaves.ZKT"});
    // The static city's shading (its lit pass): (texture + C) x (ambient x A + B + the lights over
    // the normal). A takes the whole ambient, B lifts the sides the lights miss a little, and C
    // adds nothing to the texture (its alpha only keeps the groups drawn).
    for (uint32_t m = 0; m < MaterialCount; ++m) {
        WorldFile::StaticMaterial mat;
        mat.a = Grey(255);
        mat.b = Grey(40);
        mat.c = Grey(0, 255);
        mat.d = Grey(0);
        mat.texture = m < Neon ? int32_t(m) : -1;
        if (m == Glass) mat.flags = 0x02, mat.c = {180, 220, 255, 128};
        if (m == Fence) mat.flags = 0x10;
        if (m == Neon) mat.flags = 0x20 | 0x08, mat.c = {255, 40, 200, 255};
        w.materials.push_back(mat);
    }

    Builder b(w);
    const int parkBlock = o.props ? n + 1 : -1;          // block (1, 1)
    const int poolBlock = o.props ? 2 * n + 2 : -1;      // block (2, 2)
    const int blockedLine = 2, blockedSegment = 1;       // the road block on horizontal line 2

    // Roads: horizontal strips between crossings, vertical strips between them, crossings.
    std::vector<size_t> crossingGroups;
    for (int i = 0; i <= n; ++i) crossingGroups.push_back(b.NewGroup(Crossing));
    for (int line = 0; line <= n; ++line) {
        const size_t gh = b.NewGroup(Road), gv = b.NewGroup(Road);
        const float c = roadCentre(line);
        // The road's markings run along its texture's u, the width of the road once across v.
        for (int s = 0; s < n; ++s) {
            const float a0 = blockMin(s), a1 = a0 + B;
            const Mapping h = Mapping::Strip({a0, 0, c - R * 0.5f}, {1, 0, 0}, R, R);
            const Mapping v = Mapping::Strip({c - R * 0.5f, 0, a0}, {0, 0, 1}, R, R);
            b.Top(gh, a0, c - R * 0.5f, a1, c + R * 0.5f, 0.0f, SurfRoad, 0, &h);
            b.Top(gv, c - R * 0.5f, a0, c + R * 0.5f, a1, 0.0f, SurfRoad, 0, &v);
        }
        for (int j = 0; j <= n; ++j) {
            const float x = roadCentre(j);
            const Mapping once = Mapping::Ground(R, {x - R * 0.5f, 0, c - R * 0.5f});
            b.Top(crossingGroups[size_t(line)], x - R * 0.5f, c - R * 0.5f, x + R * 0.5f, c + R * 0.5f, 0.0f, SurfRoad, 0,
                  &once);
        }
    }
    // The road block: a low barrier across one segment that collides only in mission variant 1.
    const float blockX = blockMin(blockedSegment) + B * 0.5f, blockZ = roadCentre(blockedLine);
    if (o.props) b.Box(None, None, {blockX - 10, 0, blockZ - R * 0.5f}, {blockX + 10, 30, blockZ + R * 0.5f}, SurfConcrete, 1, 2);

    // Blocks: pavement 2 high inside a ring of kerb stones, with buildings, the park and the pool.
    std::vector<size_t> glassGroups, neonCandidates;
    Vector3 fountain, poolCentre;
    const size_t kerbs = b.NewGroup(Kerb);
    const Mapping kerbStones = Mapping::Ground(kKerb * 4), slabs = Mapping::Ground(40), lawn = Mapping::Ground(80);
    for (int bz = 0; bz < n; ++bz)
        for (int bx = 0; bx < n; ++bx) {
            const int index = bz * n + bx;
            const float x0 = blockMin(bx) + kKerb, z0 = blockMin(bz) + kKerb, x1 = x0 + B - 2 * kKerb, z1 = z0 + B - 2 * kKerb;
            const bool park = index == parkBlock, pool = index == poolBlock;
            const size_t top = b.NewGroup(park ? Grass : Pavement);
            b.Box(kerbs, None, {x0 - kKerb, 0, z0 - kKerb}, {x1 + kKerb, 2, z1 + kKerb}, SurfPavement, 1, 0, {kKerb * 4, 2});
            b.Top(kerbs, x0 - kKerb, z0 - kKerb, x1 + kKerb, z0, 2.0f, SurfPavement, 0, &kerbStones);
            b.Top(kerbs, x0 - kKerb, z1, x1 + kKerb, z1 + kKerb, 2.0f, SurfPavement, 0, &kerbStones);
            b.Top(kerbs, x0 - kKerb, z0, x0, z1, 2.0f, SurfPavement, 0, &kerbStones);
            b.Top(kerbs, x1, z0, x1 + kKerb, z1, 2.0f, SurfPavement, 0, &kerbStones);
            if (park) {
                b.Top(top, x0, z0, x1, z1, 2.0f, SurfGrass, 0, &lawn);
                fountain = {x0 + B * 0.5f, 2.0f, z0 + B * 0.5f};
                const size_t fg = b.NewGroup(Wall);
                b.Box(fg, fg, fountain + Vector3(-40, 0, -40), fountain + Vector3(40, 20, 40), SurfConcrete, 1, 0, {40, 20});
                const size_t fence = b.NewGroup(Fence);
                const float e = 10.0f;
                b.Quad(fence, {x0 + e, 2, z0 + e}, {x0 + e, 22, z0 + e}, {x1 - e, 22, z0 + e}, {x1 - e, 2, z0 + e}, NoCollision);
                b.Quad(fence, {x1 - e, 2, z1 - e}, {x1 - e, 22, z1 - e}, {x0 + e, 22, z1 - e}, {x0 + e, 2, z1 - e}, NoCollision);
                continue;
            }
            if (pool) {
                poolCentre = {x0 + B * 0.5f, 2.0f, z0 + B * 0.5f};
                const float p0x = poolCentre.x - 200, p1x = poolCentre.x + 200, p0z = poolCentre.z - 200, p1z = poolCentre.z + 200;
                b.Top(top, x0, z0, x1, p0z, 2.0f, SurfPavement, 0, &slabs);
                b.Top(top, x0, p1z, x1, z1, 2.0f, SurfPavement, 0, &slabs);
                b.Top(top, x0, p0z, p0x, p1z, 2.0f, SurfPavement, 0, &slabs);
                b.Top(top, p1x, p0z, x1, p1z, 2.0f, SurfPavement, 0, &slabs);
                const float floorY = 2.0f - 30.0f;
                b.Top(top, p0x, p0z, p1x, p1z, floorY, SurfConcrete, 0, &slabs);
                // Inner walls facing into the pool.
                b.Quad(top, {p0x, floorY, p0z}, {p0x, 2, p0z}, {p0x, 2, p1z}, {p0x, floorY, p1z}, SurfConcrete);
                b.Quad(top, {p1x, floorY, p1z}, {p1x, 2, p1z}, {p1x, 2, p0z}, {p1x, floorY, p0z}, SurfConcrete);
                b.Quad(top, {p1x, floorY, p0z}, {p1x, 2, p0z}, {p0x, 2, p0z}, {p0x, floorY, p0z}, SurfConcrete);
                b.Quad(top, {p0x, floorY, p1z}, {p0x, 2, p1z}, {p1x, 2, p1z}, {p1x, floorY, p1z}, SurfConcrete);
                // Two ramps down from the north and south edges.
                b.Quad(top, {p0x + 20, 2, p0z}, {p0x + 20, floorY, p0z + 150}, {p0x + 120, floorY, p0z + 150}, {p0x + 120, 2, p0z}, SurfConcrete);
                b.Quad(top, {p1x - 20, 2, p1z}, {p1x - 20, floorY, p1z - 150}, {p1x - 120, floorY, p1z - 150}, {p1x - 120, 2, p1z}, SurfConcrete);
                WorldFile::Water water;
                water.centre = {poolCentre.x, floorY + 15.0f, poolCentre.z};
                water.halfExtents = {200, 15, 200};
                water.radius = water.halfExtents.Length();
                water.axes[12] = water.centre.x;
                water.axes[13] = water.centre.y;
                water.axes[14] = water.centre.z;
                w.waterVolumes.push_back(water);
                continue;
            }
            b.Top(top, x0, z0, x1, z1, 2.0f, SurfPavement, 0, &slabs);
            // Low houses in brick or stone by turns, towers of glass and steel; each building a
            // whole number of storeys.
            const Material low = (bx + bz) % 2 ? FacadeA : FacadeB;
            size_t facadeGroups[2] = {None, None};
            const size_t roofs = b.NewGroup(Roof);
            int cells[4] = {0, 1, 2, 3};
            std::shuffle(cells, cells + 4, rng);
            const int count = 2 + int(rng() % 3);
            for (int k = 0; k < count; ++k) {
                const int cx = cells[k] % 2, cz = cells[k] / 2;
                const float bx0 = blockMin(bx) + 40 + float(cx) * (B - 80) * 0.5f, bz0 = blockMin(bz) + 40 + float(cz) * (B - 80) * 0.5f;
                const float side = (B - 80) * 0.5f - 40;
                const float height = std::round(uniform(100.0f, 600.0f) / kStorey) * kStorey;
                const bool tower = height > 360.0f;
                size_t& facades = facadeGroups[tower ? 1 : 0];
                if (facades == None) facades = b.NewGroup(tower ? FacadeC : low);
                b.Box(facades, roofs, {bx0, 2, bz0}, {bx0 + side, 2 + height, bz0 + side}, SurfConcrete, o.facadeDetail, 0,
                      {2 * kBay, 2 * kStorey});
                if (o.props && k == 0) neonCandidates.push_back(size_t(index));
                if (o.props && k == 0 && glassGroups.size() < 2 && index % 5 == 0) {
                    const size_t g = b.NewGroup(Glass);
                    glassGroups.push_back(g);
                    b.Quad(g, {bx0 + 20, 30, bz0 - 0.5f}, {bx0 + 20, 90, bz0 - 0.5f}, {bx0 + side - 20, 90, bz0 - 0.5f},
                           {bx0 + side - 20, 30, bz0 - 0.5f}, NoCollision);
                }
            }
        }

    // The wall round the city, in concrete panels.
    for (int side = 0; side < 4; ++side) {
        const size_t g = b.NewGroup(Wall);
        const float y1 = 150.0f;
        const Mapping alongX = Tile{100, 50}.Side({-H, 0, -H}, {1, 0, 0}), alongZ = Tile{100, 50}.Side({-H, 0, -H}, {0, 0, 1});
        if (side == 0) b.Quad(g, {-H, 0, -H}, {-H, y1, -H}, {H, y1, -H}, {H, 0, -H}, NoCollision, 0, &alongX);
        if (side == 1) b.Quad(g, {H, 0, H}, {H, y1, H}, {-H, y1, H}, {-H, 0, H}, NoCollision, 0, &alongX);
        if (side == 2) b.Quad(g, {-H, 0, H}, {-H, y1, H}, {-H, y1, -H}, {-H, 0, -H}, NoCollision, 0, &alongZ);
        if (side == 3) b.Quad(g, {H, 0, -H}, {H, y1, -H}, {H, y1, H}, {H, 0, H}, NoCollision, 0, &alongZ);
        // It stops cars as a solid slab, not as its zero-thickness faces: a car at full speed
        // goes further in a step than a face's contact can push it back, and comes out beyond.
        const float T = kWallThickness;
        if (side == 0) b.Box(None, None, {-H - T, 0, -H - T}, {H + T, y1, -H}, SurfConcrete);
        if (side == 1) b.Box(None, None, {-H - T, 0, H}, {H + T, y1, H + T}, SurfConcrete);
        if (side == 2) b.Box(None, None, {-H - T, 0, -H}, {-H, y1, H}, SurfConcrete);
        if (side == 3) b.Box(None, None, {H, 0, -H}, {H + T, y1, H}, SurfConcrete);
        // Its face towards the city, seen only (the static city draws the faces turned to the
        // camera).
        if (side == 0) b.Quad(g, {-H, 0, -H}, {H, 0, -H}, {H, y1, -H}, {-H, y1, -H}, NoCollision, 0, &alongX);
        if (side == 1) b.Quad(g, {H, 0, H}, {-H, 0, H}, {-H, y1, H}, {H, y1, H}, NoCollision, 0, &alongX);
        if (side == 2) b.Quad(g, {-H, 0, H}, {-H, 0, -H}, {-H, y1, -H}, {-H, y1, H}, NoCollision, 0, &alongZ);
        if (side == 3) b.Quad(g, {H, 0, -H}, {H, 0, H}, {H, y1, H}, {H, y1, -H}, NoCollision, 0, &alongZ);
    }
    // Fields beyond the wall out to the horizon, seen only: one draw group a field, so that
    // those behind the camera are left out and the far ones fade into the sky's colour. The fade
    // is worked out at the corners of the triangles, so a field is laid in tiles short enough
    // for it to reach the sky's colour where the view ends.
    if (o.horizon > 0) {
        const float E = H + o.horizon;
        auto fields = [&](float x0, float z0, float x1, float z1) {
            const int nx = std::max(1, int(std::ceil((x1 - x0) / kField))), nz = std::max(1, int(std::ceil((z1 - z0) / kField)));
            const int tiles = int(std::ceil(kField / kFieldTile));
            for (int i = 0; i < nx; ++i)
                for (int j = 0; j < nz; ++j) {
                    const size_t g = b.NewGroup(Grass);
                    const float fx0 = x0 + (x1 - x0) * float(i) / float(nx), fz0 = z0 + (z1 - z0) * float(j) / float(nz);
                    const float fx1 = x0 + (x1 - x0) * float(i + 1) / float(nx), fz1 = z0 + (z1 - z0) * float(j + 1) / float(nz);
                    for (int u = 0; u < tiles; ++u)
                        for (int v = 0; v < tiles; ++v)
                            b.Top(g, fx0 + (fx1 - fx0) * float(u) / float(tiles), fz0 + (fz1 - fz0) * float(v) / float(tiles),
                                  fx0 + (fx1 - fx0) * float(u + 1) / float(tiles), fz0 + (fz1 - fz0) * float(v + 1) / float(tiles),
                                  0.0f, NoCollision, 0, &lawn);
                }
        };
        fields(-E, -E, E, -H);
        fields(-E, H, E, E);
        fields(-E, -H, -H, H);
        fields(H, -H, E, H);
    }
    // Neon signs, one group each, up to the wanted number of groups.
    if (o.props) {
        const int want = std::max(1, o.drawGroups - int(b.groups.size()));
        for (int k = 0; k < want; ++k) {
            const size_t g = b.NewGroup(Neon);
            const float x = -H + R + 60.0f + float(k % 8) * 180.0f, z = -H + 0.6f * R;
            b.Quad(g, {x, 160 + float(k / 8) * 30, z}, {x, 180 + float(k / 8) * 30, z}, {x + 60, 180 + float(k / 8) * 30, z},
                   {x + 60, 160 + float(k / 8) * 30, z}, NoCollision);
        }
    }
    b.Finish();

    // Lane graph: two lanes per road segment, five nodes each, right-hand traffic.
    const int segs = n;
    const int nodesPerLane = 5;
    // lane id: axis (0 along x, 1 along z), line, segment, direction (0 increasing, 1 decreasing)
    auto laneIndex = [&](int axis, int line, int seg, int dir) { return ((axis * (n + 1) + line) * segs + seg) * 2 + dir; };
    const int laneCount = 2 * (n + 1) * segs * 2;
    WorldFile::Graph lanes;
    lanes.nodes.resize(size_t(laneCount * nodesPerLane));
    auto nodeOf = [&](int lane, int k) { return uint32_t(lane * nodesPerLane + k); };
    for (int axis = 0; axis < 2; ++axis)
        for (int line = 0; line <= n; ++line)
            for (int seg = 0; seg < segs; ++seg)
                for (int dir = 0; dir < 2; ++dir) {
                    const int lane = laneIndex(axis, line, seg, dir);
                    const float c = roadCentre(line);
                    // Right of the direction of travel.
                    const float offset = (axis == 0 ? (dir == 0 ? 1.0f : -1.0f) : (dir == 0 ? -1.0f : 1.0f)) * R * 0.25f;
                    const float a0 = blockMin(seg), a1 = a0 + B;
                    for (int k = 0; k < nodesPerLane; ++k) {
                        const float t = float(k) / float(nodesPerLane - 1);
                        const float along = dir == 0 ? a0 + (a1 - a0) * t : a1 - (a1 - a0) * t;
                        WorldFile::Node& node = lanes.nodes[nodeOf(lane, k)];
                        node.position = axis == 0 ? Vector3(along, 0, c + offset) : Vector3(c + offset, 0, along);
                        node.value = 1.0f;
                        node.nodeClass = o.props && axis == 0 && line == blockedLine && seg == blockedSegment ? 1 : 0;
                        if (k + 1 < nodesPerLane) node.links.push_back(nodeOf(lane, k + 1));
                    }
                }
    // At a crossing (row i, column j) every lane leaving it but the way back.
    auto leaving = [&](int i, int j, int excludeAxis, int excludeDir) {
        std::vector<int> out;
        auto add = [&](int axis, int line, int seg, int dir) {
            if (seg < 0 || seg >= segs || (axis == excludeAxis && dir == excludeDir)) return;
            out.push_back(laneIndex(axis, line, seg, dir));
        };
        add(0, i, j, 0);
        add(0, i, j - 1, 1);
        add(1, j, i, 0);
        add(1, j, i - 1, 1);
        return out;
    };
    for (int axis = 0; axis < 2; ++axis)
        for (int line = 0; line <= n; ++line)
            for (int seg = 0; seg < segs; ++seg)
                for (int dir = 0; dir < 2; ++dir) {
                    const int end = dir == 0 ? seg + 1 : seg;
                    const int i = axis == 0 ? line : end, j = axis == 0 ? end : line;
                    WorldFile::Node& last = lanes.nodes[nodeOf(laneIndex(axis, line, seg, dir), nodesPerLane - 1)];
                    for (int out : leaving(i, j, axis, 1 - dir)) last.links.push_back(nodeOf(out, 0));
                }
    w.sharedGraph = lanes;
    w.driverGraph = lanes;
    w.trafficGraph = lanes;
    for (uint32_t e = 0; e < 4; ++e) w.episodeGraphs[e].spareWord = e;

    // Pavement rings: eight nodes a block.
    for (int bz = 0; bz < n; ++bz)
        for (int bx = 0; bx < n; ++bx) {
            const float x0 = blockMin(bx) + 20, z0 = blockMin(bz) + 20, x1 = blockMin(bx) + B - 20, z1 = blockMin(bz) + B - 20;
            const float xm = (x0 + x1) * 0.5f, zm = (z0 + z1) * 0.5f;
            const Vector3 ring[8] = {{x0, 2, z0}, {xm, 2, z0}, {x1, 2, z0}, {x1, 2, zm}, {x1, 2, z1}, {xm, 2, z1}, {x0, 2, z1}, {x0, 2, zm}};
            const uint32_t base = uint32_t(w.pedestrianGraph.nodes.size());
            for (uint32_t k = 0; k < 8; ++k) {
                WorldFile::Node node;
                node.position = ring[k];
                node.links = {base + (k + 1) % 8, base + (k + 7) % 8};
                w.pedestrianGraph.nodes.push_back(node);
            }
        }

    // Collision-free extra words, one per collision vertex would be meaningless: none.
    if (!o.props && o.cratesPerBlock == 0) return w;

    // Object materials, meshes, boxes and kinds.
    w.objectMaterials.resize(3);
    w.objectMaterials[0].texture = int32_t(Wall);
    w.objectMaterials[1].texture = int32_t(Glass);
    w.objectMaterials[1].flags = 0x02;
    // Posts in dark grey metal.
    w.objectMaterials[2].texture = int32_t(Roof);
    w.objectMaterials[2].flags = 0x04;
    w.objectMaterials[2].a = {90, 90, 100, 255};
    struct KindShape {
        Vector3 half;
        uint32_t material;
        uint32_t flags;
        float mass;
        int8_t hitSound;
        int32_t variant;
    };
    enum KindId { Crate, Bench, Lamp, LightPost, Pane, Post, Carrier, Barrier, KindCount };
    const KindShape shapes[KindCount] = {
        {{16, 16, 16}, 0, 0x04, 100.0f, 1, 0},          // crate
        {{30, 8, 10}, 0, 0x04, 400.0f, 1, 0},           // bench
        {{3, 46, 3}, 2, 0x04, 800.0f, 3, 0},            // lamp post
        {{4, 50, 4}, 2, 0x04 | 0x01, 1000.0f, 6, 0},    // traffic-light post, fixed
        {{40, 30, 1}, 1, 0x04 | 0x20, 50.0f, 0, 0},     // glass pane, shatters
        {{5, 40, 5}, 2, 0x00, 0.0f, 0, 0},              // drop-point post, visual only
        {{25, 5, 25}, 0, 0x04, 200.0f, 5, 0},           // crate carrier
        {{10, 15, 80}, 2, 0x04 | 0x01, 1000.0f, 5, 2},  // road-block barrier, variant 1 only
    };
    for (int k = 0; k < KindCount; ++k) {
        w.meshes.push_back(BoxMesh(shapes[k].half));
        w.boxes.push_back({{0, shapes[k].half.y, 0}, shapes[k].half});
        WorldFile::Kind kind;
        kind.mesh = uint32_t(k);
        kind.variant = shapes[k].variant;
        WorldFile::Part part;
        part.range[0] = 0;
        part.range[1] = 36;
        part.range[2] = 0;
        part.range[3] = 24;
        part.material = shapes[k].material;
        kind.parts.push_back(part);
        kind.flags = shapes[k].flags;
        kind.box = uint32_t(k);
        kind.mass = shapes[k].mass;
        kind.hitSound = shapes[k].hitSound;
        w.kinds.push_back(kind);
    }
    // Box meshes sit on their base: lift the vertices by the half height.
    for (int k = 0; k < KindCount; ++k)
        for (auto& v : w.meshes[size_t(k)].vertices) v.position.y += shapes[k].half.y;
    // The lamp post carries its lamp: a flat head on the top.
    Append(w.meshes[Lamp], BoxMesh({7, 2, 7}), {0, 2 * shapes[Lamp].half.y, 0});
    w.kinds[Lamp].parts[0].range[1] = int32_t(w.meshes[Lamp].indices.size());
    w.kinds[Lamp].parts[0].range[3] = int32_t(w.meshes[Lamp].vertices.size());
    // Every object in the light of the scene: no glow of its own beyond a little lift of the sides
    // the lights miss (the colours default to white, which would light every object fully).
    for (WorldFile::ObjectMaterial& m : w.objectMaterials) m.c = Grey(30), m.d = Grey(0);
    // Trees, in the props only: a trunk the cars stop at and its crown, bark and leaves.
    constexpr uint32_t Tree = KindCount;
    if (o.props) {
        w.objectMaterials.resize(5);
        w.objectMaterials[3].texture = int32_t(Bark);
        w.objectMaterials[4].texture = int32_t(Leaves);
        for (size_t k : {3u, 4u}) w.objectMaterials[k].c = Grey(30), w.objectMaterials[k].d = Grey(0);
        const Vector3 trunk(3, 18, 3);
        WorldFile::Mesh mesh = BoxMesh(trunk);
        for (auto& v : mesh.vertices) v.position.y += trunk.y;
        const uint32_t crownIndex = uint32_t(mesh.indices.size()), crownVertex = uint32_t(mesh.vertices.size());
        Append(mesh, Cone(32, 25, 85, 8), {});
        Append(mesh, Cone(22, 65, 115, 8), {});
        WorldFile::Kind kind;
        kind.mesh = uint32_t(w.meshes.size());
        kind.parts.resize(2);
        kind.parts[0] = {{0, int32_t(crownIndex), 0, int32_t(crownVertex)}, 3};
        kind.parts[1] = {{int32_t(crownIndex), int32_t(mesh.indices.size() - crownIndex), int32_t(crownVertex),
                          int32_t(mesh.vertices.size() - crownVertex)}, 4};
        kind.flags = 0x04 | 0x01;
        kind.box = uint32_t(w.boxes.size());
        kind.mass = 1000.0f;
        kind.hitSound = 6;
        w.meshes.push_back(mesh);
        w.boxes.push_back({{0, trunk.y, 0}, trunk});
        w.kinds.push_back(kind);
    }
    auto place = [&](uint32_t kind, const Vector3& p, float yaw = 0.0f) {
        w.objects.push_back({uint32_t(kind), {p, Quaternion(Vector3(0, 1, 0), yaw)}});
        return uint32_t(w.objects.size() - 1);
    };

    if (o.props) {
        // Two stacks of three crates in the free pavement strip along a block's west edge.
        for (int s = 0; s < 2; ++s) {
            const float x = blockMin(s) + 19, z = blockMin(0) + 200;
            for (int k = 0; k < 3; ++k) place(Crate, {x, 2.0f + float(k) * 32.0f, z});
        }
        // Benches along the pavements.
        for (int k = 0; k < 38; ++k) {
            const int bx = k % n, bz = (k / n) % n;
            place(Bench, {blockMin(bx) + 100 + float(k % 3) * 200, 2, blockMin(bz) + 15}, 0.0f);
        }
        // Lamp posts with one lamp each, at the block corners.
        for (int k = 0; k < 24; ++k) {
            const int bx = k % n, bz = (k / n) % n;
            const float x = blockMin(bx) + ((k / 16) ? B - 12 : 12), z = blockMin(bz) + 12;
            const uint32_t object = place(Lamp, {x, 2, z});
            w.worldLights.push_back({{Vector3(0, kLampHead, 0)}, object});
        }
        // Two traffic-light controllers of two groups of two lights.
        for (int c = 0; c < 2; ++c) {
            const int ci = 1 + c, cj = 1 + c;
            std::vector<std::vector<WorldFile::Light>> controller(2);
            const float cx = roadCentre(cj), cz = roadCentre(ci);
            // Group 0: the lanes along x arriving at the crossing; group 1: along z.
            const int arrive[2][2][3] = {{{0, ci, cj - 1}, {0, ci, cj}}, {{1, cj, ci - 1}, {1, cj, ci}}};
            for (int g = 0; g < 2; ++g)
                for (int d = 0; d < 2; ++d) {
                    const int axis = arrive[g][d][0], line = arrive[g][d][1], seg = arrive[g][d][2];
                    const int dir = d == 0 ? 0 : 1;
                    const uint32_t node = nodeOf(laneIndex(axis, line, seg, dir), nodesPerLane - 1);
                    const Vector3 corner(cx + (d ? 1.0f : -1.0f) * (R * 0.5f + 10), 2, cz + (g ? 1.0f : -1.0f) * (R * 0.5f + 10));
                    controller[size_t(g)].push_back({node, place(LightPost, corner)});
                }
            w.trafficLights.push_back(controller);
        }
        // Two glass panes beside the park.
        for (int k = 0; k < 2; ++k) place(Pane, {blockMin(1) + 200 + float(k) * 120, 2, blockMin(1) - 30});
        // Six drop points with their posts.
        const char* names[6] = {"Station", "Harbour", "Museum", "Market", "Tower", "Gardens"};
        for (int k = 0; k < 6; ++k) {
            const uint32_t object = place(Post, {blockMin(k % n) + B * 0.5f, 2, blockMin((k * 3) % n) + B - 15});
            WorldFile::DropPoint d;
            d.name = names[k];
            d.object = object;
            d.variants = {1, uint32_t(2 + k % 2)};
            w.dropPoints.push_back(d);
        }
        // Six crates on carriers: boost, repair, cannon, missile, explosive, random.
        const uint32_t types[6] = {0, 1, 2, 7, 11, 6};
        for (int k = 0; k < 6; ++k) {
            const uint32_t object = place(Carrier, {blockMin(k % n) + B - 60, 2, blockMin((k + 1) % n) + 60});
            w.crates.push_back({types[k], object});
        }
        place(Barrier, {blockX, 0, blockZ});
        // The park: trees round the cart's path and in the corners, and four lamps by the path.
        for (int k = 0; k < 12; ++k) {
            const float a = (float(k) + 0.5f) * TwoPi / 12.0f;
            place(Tree, fountain + Vector3(std::cos(a) * 310, 0, std::sin(a) * 310), a);
        }
        for (int k = 0; k < 4; ++k)
            place(Tree, fountain + Vector3(k % 2 ? 330.0f : -330.0f, 0, k / 2 ? 330.0f : -330.0f), float(k));
        for (int k = 0; k < 4; ++k) {
            const float a = (float(k) + 0.5f) * HalfPi;
            const uint32_t object = place(Lamp, fountain + Vector3(std::cos(a) * 250, 0, std::sin(a) * 250));
            w.worldLights.push_back({{Vector3(0, kLampHead, 0)}, object});
        }

        // Respawn zones 1 and 2 on the roads.
        for (uint32_t z = 1; z <= 2; ++z) {
            WorldFile::RespawnZone zone;
            zone.zone = z;
            zone.subZone = 1;
            for (int k = 0; k < 4; ++k)
                zone.points.push_back({{blockMin(k % n) + B * 0.5f, 5, roadCentre(int(z)) + R * 0.25f}, Quaternion(Vector3(0, 1, 0), -1.5707964f)});
            w.respawnZones.push_back(zone);
        }
        // An eight-node path loop round the fountain with one path object, the cart (model A),
        // going at 60 units a second.
        for (int k = 0; k < 8; ++k) {
            WorldFile::Node node;
            const float a = float(k) * 0.7853982f;
            node.position = fountain + Vector3(std::cos(a) * 200, 0, std::sin(a) * 200);
            node.value = 60.0f;
            node.links = {uint32_t((k + 1) % 8)};
            w.pathGraph.nodes.push_back(node);
        }
        w.pathObjects.push_back({0, {0, 1, 2, 3, 4, 5, 6, 7}});
        w.emitters.push_back({"Fountain", fountain + Vector3(0, 20, 0), 100.0f, 600.0f, 0x0F});
        w.emitters.push_back({"Birds", fountain + Vector3(150, 60, 0), 200.0f, 900.0f, 0x03});
        // The same three parked cars for the first mission and for the free drive (mission 8).
        const char* cars[3] = {"CabMetro", "PoliceCruiser", "AmbulanceVan"};
        for (int32_t mission : {0, 8})
            for (int k = 0; k < 3; ++k) {
                WorldFile::Placement p;
                p.name = cars[k];
                p.mission = mission;
                p.pose = {{blockMin(k) + 100, 2, roadCentre(1) - R * 0.5f - 30}, Quaternion(Vector3(0, 1, 0), 1.5707964f)};
                w.parkedCars.push_back(p);
            }
    }
    for (int bz = 0; bz < n && o.cratesPerBlock > 0; ++bz)
        for (int bx = 0; bx < n; ++bx)
            for (int k = 0; k < o.cratesPerBlock; ++k)
                place(Crate, {blockMin(bx) + 30 + float(k % 10) * 70, 2, blockMin(bz) + 30 + float(k / 10) * 70});
    return w;
}

std::vector<uint32_t> CityMapPicture(const WorldFile& w, int size) {
    std::vector<uint32_t> argb(size_t(size) * size_t(size), 0xFF283028u);
    if (w.collisionVertices.empty() || size <= 0) return argb;
    // The world's box, as the game takes it: round the collision mesh.
    Vector3 lo = w.collisionVertices[0], hi = lo;
    for (const Vector3& p : w.collisionVertices) {
        lo = Vector3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = Vector3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    const float cx = (lo.x + hi.x) * 0.5f, cz = (lo.z + hi.z) * 0.5f;
    const float scale = std::max(hi.x - lo.x, hi.z - lo.z) / float(size);
    if (scale <= 0.0f) return argb;
    // Pixel (x, y) shows the world point at its centre; the top row is the far (largest z) side.
    auto worldX = [&](float px) { return cx + (px - float(size) * 0.5f) * scale; };
    auto worldZ = [&](float py) { return cz - (py - float(size) * 0.5f) * scale; };
    auto colour = [&](const std::string& texture) -> uint32_t {
        const struct {
            const char* prefix;
            uint32_t argb;
        } kinds[] = {{"Road", 0xFF505058u}, {"Crossing", 0xFF505058u}, {"Pavement", 0xFFA8A8A0u}, {"Kerb", 0xFFA8A8A0u},
                     {"Grass", 0xFF4A8A3Cu}, {"Roof", 0xFFD8CDB8u}};
        for (const auto& k : kinds)
            if (texture.rfind(k.prefix, 0) == 0) return k.argb;
        return 0;
    };
    // Every upward face of the static mesh, the highest over the lower.
    std::vector<float> height(argb.size(), -1e30f);
    for (const WorldFile::Group& g : w.groups) {
        const int32_t t = g.material < w.materials.size() ? w.materials[g.material].texture : -1;
        const uint32_t c = t >= 0 && size_t(t) < w.textures.size() ? colour(w.textures[size_t(t)]) : 0;
        if (!c) continue;
        for (uint32_t i = g.firstIndex; i + 2 < g.firstIndex + g.indexCount && i + 2 < w.indices.size(); i += 3) {
            const Vector3& a = w.vertices[w.indices[i]].position;
            const Vector3& b = w.vertices[w.indices[i + 1]].position;
            const Vector3& d = w.vertices[w.indices[i + 2]].position;
            if (Vector3::Cross(b - a, d - a).Normalized().y < 0.7f) continue;
            const float minX = std::min({a.x, b.x, d.x}), maxX = std::max({a.x, b.x, d.x});
            const float minZ = std::min({a.z, b.z, d.z}), maxZ = std::max({a.z, b.z, d.z});
            const int x0 = std::max(0, int((minX - cx) / scale + float(size) * 0.5f)), x1 = std::min(size - 1, int((maxX - cx) / scale + float(size) * 0.5f));
            const int y0 = std::max(0, int((cz - maxZ) / scale + float(size) * 0.5f)), y1 = std::min(size - 1, int((cz - minZ) / scale + float(size) * 0.5f));
            // Inside when on the same side of all three edges in the x-z plane.
            auto side = [](const Vector3& p, const Vector3& q, float x, float z) { return (q.x - p.x) * (z - p.z) - (q.z - p.z) * (x - p.x); };
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) {
                    const float px = worldX(float(x) + 0.5f), pz = worldZ(float(y) + 0.5f);
                    const float s0 = side(a, b, px, pz), s1 = side(b, d, px, pz), s2 = side(d, a, px, pz);
                    if (!((s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0))) continue;
                    const size_t k = size_t(y) * size_t(size) + size_t(x);
                    const float top = std::max({a.y, b.y, d.y});
                    if (top < height[k]) continue;
                    height[k] = top;
                    argb[k] = c;
                }
        }
    }
    // Water over everything, seen from above.
    for (const WorldFile::Water& water : w.waterVolumes)
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const float px = worldX(float(x) + 0.5f), pz = worldZ(float(y) + 0.5f);
                if (std::fabs(px - water.centre.x) <= water.halfExtents.x && std::fabs(pz - water.centre.z) <= water.halfExtents.z)
                    argb[size_t(y) * size_t(size) + size_t(x)] = 0xFF3878C0u;
            }
    return argb;
}

} // namespace tools
