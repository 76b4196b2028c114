// The demo city's static frame at 800 x 600 from four fixed camera poses.
//
// BM_EngineWork: the engine's side of the frame (quadtree cull, gathering the visible front
// faces into the frame's buffers, constants, states and draw submission) timed on a recording
// device, as a share of the 13.33 ms step. Target: at most 10 %.
// BM_Frame: the same frame on the real GL device (llvmpipe, offscreen) until its pixels are
// done, against a raw-GL baseline that draws the same visible triangles from one static
// buffer, one draw per material, with the same states, in a context of its own. Reports draw
// calls, GL state calls and triangles per frame, the device set calls and GL state calls of one
// audited frame that changed nothing (both must be 0), and the ratio. Target: at most 1.5.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <epoxy/gl.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/QuadBatchRenderer.h"
#include "engine/render/TextureFactory.h"
#include "game/world/Decals.h"
#include "game/world/World.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/RecordingFacility.h"
#include "tests/support/WorldLoading.h"

// Mesa keeps its allocations until the process ends; leak reports would only show those.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();

constexpr int kW = 800, kH = 600;
constexpr double kStepMs = 1000.0 / 75.0;

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Pose {
    Vector3 position, target;
};
// The first respawn point's view down its road, an overview, a crossing at street level, the
// park with the buildings behind it.
const Pose kPoses[4] = {{{0, 0, 0}, {0, 0, 0}},
                        {{0, 900, -2300}, {0, 0, 0}},
                        {{0, 20, -1500}, {0, 10, 0}},
                        {{-480, 40, -1250}, {-480, 20, 0}}};

// The demo tree, written once into a directory of its own that becomes the working directory.
void DemoTree() {
    static bool done = [] {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("world_render_bench." + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        return std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()) == 0;
    }();
    if (!done) std::abort();
}

Camera MakeCamera(const Vector3& position, const Vector3& target) {
    Camera c;
    c.SetViewport(Rect{0, 0, kW, kH});
    c.SetFarPlane(4000.0f);
    c.EnableFog(true);
    c.SetFogRange(0.75f, 1.0f);
    c.position = position;
    const Vector3 d = (target - position).Normalized();
    const Vector3 side = Vector3::Cross(Vector3(0, 1, 0), d).Normalized();
    const Vector3 up = Vector3::Cross(d, side);
    const Vector3 rows[3] = {-side, up, -d};
    Matrix4 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = rows[j][i];
    c.orientation = Quaternion(r);
    c.positionDirty = c.orientationDirty = 1;
    c.RebuildProjection();
    c.Apply();
    return c;
}

void Lights(GameSession& session) {
    SceneLight& sun = session.lights[0];
    sun.orientation = Quaternion(Vector3(1, 0, 0), -1.0f);
    sun.intensity = 1.0f;
    for (int k = 0; k < 4; ++k) {
        sun.ambient[k] = 0.45f;
        sun.diffuse[k] = 0.55f;
    }
}

// A loaded demo city on a facility, with the engine and the factories pointed at it.
struct City {
    explicit City(std::unique_ptr<D3D8RenderFacility> f) : facility(std::move(f)) {
        DemoTree();
        engine.services.renderer = facility.get();
        ZKEngine& e = ZKEngine::Instance();
        e.rendererReady = true;
        e.mainThread = Thread::Current();
        MeshFactory::Instance().ClearForTests();
        MeshFactory::Instance().Connect(facility.get());
        TextureFactory::Instance().ClearForTests();
        TextureFactory::Instance().Connect(facility->GetTextureManager());
        Lights(session);
        world = std::make_unique<World>(session, engine.services);
        if (!testing_support::LoadWholeWorld(*world) || world->respawnZones.empty() || world->respawnZones[0].points.empty()) std::abort();
        const RespawnPoint& start = world->respawnZones[0].points[0];
        const Vector3 forward = start.orientation.ToMatrix().TransformNormal(Vector3(0, 0, -1));
        for (int i = 0; i < 4; ++i) {
            Pose p = kPoses[i];
            if (i == 0) p = {start.position - forward * 60.0f + Vector3(0, 30, 0), start.position + forward * 400.0f};
            cameras.push_back(MakeCamera(p.position, p.target));
        }
    }
    ~City() {
        world.reset();
        MeshFactory::Instance().ClearForTests();
        MeshFactory::Instance().Connect(nullptr);
        TextureFactory::Instance().ClearForTests();
        TextureFactory::Instance().Connect(nullptr);
        ZKEngine::Instance().rendererReady = false;
    }
    // The engine's side of one frame.
    void Frame(Camera& camera) {
        world->Cull(camera); // the quadtree and the static city's gathering
        facility->PushState(&camera);
        facility->Clear(kClearTarget | kClearDepth);
        world->staticGeometry->Draw(camera);
        facility->PopState();
    }

    std::unique_ptr<D3D8RenderFacility> facility;
    testing_support::EngineDoubles engine;
    GameSession session;
    std::unique_ptr<World> world;
    std::vector<Camera> cameras;
};

// ---------------------------------------------------------------------------------------------
// The engine's work on a recording device

gfx::RecordingDevice* g_recording = nullptr;

City& RecordingCity() {
    static City* city = [] {
        testing_support::RecordingFacility rig(kW, kH);
        g_recording = rig.device;
        return new City(std::move(rig.facility));
    }();
    return *city;
}

void BM_EngineWork(benchmark::State& state) {
    City& city = RecordingCity();
    Camera& camera = city.cameras[size_t(state.range(0))];
    double total = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        g_recording->ClearCalls();
        const auto t0 = Clock::now();
        city.Frame(camera);
        total += Ms(Clock::now() - t0);
        ++frames;
    }
    const double ms = total / double(frames);
    state.counters["engine_ms"] = ms;
    state.counters["step_share"] = ms / kStepMs;
    state.counters["triangles"] = double(city.world->staticGeometry->IndicesWritten() / 3);
}
BENCHMARK(BM_EngineWork)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// ---------------------------------------------------------------------------------------------
// The raw-GL baseline: the frame's visible triangles in one static buffer, one draw per
// material, the world shader's lighting and fade written in GLSL, its own context.

const char* kVertexSource = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
uniform mat4 viewProjection;
uniform mat4 view;
uniform vec4 lightDir[3];
uniform vec4 lightColour[3];
uniform vec4 bucket;
uniform vec2 fade;
out vec4 colour;
out vec2 texCoord;
out float fog;
void main() {
    gl_Position = viewProjection * vec4(position, 1.0);
    vec3 v = (view * vec4(position, 1.0)).xyz;
    vec4 c = bucket;
    for (int i = 0; i < 3; ++i) c.rgb += max(dot(normal, lightDir[i].xyz), 0.0) * lightColour[i].rgb;
    colour = clamp(c, 0.0, 1.0);
    texCoord = uv;
    fog = 1.0 - clamp((dot(v, v) - fade.x) * fade.y, 0.0, 1.0);
}
)";
const char* kFragmentSource = R"(#version 330 core
in vec4 colour;
in vec2 texCoord;
in float fog;
uniform sampler2D tex;
uniform vec3 fogColour;
uniform float alphaRef;
out vec4 result;
void main() {
    vec4 c = texture(tex, texCoord) * colour;
    if (c.a <= alphaRef) discard;
    result = vec4(mix(fogColour, c.rgb, fog), c.a);
}
)";

GLuint Compile(GLenum kind, const char* source) {
    GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    return s;
}

GLenum BlendFactor(uint32_t d3d) {
    switch (d3d) {
        case 1: return GL_ZERO;
        case 2: return GL_ONE;
        case 5: return GL_SRC_ALPHA;
        case 6: return GL_ONE_MINUS_SRC_ALPHA;
        default: return GL_ONE;
    }
}

struct RawGl {
    struct Draw {
        int32_t material;
        uint32_t first, count, baseVertex;
        float bucket[4];
    };
    struct Material {
        bool blend = false, zWrite = true, alphaTest = false;
        GLenum src = GL_ONE, dst = GL_ZERO;
        GLuint texture = 0;
    };

    RawGl() {
        SDL_Window* deviceWindow = SDL_GL_GetCurrentWindow();
        SDL_GLContext deviceContext = SDL_GL_GetCurrentContext();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        window = SDL_CreateWindow("raw", 0, 0, kW, kH, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        context = SDL_GL_CreateContext(window);
        if (!window || !context) std::abort();
        SDL_GL_MakeCurrent(window, context);
        glGenFramebuffers(1, &fbo);
        glGenRenderbuffers(2, rbo);
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kW, kH);
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kW, kH);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rbo[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rbo[1]);
        program = glCreateProgram();
        glAttachShader(program, Compile(GL_VERTEX_SHADER, kVertexSource));
        glAttachShader(program, Compile(GL_FRAGMENT_SHADER, kFragmentSource));
        glLinkProgram(program);
        glGenVertexArrays(1, &vao);
        glGenBuffers(2, buffers);
        SDL_GL_MakeCurrent(deviceWindow, deviceContext);
    }
    ~RawGl() {
        SDL_Window* w = SDL_GL_GetCurrentWindow();
        SDL_GLContext c = SDL_GL_GetCurrentContext();
        SDL_GL_MakeCurrent(window, context);
        for (Material& m : materials) glDeleteTextures(1, &m.texture);
        glDeleteBuffers(2, buffers);
        glDeleteVertexArrays(1, &vao);
        glDeleteProgram(program);
        glDeleteRenderbuffers(2, rbo);
        glDeleteFramebuffers(1, &fbo);
        SDL_GL_MakeCurrent(w, c);
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
    }

    // Takes over the frame the city just gathered for the camera.
    void Load(City& city, const Camera& camera) {
        SDL_Window* w = SDL_GL_GetCurrentWindow();
        SDL_GLContext c = SDL_GL_GetCurrentContext();
        SDL_GL_MakeCurrent(window, context);
        const StaticGeometryRenderer& sg = *city.world->staticGeometry;
        const uint8_t* vertices = sg.Vertices()->DeviceBuffer()->Shadow() + size_t(sg.FrameVertexBase()) * 32;
        const uint8_t* indices = sg.Indices()->DeviceBuffer()->Shadow() + size_t(sg.FrameIndexBase()) * 2;
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(sg.VerticesWritten()) * 32, vertices, GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(sg.IndicesWritten()) * 2, indices, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 32, reinterpret_cast<void*>(0));
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 32, reinterpret_cast<void*>(12));
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 32, reinterpret_cast<void*>(24));
        // One 32 x 32 texture per material, as the demo's.
        for (Material& m : materials) glDeleteTextures(1, &m.texture);
        materials.assign(sg.materials.size(), {});
        std::vector<uint32_t> texels(32 * 32, 0xFF808080u);
        for (size_t i = 0; i < materials.size(); ++i) {
            Material& m = materials[i];
            const ShaderPassSet* p = sg.passSets[i];
            m.blend = p && (p->flags & ShaderPassSet::kBlend);
            m.zWrite = !p || (p->flags & ShaderPassSet::kZWrite);
            m.alphaTest = p && (p->flags & ShaderPassSet::kAlphaTest);
            if (m.blend) {
                m.src = BlendFactor(p->srcBlend);
                m.dst = BlendFactor(p->dstBlend);
            }
            glGenTextures(1, &m.texture);
            glBindTexture(GL_TEXTURE_2D, m.texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 32, 32, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        }
        draws.clear();
        float ambient[4] = {};
        for (int k = 0; k < 4; ++k) ambient[k] = city.session.lights[0].ambient[k];
        for (size_t b = 0; b < sg.DrawRanges().size(); ++b) {
            const auto& r = sg.DrawRanges()[b];
            if (!r.indexCount) continue;
            Draw d{sg.batches[b].material, r.firstIndex, r.indexCount, 0, {}};
            for (int k = 0; k < 4; ++k) d.bucket[k] = ambient[k] * sg.batches[b].colours[1][k] + sg.batches[b].colours[0][k];
            draws.push_back(d);
        }
        // Uniforms that stay for the frame.
        glUseProgram(program);
        const Matrix4 vp = camera.view * camera.projection;
        glUniformMatrix4fv(glGetUniformLocation(program, "viewProjection"), 1, GL_FALSE, &vp.m[0][0]);
        glUniformMatrix4fv(glGetUniformLocation(program, "view"), 1, GL_FALSE, &camera.view.m[0][0]);
        const Vector3 z = city.session.lights[0].orientation.ToMatrix().TransformNormal(Vector3(0, 0, 1));
        const float dirs[12] = {z.x, z.y, z.z, 0}, colours[12] = {0.55f, 0.55f, 0.55f, 1};
        glUniform4fv(glGetUniformLocation(program, "lightDir"), 3, dirs);
        glUniform4fv(glGetUniformLocation(program, "lightColour"), 3, colours);
        const float far = camera.farPlane;
        glUniform2f(glGetUniformLocation(program, "fade"), 0.5625f * far * far, 1.0f / (far * far * 0.4375f));
        glUniform3f(glGetUniformLocation(program, "fogColour"), 0.7f, 0.6f, 0.6f);
        glUniform1i(glGetUniformLocation(program, "tex"), 0);
        bucketAt = glGetUniformLocation(program, "bucket");
        alphaAt = glGetUniformLocation(program, "alphaRef");
        SDL_GL_MakeCurrent(w, c);
    }

    // One frame, finished.
    void Frame() {
        SDL_Window* w = SDL_GL_GetCurrentWindow();
        SDL_GLContext c = SDL_GL_GetCurrentContext();
        SDL_GL_MakeCurrent(window, context);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glViewport(0, 0, kW, kH);
        glDepthMask(GL_TRUE);
        glClearColor(0.7f, 0.6f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        glUseProgram(program);
        glBindVertexArray(vao);
        glActiveTexture(GL_TEXTURE0);
        for (const Draw& d : draws) {
            const Material& m = materials[size_t(d.material)];
            if (m.blend) {
                glEnable(GL_BLEND);
                glBlendFunc(m.src, m.dst);
            } else {
                glDisable(GL_BLEND);
            }
            glDepthMask(m.zWrite ? GL_TRUE : GL_FALSE);
            glUniform1f(alphaAt, m.alphaTest ? 0.0f : -1.0f);
            glUniform4fv(bucketAt, 1, d.bucket);
            glBindTexture(GL_TEXTURE_2D, m.texture);
            glDrawElements(GL_TRIANGLES, GLsizei(d.count), GL_UNSIGNED_SHORT, reinterpret_cast<void*>(size_t(d.first) * 2));
        }
        uint32_t pixel = 0;
        glReadPixels(kW / 2, kH / 2, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &pixel);
        SDL_GL_MakeCurrent(w, c);
    }

    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    GLuint fbo = 0, rbo[2] = {}, program = 0, vao = 0, buffers[2] = {};
    GLint bucketAt = -1, alphaAt = -1;
    std::vector<Material> materials;
    std::vector<Draw> draws;
};

City& GlCity() {
    static City* city = [] {
        // The recording city's work is done: its factories give way to the real device.
        delete &RecordingCity();
        auto f = std::make_unique<D3D8RenderFacility>();
        f->ChooseDevice(-1);
        f->RequestMode({kW, kH, 32, 60});
        f->CreateDevice(false);
        if (!f->DeviceReady()) std::abort();
        return new City(std::move(f));
    }();
    return *city;
}

void BM_Frame(benchmark::State& state) {
    City& city = GlCity();
    static RawGl* raw = new RawGl();
    Camera& camera = city.cameras[size_t(state.range(0))];
    gfx::Device& device = *city.facility->Device();
    auto finish = [&] {
        uint32_t pixel = 0;
        device.ReadPixels(true, kW / 2, kH / 2, 1, 1, &pixel);
    };
    // One audited frame: nothing set twice.
    city.Frame(camera);
    finish();
    device.Stats() = gfx::DeviceStats{};
    device.SetStateAudit(true);
    city.Frame(camera);
    device.SetStateAudit(false);
    const gfx::DeviceStats audited = device.Stats();
    raw->Load(city, camera);
    for (int i = 0; i < 3; ++i) { // warm both: programs built, buffers placed
        city.Frame(camera);
        finish();
        raw->Frame();
    }
    double engine = 0.0, baseline = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        city.Frame(camera);
        finish();
        engine += Ms(Clock::now() - t0);
        t0 = Clock::now();
        raw->Frame();
        baseline += Ms(Clock::now() - t0);
        ++frames;
    }
    state.counters["frame_ms"] = engine / double(frames);
    state.counters["raw_gl_ms"] = baseline / double(frames);
    state.counters["vs_raw_gl"] = engine / baseline;
    state.counters["draws"] = double(audited.draws);
    state.counters["gl_state_calls"] = double(audited.glStateCalls);
    state.counters["redundant_sets"] = double(audited.redundantSets);
    state.counters["redundant_gl"] = double(audited.redundantGLCalls);
    state.counters["triangles"] = double(city.world->staticGeometry->IndicesWritten() / 3);
}
BENCHMARK(BM_Frame)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace
