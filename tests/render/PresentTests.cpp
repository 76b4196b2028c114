// Presenting on the game's own window: the front buffer (what a screenshot reads) holds the
// frame just presented, also when the window's swap has handed that frame to a rasteriser
// that is still drawing it. Its own binary: the device here owns an application window.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include "tests/render/GfxTestSupport.h"

using namespace gfx;
using namespace gfxtest;

// Frames alternate between starting with a clear of the whole target and drawing over the
// last frame. The front buffer holds the frame just presented right after the present and
// still after the next frame has started drawing; only frames that draw over the last one
// copy it, and each of those once.
TEST(GfxPresent, TheFrontBufferHoldsTheFrameJustPresented) {
    constexpr int kW = 800, kH = 600;
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_Window* window = SDL_CreateWindow("present", 0, 0, kW, kH, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    {
        std::unique_ptr<Device> device = CreateGLDevice(window, kW, kH);
        ASSERT_NE(device, nullptr);
        Device& d = *device;
        d.SetRenderState(rs::LIGHTING, 0);
        d.SetRenderState(rs::CULLMODE, cull::NONE);
        d.SetRenderState(rs::ZENABLE, 0);
        uint32_t presented = 0;
        uint64_t drawnOver = 0;
        for (int frame = 0; frame < 30; ++frame) {
            const uint32_t colour = 0xFF000000u | uint32_t(frame * 8) << 16 | uint32_t(255 - frame * 8);
            const bool clearsFirst = frame % 2 == 0;
            d.BeginScene();
            if (clearsFirst) {
                d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
            } else {
                DrawScreenQuad(d, 0, 0, kW / 2, kH / 2, 0xFF000000u);
                drawnOver += frame > 0;
            }
            if (frame > 0) {
                EXPECT_EQ(Pixel(d, 1, 1, false), presented) << "frame " << frame << " started";
                EXPECT_EQ(Pixel(d, kW - 2, kH - 2, false), presented) << "frame " << frame << " started";
            }
            // Plenty of overdraw, so that rasterising the frame takes a while.
            for (int layer = 0; layer < 60; ++layer) DrawScreenQuad(d, 0, 0, kW, kH, 0xFF000000u | uint32_t(layer));
            DrawScreenQuad(d, 0, 0, kW, kH, colour);
            d.EndScene();
            ASSERT_EQ(d.Present(), Result::OK);
            presented = colour;
            // Read at once only before a frame that clears first: a frame that draws first must
            // copy the presented frame while the rasteriser may still be drawing it.
            if (frame % 2 == 0) continue;
            EXPECT_EQ(Pixel(d, 1, 1, false), colour) << "frame " << frame;
            EXPECT_EQ(Pixel(d, kW - 2, kH - 2, false), colour) << "frame " << frame;
        }
        EXPECT_EQ(d.Stats().targetCopies, drawnOver);
    }
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
