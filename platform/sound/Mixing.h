#pragma once
// The arithmetic every mixer of the game's sound shares: the pan law, where a source lies for the
// listener, distance attenuation, and the loop that reads a voice's frames at its own rate,
// applies its gains and adds them into an output accumulator. The software-mixing device and
// this layer's voice buffers both mix through it; they differ only in the choices they pass
// (nearest frame or linear interpolation, integer or float gains, when a voice's end is seen).
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace audiohal {

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

inline float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 Scale(const Vec3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vec3 Norm(const Vec3& a) {
    const float l = std::sqrt(Dot(a, a));
    return l > 0.0f ? Scale(a, 1.0f / l) : a;
}

// ---------------------------------------------------------------------------------------------
// Gains

struct StereoGain {
    float left, right;
};

// A pan of -1 (left) .. 1 (right): the far channel loses |pan| of the gain, the near one keeps it.
inline StereoGain PanLaw(float gain, float pan) {
    pan = std::clamp(pan, -1.0f, 1.0f);
    return {pan > 0.0f ? gain * (1.0f - pan) : gain, pan < 0.0f ? gain * (1.0f + pan) : gain};
}

// ---------------------------------------------------------------------------------------------
// Positional sound

// The listener's place and axes. The space is left-handed: right = up x front, so that with up
// (0,1,0) and front (0,0,1) the right is (1,0,0).
struct ListenerFrame {
    Vec3 position, right{1.0f, 0.0f, 0.0f}, up{0.0f, 1.0f, 0.0f}, front{0.0f, 0.0f, 1.0f};

    // From a front and a top vector that need be neither unit nor exactly perpendicular.
    static ListenerFrame FromFrontTop(const Vec3& position, const Vec3& front, const Vec3& top) {
        ListenerFrame f;
        f.position = position;
        f.front = Norm(front);
        f.up = Norm(Sub(top, Scale(f.front, Dot(top, f.front))));
        f.right = Cross(f.up, f.front);
        return f;
    }
};

// Where a source lies for the listener: its distance, and its side from -1 (straight left)
// through 0 (ahead, behind, or at the listener) to 1 (straight right).
struct Placement {
    float distance, side;
};

inline Placement Locate(const ListenerFrame& listener, const Vec3& source) {
    const Vec3 d = Sub(source, listener.position);
    const float distance = std::sqrt(Dot(d, d));
    const float side = distance < 1e-4f ? 0.0f : std::clamp(Dot(d, listener.right) / distance, -1.0f, 1.0f);
    return {distance, side};
}

// The pitch ratio a moving source and listener give a sound: (c - D vl) / (c - D vs), where vl
// and vs are the listener's and the source's speeds along the line from the source to the
// listener, c is the speed of sound in world units a second and D the Doppler factor. Limited
// to 0.5 .. 2 (a source at or past the speed of sound takes the limit); 1 when the two are at
// one place, the factor is 0 or a velocity is not finite.
inline float DopplerRatio(const Vec3& listener, const Vec3& listenerVelocity, const Vec3& source,
                          const Vec3& sourceVelocity, float speedOfSound, float factor) {
    const Vec3 d = Sub(listener, source);
    const float distance = std::sqrt(Dot(d, d));
    if (distance < 1e-4f || !(factor > 0.0f) || !(speedOfSound > 0.0f)) return 1.0f;
    const Vec3 toListener = Scale(d, 1.0f / distance);
    const float heard = speedOfSound - factor * Dot(toListener, listenerVelocity);
    const float sent = speedOfSound - factor * Dot(toListener, sourceVelocity);
    if (!std::isfinite(heard) || !std::isfinite(sent)) return 1.0f;
    if (!(sent > 0.0f)) return 2.0f;
    if (!(heard > 0.0f)) return 0.5f;
    return std::clamp(heard / sent, 0.5f, 2.0f);
}

// Full gain up to `minimum`, then falling in a straight line to silence at minimum + maximum.
inline float LinearFalloff(float distance, float minimum, float maximum) {
    if (!(maximum > 0.0f)) return 0.0f;
    const float beyond = std::clamp(distance - minimum, 0.0f, maximum);
    return (maximum - beyond) / maximum;
}

// Full gain up to `minimum`, then minimum / distance (-6 dB per doubling), silent beyond `maximum`.
inline float InverseFalloff(float distance, float minimum, float maximum) {
    if (distance > maximum) return 0.0f;
    if (distance > minimum && distance > 0.0f) return minimum / distance;
    return 1.0f;
}

// ---------------------------------------------------------------------------------------------
// Resampling and mixing

// A voice's place in its source: whole frames and a fraction in 1/output-rate units, so that
// stepping by source rate / output rate per output frame is exact.
struct Cursor {
    uint32_t frame = 0;
    uint32_t fraction = 0;
};

struct Step {
    Step(uint32_t sourceRate, uint32_t outputRate)
        : rate(sourceRate), outRate(std::max(1u, outputRate)), whole(rate / outRate), part(rate % outRate) {}
    uint32_t rate, outRate;
    uint32_t whole, part; // each output frame moves the cursor whole + part / outRate frames
};

enum class Layout { Mono, Stereo, StereoAsMono };
enum class Interpolation { Nearest, Linear };

// Signed 16-bit interleaved frames. `loops` lets linear interpolation read the first frame after
// the last one.
struct Source {
    const int16_t* data;
    uint32_t frames;
    Layout layout;
    bool loops;
};

// Integer gains 0..65535 into 32-bit accumulators: sample x gain / 65535, truncated toward zero.
struct IntegerGains {
    int32_t left, right;
    void Add(int32_t* acc, int32_t l, int32_t r) const {
        acc[0] += l * left / 65535;
        acc[1] += r * right / 65535;
    }
};

// Float gains into float accumulators.
struct FloatGains {
    float left, right;
    void Add(float* acc, float l, float r) const {
        acc[0] += l * left;
        acc[1] += r * right;
    }
};

namespace detail {
template <Layout L>
inline void Frame(const int16_t* s, uint32_t i, int32_t& l, int32_t& r) {
    if constexpr (L == Layout::Mono) {
        l = r = s[i];
    } else if constexpr (L == Layout::Stereo) {
        l = s[i * 2];
        r = s[i * 2 + 1];
    } else {
        l = r = (int32_t(s[i * 2]) + s[i * 2 + 1]) / 2;
    }
}

template <Layout L>
inline void FrameF(const int16_t* s, uint32_t i, float& l, float& r) {
    if constexpr (L == Layout::StereoAsMono) {
        l = r = 0.5f * (float(s[i * 2]) + float(s[i * 2 + 1]));
    } else {
        int32_t a, b;
        Frame<L>(s, i, a, b);
        l = float(a);
        r = float(b);
    }
}

// Applies the end rule as often as the cursor stands at or past the last frame: `wrap()` true
// goes on from the start (it may count loops), false ends the voice with the cursor at 0.
template <class Wrap>
inline bool WrapAround(Cursor& c, uint32_t frames, Wrap& wrap) {
    while (c.frame >= frames) {
        if (!wrap()) {
            c = {};
            return false;
        }
        c.frame -= frames;
    }
    return true;
}

// `Whole`: the step is a whole number of frames and the cursor sits on a frame, so no fraction
// ever arises (the common case of a source at the output rate).
template <Interpolation I, Layout L, bool Whole, class Gains, class Acc, class Wrap>
bool Run(const Source& src, Cursor& cursor, const Step& step, const Gains& gains, Acc* acc, uint32_t n,
         bool endAtOnce, Wrap& wrap) {
    // Everything the loop reads is held in locals: the accumulator may alias 32-bit fields.
    const int16_t* const data = src.data;
    const uint32_t frames = src.frames, whole = step.whole, part = step.part, outRate = step.outRate;
    const bool loops = src.loops;
    const Gains g = gains;
    const float toFraction = 1.0f / float(outRate);
    // Frames a read can move the cursor at most: a run of reads that cannot pass the last frame
    // goes without an end test.
    const uint32_t most = Whole ? whole : whole + 1;
    Cursor c = cursor;
    for (uint32_t i = 0; i < n;) {
        if (c.frame >= frames && !WrapAround(c, frames, wrap)) {
            cursor = c;
            return false;
        }
        uint32_t run = n - i;
        if (most > 0) run = std::min(run, (frames - c.frame + most - 1) / most);
        for (const uint32_t end = i + run; i < end; ++i) {
            if constexpr (I == Interpolation::Nearest) {
                int32_t l, r;
                Frame<L>(data, c.frame, l, r);
                g.Add(acc + size_t(i) * 2, l, r);
            } else if constexpr (Whole) {
                float l, r;
                FrameF<L>(data, c.frame, l, r);
                g.Add(acc + size_t(i) * 2, l, r);
            } else {
                const uint32_t next = c.frame + 1 < frames ? c.frame + 1 : (loops ? 0 : c.frame);
                const float t = float(c.fraction) * toFraction;
                float l0, r0, l1, r1;
                FrameF<L>(data, c.frame, l0, r0);
                FrameF<L>(data, next, l1, r1);
                g.Add(acc + size_t(i) * 2, l0 + (l1 - l0) * t, r0 + (r1 - r0) * t);
            }
            c.frame += whole;
            if constexpr (!Whole) {
                c.fraction += part;
                if (c.fraction >= outRate) {
                    c.fraction -= outRate;
                    ++c.frame;
                }
            }
        }
    }
    // Seen at once, the end of a voice that has just played its last frame ends it in this mix;
    // otherwise the next mix sees it when it would read past the last frame.
    const bool alive = !endAtOnce || c.frame < frames || WrapAround(c, frames, wrap);
    cursor = c;
    return alive;
}
} // namespace detail

// Mixes n output frames of a voice into acc (interleaved L,R), moving its cursor. `wrap` is the
// voice's end rule (see detail::WrapAround); `endAtOnce` sees the end right after the last frame
// instead of at the next read. Returns false when the voice ended.
template <Interpolation I, class Gains, class Acc, class Wrap>
bool MixVoice(const Source& src, Cursor& c, const Step& step, const Gains& gains, Acc* acc, uint32_t n,
              bool endAtOnce, Wrap wrap) {
    if (src.frames == 0) return false;
    if (c.fraction >= step.outRate) c.fraction = 0; // the output rate changed under the voice
    const bool whole = step.part == 0 && c.fraction == 0;
    switch (src.layout) {
    case Layout::Mono:
        return whole ? detail::Run<I, Layout::Mono, true>(src, c, step, gains, acc, n, endAtOnce, wrap)
                     : detail::Run<I, Layout::Mono, false>(src, c, step, gains, acc, n, endAtOnce, wrap);
    case Layout::Stereo:
        return whole ? detail::Run<I, Layout::Stereo, true>(src, c, step, gains, acc, n, endAtOnce, wrap)
                     : detail::Run<I, Layout::Stereo, false>(src, c, step, gains, acc, n, endAtOnce, wrap);
    case Layout::StereoAsMono:
        return whole ? detail::Run<I, Layout::StereoAsMono, true>(src, c, step, gains, acc, n, endAtOnce, wrap)
                     : detail::Run<I, Layout::StereoAsMono, false>(src, c, step, gains, acc, n, endAtOnce, wrap);
    }
    return false;
}

// Moves a voice's cursor as if n output frames were played. The end rule applies as soon as the
// cursor reaches the end, as often as it passes it.
template <class Wrap>
bool SkipVoice(Cursor& c, const Step& step, uint32_t frames, uint32_t n, Wrap wrap) {
    if (frames == 0) return false;
    const uint64_t moved = uint64_t(c.fraction) + uint64_t(n) * step.rate;
    uint64_t frame = uint64_t(c.frame) + moved / step.outRate;
    c.fraction = uint32_t(moved % step.outRate);
    while (frame >= frames) {
        if (!wrap()) {
            c = {};
            return false;
        }
        frame -= frames;
    }
    c.frame = uint32_t(frame);
    return true;
}

} // namespace audiohal
