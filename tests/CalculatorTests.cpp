#include "RoomIR2D.h"
#include "hrtf/HrtfTables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
// Calculator wired to its own flag, buffer and head-related table, as the engine would wire it.
struct Rig
{
    IrBoxCalculator calc;
    std::atomic<bool> busy { false };
    juce::AudioBuffer<float> buffer;
    int hrtfSize = 128;
    float hrtfRate = 44100.0f;

    explicit Rig (bool direct = false, int taps = 128, float rate = 44100.0f) : hrtfSize (taps), hrtfRate (rate)
    {
        calc.setCalculatingBool (&busy);
        calc.setBuffer (&buffer);
        calc.setHrtfVars (&hrtfSize, &hrtfRate);
        calc.setCalculateDirectPath (direct);
        calc.setRandomSeed (42);
    }

    // Rows [begin, end) of an order-n computation, run on this thread.
    void compute (const IrBoxCalculatorParams& p, int n, int begin, int end, int length)
    {
        calc.setParams (p);
        calc.order = n;
        calc.rowBegin = begin;
        calc.rowEnd = end;
        calc.irLength = length;
        calc.resetProgress();
        calc.run();
    }
};

IrBoxCalculatorParams smallRoom (int type, float width = 0.7f)
{
    IrBoxCalculatorParams p;
    p.roomX = 3.0f;
    p.roomY = 2.2f;
    p.listenerX = 1.1f;
    p.listenerY = 0.6f;
    p.sourceX = 2.3f;
    p.sourceY = 1.7f;
    p.damping = 0.3f;
    p.hfDamping = 0.1f;
    p.reverbType = type;
    p.listenerO = 25.0f;
    p.stereoWidth = width;
    p.sampleRate = 44100.0;
    return p;
}

int firstNonZero (const float* x, int n)
{
    for (int i = 0; i < n; ++i)
        if (x[i] != 0.0f)
            return i;
    return -1;
}

//==============================================================================
// The image-source model written out plainly, one image at a time, from the
// definitions; the calculator must produce the same buffers.
namespace reference
{
void onePole (const float* in, float* out, int taps, int rate, float hf, int n)
{
    const float d = std::exp (-(std::exp (-((float) n * hf)) * 125663.703125f) / (float) rate);
    float y = 0.0f;
    for (int k = 0; k < taps; ++k)
    {
        y = d * (k == 0 ? 0.0f : y) + (1.0f - d) * in[k];
        out[k] = y;
    }
}

float coordinate (float room, float source, int i)
{
    return (float) ((double) ((room + room) * std::ceil ((float) i / 2.0f)) + std::pow (-1.0, i) * (double) source);
}

juce::AudioBuffer<float> compute (const IrBoxCalculatorParams& p, int n, int begin, int end, int length, bool direct,
                                  int taps, juce::int64 seed)
{
    using F = juce::dsp::FastMathApproximations;
    juce::AudioBuffer<float> out (2, length);
    out.clear();
    juce::Random random (seed);

    const float* lTable = lhrtf44;
    const float* rTable = rhrtf44;
    if (taps == 139)
        lTable = lhrtf48, rTable = rhrtf48;

    for (int i = begin; i < end; ++i)
        for (int j = 1 - n; j <= n - 1; ++j)
        {
            const float x = coordinate (p.roomX, p.sourceX, i);
            const float y = coordinate (p.roomY, p.sourceY, j);
            const float dist = std::max (0.01f, std::sqrt ((x - p.listenerX) * (x - p.listenerX)
                                                           + (y - p.listenerY) * (y - p.listenerY)));
            const float r = random.nextFloat();
            const int order = std::abs (i) + std::abs (j);
            const int delay = (int) std::round ((double) (0.0029412f * dist + 0.001f * r) * p.sampleRate);
            float g = (float) std::pow (1.0 - (double) p.damping, order) / dist;
            if (i == 0 && j == 0 && ! direct)
                g = 0.0f;
            const float psi = std::atan2 (y - p.listenerY, p.listenerX - x) * 57.29578f - p.listenerO - 90.0f;
            const float rad = psi * 0.017453292f;

            float impulse[279] = {}, filtered[279] = {};
            impulse[10] = 1.0f;
            float lg = 0, rg = 0;
            const float* lIn = impulse;
            const float* rIn = impulse;
            const float w = p.stereoWidth;
            switch (p.reverbType)
            {
                case 0:
                    lg = (float) (0.5 * g * (double) (1.0f + F::cos ((psi + 45.0f * w) * 0.017453292f)));
                    rg = (float) (0.5 * g * (double) (1.0f + F::cos ((psi - 45.0f * w) * 0.017453292f)));
                    break;
                case 1:
                {
                    const double m = 0.5 * (1.0 + (double) F::cos (rad));
                    lg = (float) (g * (m - (double) (w * F::sin (rad))));
                    rg = (float) (g * (m + (double) (w * F::sin (rad))));
                    break;
                }
                case 2:
                    lg = g * (1.0f - w * F::sin (rad));
                    rg = g * (1.0f + w * F::sin (rad));
                    break;
                case 3:
                {
                    float a = std::fmod (psi, 360.0f);
                    a += a < 0.0f ? 360.0f : 0.0f;
                    int best = 0;
                    for (int k = 1; k < 72; ++k)
                        if (std::abs (azimuths[288 + k] - a) < std::abs (azimuths[288 + best] - a))
                            best = k;
                    lIn = lTable + (288 + best) * taps;
                    rIn = rTable + (288 + best) * taps;
                    lg = rg = 0.707107f * g;
                    break;
                }
                default:
                    continue;
            }
            onePole (lIn, filtered, taps, (int) p.sampleRate, p.hfDamping, order);
            for (int k = 0; k < taps; ++k)
                out.getWritePointer (0)[delay + k] += lg * filtered[k];
            onePole (rIn, filtered, taps, (int) p.sampleRate, p.hfDamping, order);
            for (int k = 0; k < taps; ++k)
                out.getWritePointer (1)[delay + k] += rg * filtered[k];
        }
    return out;
}
} // namespace reference

void expectBuffersMatch (const juce::AudioBuffer<float>& actual, const juce::AudioBuffer<float>& expected,
                         const std::string& what)
{
    ASSERT_EQ (actual.getNumSamples(), expected.getNumSamples()) << what;
    ASSERT_EQ (actual.getNumChannels(), 2) << what;
    const float scale = expected.getMagnitude (0, expected.getNumSamples());
    ASSERT_GT (scale, 0.01f) << what << ": the fixture must be audible";
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < expected.getNumSamples(); ++i)
            ASSERT_NEAR (actual.getSample (ch, i), expected.getSample (ch, i), 2e-6f * scale)
                << what << " channel " << ch << " sample " << i;
}
} // namespace

//==============================================================================
TEST (Lop, CoefficientsFollowTheCutoffTable)
{
    struct Row { int rate; int order; float hf; float d; };
    const Row rows[] = { { 44100, 0, 0.1f, 0.057872f }, { 44100, 0, 0.3f, 0.057872f }, { 44100, 1, 0.1f, 0.075899f },
                         { 44100, 10, 0.1f, 0.350541f }, { 44100, 50, 0.1f, 0.980983f }, { 48000, 10, 0.3f, 0.877795f },
                         { 96000, 0, 0.2f, 0.270091f } };
    Rig rig;
    float impulse[279] = { 1.0f }, out[279];
    for (const auto& row : rows)
    {
        rig.calc.lop (impulse, out, row.rate, row.hf, row.order, 1);
        EXPECT_NEAR (out[0], 1.0f - row.d, 2e-6f) << row.rate << " " << row.order;
        EXPECT_NEAR (out[1] / out[0], row.d, 2e-6f) << row.rate << " " << row.order;
    }
}

TEST (Lop, ImpulseResponseAndPassesInSeries)
{
    for (int taps : { 128, 139, 256, 279 })
    {
        Rig rig (false, taps);
        float impulse[279] = {}, out[279] = {}, series[279] = {}, tmp[279] = {};
        impulse[10] = 1.0f;
        for (auto& v : out)
            v = -7.0f; // every tap below T must be written
        rig.calc.lop (impulse, out, 44100, 0.1f, 0, 1);
        for (int k = 0; k < 10; ++k)
            ASSERT_EQ (out[k], 0.0f);
        EXPECT_NEAR (out[10], 0.942128f, 1e-6f);
        for (int k = 11; k < taps; ++k)
            ASSERT_NEAR (out[k], out[k - 1] * 0.057872f, 1e-6f * out[k - 1] + 1e-30f) << k;
        if (taps < 279)
            EXPECT_EQ (out[taps], -7.0f) << "wrote past the response length";

        rig.calc.lop (impulse, out, 48000, 0.2f, 7, 3);
        rig.calc.lop (impulse, series, 48000, 0.2f, 7, 1);
        rig.calc.lop (series, tmp, 48000, 0.2f, 7, 1);
        rig.calc.lop (tmp, series, 48000, 0.2f, 7, 1);
        for (int k = 0; k < taps; ++k)
            ASSERT_FLOAT_EQ (out[k], series[k]) << k;
    }
}

TEST (ProximityIndex, NearestByPlainDistance)
{
    const float three[] = { 0.0f, 5.0f, 10.0f };
    struct Case { const float* table; int n; float value; bool wrap; int expected; };
    const Case cases[] = {
        { three, 3, 2.5f, false, 0 },   { three, 3, 7.5f, false, 1 },   { three, 3, 11.0f, false, 2 },
        { three, 0, 5.0f, false, 0 },   { three, -4, 5.0f, false, 0 },
        { azimuths + 288, 72, 359.0f, false, 71 }, { azimuths + 288, 72, 357.5f, false, 71 },
        { azimuths + 288, 72, 2.5f, false, 0 },    { azimuths + 288, 72, 90.0f, false, 18 },
        { azimuths + 288, 72, -10.0f, true, 70 },  { azimuths + 288, 72, -10.0f, false, 0 },
        // Empty slots (1e9) are never chosen over a real direction.
        { azimuths + 13 * 72, 72, 200.0f, false, 0 }, { azimuths, 72, 359.0f, false, 55 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (IrBoxCalculator::proximityIndex (c.table, c.n, c.value, c.wrap), c.expected)
            << c.value << " over " << c.n;
}

TEST (AddArrayToBuffer, AddsExactlyTheHrtfLength)
{
    Rig rig (false, 139);
    std::vector<float> dest (300, 1.0f), src (300, 2.0f);
    rig.calc.addArrayToBuffer (dest.data(), src.data(), 0.25f);
    for (int k = 0; k < 300; ++k)
        ASSERT_EQ (dest[(size_t) k], k < 139 ? 1.5f : 1.0f) << k;
    rig.hrtfSize = 0;
    rig.calc.addArrayToBuffer (dest.data(), src.data(), 0.25f);
    EXPECT_EQ (dest[0], 1.5f);
}

TEST (Calculator, DirectSoundOfTheSmallRoom)
{
    IrBoxCalculatorParams p;
    p.roomX = 3.0f, p.roomY = 3.0f, p.listenerX = 1.5f, p.listenerY = 1.5f, p.sourceX = 1.5f, p.sourceY = 2.25f;
    p.damping = 0.05f, p.hfDamping = 0.1f, p.reverbType = 2, p.stereoWidth = 0.8f, p.sampleRate = 44100.0;

    for (juce::int64 seed : { 1, 2, 3, 4, 5 })
    {
        Rig rig (true);
        rig.calc.setRandomSeed (seed);
        rig.compute (p, 1, 0, 1, 1273);
        const auto* left = rig.buffer.getReadPointer (0);
        const int first = firstNonZero (left, 1273);
        ASSERT_GE (first - 10, 97);
        ASSERT_LE (first - 10, 141);
        EXPECT_NEAR (left[first], 1.25617f, 1e-5f);
        EXPECT_NEAR (left[first + 1], 1.25617f * 0.057872f, 1e-5f);
        for (int i = 0; i < 1273; ++i)
            ASSERT_EQ (left[i], rig.buffer.getReadPointer (1)[i]);
        // Nothing but the one image.
        EXPECT_EQ (rig.buffer.getMagnitude (0, first + 128, 1273 - first - 128), 0.0f);
        EXPECT_FALSE (rig.busy.load());
    }
}

TEST (Calculator, ReceiverGainsForKnownDirections)
{
    // Listener at the centre of a 4 m square, source 1 m away; only the source
    // itself is computed. psi is the direction relative to the nose.
    struct Case
    {
        const char* what;
        int type;
        float width;
        float sourceDx, sourceDy, listenerO;
        float leftOverG, rightOverG;
    };
    const float c45 = 0.5f * (1.0f + juce::dsp::FastMathApproximations::cos (45.0f * 0.017453292f));
    const float cos360 = juce::dsp::FastMathApproximations::cos (-360.0f * 0.017453292f);
    const Case cases[] = {
        { "XY front", 0, 1.0f, 0, 1, 0, c45, c45 },
        { "XY front width 0", 0, 0.0f, 0, 1, 0, 1.0f, 1.0f },
        { "MS cardio front", 1, 1.0f, 0, 1, 0, 1.0f, 1.0f },
        { "MS cardio right", 1, 1.0f, 1, 0, 0, 0.5f - 1.0f, 0.5f + 1.0f },
        { "MS omni right", 2, 1.0f, 1, 0, 0, 0.0f, 2.0f },
        { "MS omni left", 2, 1.0f, -1, 0, 0, 2.0f, 0.0f },
        { "MS omni behind", 2, 0.5f, 0, -1, 0, 1.0f, 1.0f },
        { "MS omni, head turned right", 2, 1.0f, 0, 1, 90, 2.0f, 0.0f },
        // Source behind, head turned round: psi = -360 degrees, where the
        // fast cosine (about 0.728) stands, not 1.
        { "MS cardio psi -360", 1, 0.0f, 0, -1, 180, 0.5f * (1.0f + cos360), 0.5f * (1.0f + cos360) },
        { "unknown type", 7, 1.0f, 0, 1, 0, 0.0f, 0.0f },
    };
    EXPECT_NEAR (cos360, 0.728f, 0.001f);

    for (const auto& c : cases)
    {
        IrBoxCalculatorParams p;
        p.roomX = 4.0f, p.roomY = 4.0f, p.listenerX = 2.0f, p.listenerY = 2.0f;
        p.sourceX = 2.0f + c.sourceDx, p.sourceY = 2.0f + c.sourceDy;
        p.damping = 0.1f, p.hfDamping = 0.1f, p.reverbType = c.type, p.listenerO = c.listenerO;
        p.stereoWidth = c.width, p.sampleRate = 44100.0;

        Rig rig (true);
        rig.compute (p, 1, 0, 1, 1000);
        const float peakL = rig.buffer.getMagnitude (0, 0, 1000);
        const float peakR = rig.buffer.getMagnitude (1, 0, 1000);
        // g = 1 at 1 m; the impulse's first tap after filtering is 0.942128.
        EXPECT_NEAR (peakL, std::abs (c.leftOverG) * 0.942128f, 2e-3f) << c.what;
        EXPECT_NEAR (peakR, std::abs (c.rightOverG) * 0.942128f, 2e-3f) << c.what;
        EXPECT_EQ (rig.buffer.getNumSamples(), 1000) << c.what;
    }
}

TEST (Calculator, BinauralPicksTheNearestHorizontalDirection)
{
    // (source offset, head orientation) -> slot; psi = -400 gives 320 degrees.
    struct Case { float dx, dy, listenerO; int slot; };
    const float a = 0.017453292f;
    const Case cases[] = {
        { 0, 1, 0, 288 },                                         // ahead
        { 1, 0, 0, 306 },                                         // right
        { -1, 0, 0, 342 },                                        // left: psi -90
        { -std::cos (-130 * a), std::sin (-130 * a), 180, 352 },  // psi -400
        { 0, -1, 0, 324 },                                        // behind
    };
    for (const auto& c : cases)
    {
        IrBoxCalculatorParams p;
        p.roomX = 4.0f, p.roomY = 4.0f, p.listenerX = 2.0f, p.listenerY = 2.0f;
        p.sourceX = 2.0f + c.dx, p.sourceY = 2.0f + c.dy;
        p.damping = 0.1f, p.hfDamping = 0.1f, p.reverbType = 3, p.listenerO = c.listenerO, p.sampleRate = 48000.0;

        Rig rig (true, 139, 48000.0f);
        rig.compute (p, 1, 0, 1, 1000);
        Rig probe (false, 139);
        float expected[279];
        for (int ch = 0; ch < 2; ++ch)
        {
            const float* row = (ch == 0 ? lhrtf48 : rhrtf48) + c.slot * 139;
            probe.calc.lop (row, expected, 48000, 0.1f, 0, 1);
            const float* out = rig.buffer.getReadPointer (ch);
            const int delay = firstNonZero (out, 1000);
            ASSERT_GE (delay, 0);
            const float g = 0.707107f / std::sqrt (c.dx * c.dx + c.dy * c.dy);
            for (int k = 0; k < 139; ++k)
                ASSERT_NEAR (out[delay + k], g * expected[k], 1e-5f) << "slot " << c.slot << " channel " << ch << " tap " << k;
        }
    }
}

TEST (Calculator, MatchesThePlainModelForEveryReceiver)
{
    for (int type : { 0, 1, 2, 3 })
        for (auto [taps, rate] : { std::pair { 128, 44100.0 }, std::pair { 139, 48000.0 } })
        {
            auto p = smallRoom (type);
            p.sampleRate = rate;
            const int n = 6, length = 4000;
            const auto expected = reference::compute (p, n, 1 - n, n, length, false, taps, 42);

            // One calculator over all rows.
            Rig whole (false, taps, (float) rate);
            whole.compute (p, n, 1 - n, n, length);
            expectBuffersMatch (whole.buffer, expected, "type " + std::to_string (type) + " at " + std::to_string (rate));

            // The rows split over three calculators add up to the same response.
            juce::AudioBuffer<float> sum (2, length);
            sum.clear();
            const int splits[] = { 1 - n, -2, 3, n };
            for (int k = 0; k < 3; ++k)
            {
                Rig part (false, taps, (float) rate);
                const auto piece = reference::compute (p, n, splits[k], splits[k + 1], length, false, taps, 100 + k);
                part.calc.setRandomSeed (100 + k);
                part.compute (p, n, splits[k], splits[k + 1], length);
                expectBuffersMatch (part.buffer, piece, "piece " + std::to_string (k));
                EXPECT_NEAR (part.calc.getProgress(), (float) (splits[k + 1] - 1 - splits[k]) / (float) (splits[k + 1] - splits[k]), 1e-6f);
            }
        }
}

TEST (Calculator, WidthZeroGivesIdenticalChannels)
{
    for (int type : { 0, 1, 2 })
    {
        Rig rig;
        rig.compute (smallRoom (type, 0.0f), 5, -4, 5, 3000);
        ASSERT_GT (rig.buffer.getMagnitude (0, 0, 3000), 0.0f);
        for (int i = 0; i < 3000; ++i)
            ASSERT_EQ (rig.buffer.getSample (0, i), rig.buffer.getSample (1, i)) << "type " << type;
    }
}

TEST (Calculator, ReflectionsNeverHoldTheDirectSound)
{
    auto p = smallRoom (2);
    Rig reflections (false);
    reflections.compute (p, 1, 0, 1, 2000);
    EXPECT_EQ (reflections.buffer.getMagnitude (0, 2000), 0.0f);

    Rig direct (true);
    direct.compute (p, 1, 0, 1, 2000);
    EXPECT_GT (direct.buffer.getMagnitude (0, 2000), 0.0f);
}

TEST (Calculator, EmptyAndSilentCases)
{
    testing::internal::CaptureStdout();
    // Damping 0.99 leaves order 0: no rows at all.
    auto p = smallRoom (1);
    p.damping = 0.99f;
    Rig empty;
    empty.buffer.setSize (2, 10);
    empty.buffer.setSample (0, 3, 5.0f);
    empty.compute (p, 0, 1, 0, 1234);
    EXPECT_EQ (empty.buffer.getNumSamples(), 1234);
    EXPECT_EQ (empty.buffer.getMagnitude (0, 1234), 0.0f);
    EXPECT_EQ (empty.calc.getProgress(), 0.0f);
    EXPECT_FALSE (empty.busy.load());

    // Unknown receivers are silent but sized.
    Rig unknown;
    unknown.compute (smallRoom (9), 4, -3, 4, 900);
    EXPECT_EQ (unknown.buffer.getNumSamples(), 900);
    EXPECT_EQ (unknown.buffer.getMagnitude (0, 900), 0.0f);
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "Done\nDone\n");
}

TEST (Calculator, SourceOnTheListenerStaysFinite)
{
    for (int type : { 0, 1, 2, 3 })
        for (bool direct : { true, false })
        {
            auto p = smallRoom (type);
            p.sourceX = p.listenerX;
            p.sourceY = p.listenerY;
            Rig rig (direct);
            rig.compute (p, 3, -2, 3, 3000);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 3000; ++i)
                    ASSERT_TRUE (std::isfinite (rig.buffer.getSample (ch, i))) << type << " " << direct << " " << i;
            EXPECT_LT (rig.buffer.getMagnitude (0, 3000), 200.0f);
        }
}

TEST (Calculator, CancelledRunClearsTheFlagAndPrintsNothing)
{
    auto p = smallRoom (3);
    p.damping = 0.005f;
    Rig rig;
    rig.calc.setParams (p);
    rig.calc.order = 780;
    rig.calc.rowBegin = -779;
    rig.calc.rowEnd = 780;
    rig.calc.irLength = 400000;

    testing::internal::CaptureStdout();
    rig.busy = true;
    rig.calc.startThread();
    while (rig.calc.getProgress() == 0.0f)
        juce::Thread::sleep (1);
    rig.calc.stopThread (-1);
    EXPECT_FALSE (rig.busy.load());
    EXPECT_LT (rig.calc.getProgress(), 0.5f);
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "");

    // Asked to stop before it starts: nothing computed, nothing printed.
    testing::internal::CaptureStdout();
    rig.calc.signalThreadShouldExit();
    rig.calc.run();
    EXPECT_FALSE (rig.busy.load());
    EXPECT_EQ (rig.buffer.getMagnitude (0, rig.buffer.getNumSamples()), 0.0f);
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "");
}
