// The reflections convolution for the longest room (10 x 10 m, damping 0.005)
// played in real time: share of each block's duration spent on the audio
// thread (mean and worst), and all threads' CPU time over the audio's duration.
// Compares JUCE's uniform and non-uniform partitioning with the split
// convolution the engine uses. Prints a table; asserts nothing.
#include "RoomIR2D.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace
{
using Clock = std::chrono::steady_clock;

struct Result
{
    double meanShare, worstShare, cpuShare;
};

juce::AudioBuffer<float> longestRoomLikeResponse (double rate)
{
    IrBoxCalculatorParams p;
    p.roomX = p.roomY = 10.0f;
    p.damping = 0.005f;
    p.sampleRate = rate;
    const auto plan = BoxRoomIR::planWork (p, 1, rate > 90000.0 ? 279 : 139);
    juce::AudioBuffer<float> ir (2, plan.reflectionsLength);
    juce::Random rng (1);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < ir.getNumSamples(); ++i)
            ir.setSample (ch, i, (rng.nextFloat() - 0.5f) * std::exp (-3.0f * (float) i / (float) ir.getNumSamples()));
    return ir;
}

// Hosts run their audio callback on a real-time thread; so does this bench.
struct AudioThread final : juce::Thread
{
    explicit AudioThread (std::function<void()> j) : juce::Thread ("bench audio"), job (std::move (j)) {}
    void run() override { job(); }
    std::function<void()> job;
};

void onAudioThread (std::function<void()> job)
{
    AudioThread thread (std::move (job));
    if (! thread.startRealtimeThread (juce::Thread::RealtimeOptions {}.withPriority (9)))
        thread.startThread (juce::Thread::Priority::highest);
    thread.waitForThreadToExit (-1);
}

template <typename ConvolutionType>
Result play (ConvolutionType& convolution, const juce::AudioBuffer<float>& ir, double rate, int block, double seconds)
{
    juce::AudioBuffer<float> copy (ir);
    convolution.loadImpulseResponse (std::move (copy), rate, juce::dsp::Convolution::Stereo::yes,
                                     juce::dsp::Convolution::Trim::no, juce::dsp::Convolution::Normalise::no);
    convolution.prepare ({ rate, (juce::uint32) block, 2 }); // installs the response on this thread

    juce::AudioBuffer<float> buffer (2, block);
    juce::Random rng (2);
    const auto period = std::chrono::duration<double> (block / rate);
    const int blocks = (int) (seconds * rate / block);
    const int warmUp = (int) (rate / block); // the first second touches fresh memory
    double total = 0.0, worst = 0.0;
    std::clock_t cpuStart = 0;
    onAudioThread ([&]
    {
    auto deadline = Clock::now();
    for (int n = 0; n < warmUp + blocks; ++n)
    {
        if (n == warmUp)
            cpuStart = std::clock();
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < block; ++i)
                buffer.setSample (ch, i, rng.nextFloat() - 0.5f);
        juce::dsp::AudioBlock<float> audio (buffer);
        const auto start = Clock::now();
        convolution.process (juce::dsp::ProcessContextReplacing<float> (audio));
        const std::chrono::duration<double> took = Clock::now() - start;
        if (n >= warmUp)
        {
            total += took.count();
            worst = std::max (worst, took.count());
        }
        deadline += std::chrono::duration_cast<Clock::duration> (period);
        std::this_thread::sleep_until (deadline);
    }
    });
    const double cpu = (double) (std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double audioSeconds = blocks * block / rate;
    return { total / audioSeconds, worst / period.count(), cpu / audioSeconds };
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    const double seconds = argc > 1 ? juce::String (argv[1]).getDoubleValue() : 3.0;
    const bool splitOnly = argc > 2 && juce::String (argv[2]) == "--split-only";
    std::printf ("Longest room, played in real time for %.0f s per row (after 1 s warm-up).\n", seconds);
    std::printf ("audio: audio thread's share of real time; worst: longest block over its duration\n");
    std::printf ("(above 1 the host drops out); cpu: all threads' CPU over real time.\n\n");
    std::printf ("%-8s %6s %-22s %8s %8s %8s\n", "rate", "block", "convolution", "audio", "worst", "cpu");
    for (double rate : { 48000.0, 96000.0 })
    {
        const auto ir = longestRoomLikeResponse (rate);
        for (int block : { 64, 256, 1024 })
        {
            const auto row = [&] (const char* name, Result r)
            {
                std::printf ("%-8.0f %6d %-22s %8.3f %8.2f %8.3f\n", rate, block, name, r.meanShare, r.worstShare, r.cpuShare);
                std::fflush (stdout);
            };
            if (! splitOnly && block >= 1024) // uniform partitions are far below real time at smaller blocks
            {
                juce::dsp::Convolution uniform;
                row ("JUCE uniform", play (uniform, ir, rate, block, seconds));
            }
            for (int head : { 4096, 16384, 65536 })
            {
                if (splitOnly)
                    break;
                juce::dsp::Convolution nonUniform { juce::dsp::Convolution::NonUniform { head } };
                row (("JUCE non-uniform " + std::to_string (head)).c_str(), play (nonUniform, ir, rate, block, seconds));
            }
            SplitConvolution split { true };
            row ("split (engine)", play (split, ir, rate, block, seconds));
            // What the machine itself allows: a one-tap response, same pacing.
            juce::AudioBuffer<float> unit (2, 1);
            unit.setSample (0, 0, 1.0f);
            unit.setSample (1, 0, 1.0f);
            juce::dsp::Convolution trivial;
            row ("baseline: one tap", play (trivial, unit, rate, block, seconds));
        }
    }
    return 0;
}
