#include "AllocationCounter.h"
#include "PluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
IrBoxCalculatorParams defaultRoom (double rate = 44100.0)
{
    IrBoxCalculatorParams p;
    p.roomX = 3.0f, p.roomY = 4.7f;
    p.listenerX = 0.5f * 3.0f, p.listenerY = 0.25f * 4.7f;
    p.sourceX = 0.5f * 3.0f, p.sourceY = 0.75f * 4.7f;
    p.damping = 0.05f, p.hfDamping = 0.1f, p.reverbType = 1, p.stereoWidth = 0.5f;
    p.sampleRate = rate;
    return p;
}

IrBoxCalculatorParams largestRoom (double rate = 44100.0)
{
    auto p = defaultRoom (rate);
    p.roomX = p.roomY = 10.0f;
    p.listenerX = 2.0f, p.listenerY = 3.0f, p.sourceX = 7.0f, p.sourceY = 8.0f;
    p.damping = 0.005f;
    p.reverbType = 3;
    return p;
}

bool waitUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        juce::Thread::sleep (2);
    }
    return true;
}

std::string prepareQuietly (BoxRoomIR& engine, double rate, int block = 512, int threads = 2)
{
    testing::internal::CaptureStdout();
    engine.initialize (threads);
    engine.prepare ({ rate, (juce::uint32) block, 2 });
    return testing::internal::GetCapturedStdout();
}

juce::AudioBuffer<float> impulseBlock (int length, int at = 0)
{
    juce::AudioBuffer<float> b (2, length);
    b.clear();
    b.setSample (0, at, 1.0f);
    b.setSample (1, at, 1.0f);
    return b;
}
} // namespace

//==============================================================================
TEST (Engine, SizesAndSplitsTheWork)
{
    struct Case
    {
        IrBoxCalculatorParams request;
        int threads, taps;
        int order, length, chunk, directLength;
        std::vector<std::pair<int, int>> rows;
    };
    auto heavy = defaultRoom();
    heavy.damping = 0.99f;
    const Case cases[] = {
        { defaultRoom (48000.0), 8, 139, 76, 60800, 19, 1762,
          { { -75, -56 }, { -56, -37 }, { -37, -18 }, { -18, 1 }, { 1, 20 }, { 20, 39 }, { 39, 58 }, { 58, 76 } } },
        { defaultRoom (44100.0), 12, 128, 76, 55860, 12, 1619, { { -75, -63 }, { -63, -51 }, { 57, 76 } } },
        { defaultRoom (44100.0), 1, 128, 76, 55860, 152, 1619, { { -75, 76 } } },
        { heavy, 4, 128, 0, -1, 0, 1619, { { 1, 1 }, { 1, 1 }, { 1, 1 }, { 1, 0 } } },
        { largestRoom (96000.0), 2, 279, 780, 3118966, 780, -1, { { -779, 1 }, { 1, 780 } } },
    };
    for (const auto& c : cases)
    {
        const auto plan = BoxRoomIR::planWork (c.request, c.threads, c.taps);
        SCOPED_TRACE (std::to_string (c.threads) + " threads, damping " + std::to_string (c.request.damping));
        EXPECT_EQ (plan.order, c.order);
        if (c.length >= 0)
            EXPECT_EQ (plan.reflectionsLength, c.length);
        if (c.directLength >= 0)
            EXPECT_EQ (plan.directLength, c.directLength);
        EXPECT_EQ (plan.chunk, c.chunk);
        // Listed rows are the first ones, or the last one when the list is short.
        for (size_t k = 0; k < c.rows.size(); ++k)
        {
            const size_t index = (k + 1 == c.rows.size()) ? (size_t) c.threads - 1 : k;
            EXPECT_EQ (plan.rowBegin[index], c.rows[k].first) << index;
            EXPECT_EQ (plan.rowEnd[index], c.rows[k].second) << index;
        }
        // Together the calculators cover every row once.
        if (c.order > 0)
        {
            EXPECT_EQ (plan.rowBegin[0], 1 - c.order);
            for (int k = 1; k < c.threads; ++k)
                EXPECT_EQ (plan.rowBegin[(size_t) k], plan.rowEnd[(size_t) k - 1]);
            EXPECT_EQ (plan.rowEnd[(size_t) c.threads - 1], c.order);
        }
    }
}

TEST (Engine, ChoosesTheNearestHrtfTableAndSaysSo)
{
    struct Case { double rate; float hrtfRate; int taps; const char* lines; };
    const Case cases[] = {
        { 44100.0, 44100.0f, 128, "Sample rate : 44100 Hz\nHRTF size : 128\n" },
        { 96000.0, 96000.0f, 279, "Sample rate : 96000 Hz\nHRTF size : 279\n" },
        { 50000.0, 48000.0f, 139, "Warning : sample rate of 50000 Hz not in possible sample rates, using HRTF at 48000 Hz.\n" },
        { 46050.0, 44100.0f, 128, "Warning : sample rate of 46050 Hz not in possible sample rates, using HRTF at 44100 Hz.\n" },
        { 192000.0, 96000.0f, 279, "Warning : sample rate of 192000 Hz not in possible sample rates, using HRTF at 96000 Hz.\n" },
        { 32000.0, 44100.0f, 128, "Warning : sample rate of 32000 Hz not in possible sample rates, using HRTF at 44100 Hz.\n" },
    };
    for (const auto& c : cases)
    {
        BoxRoomIR engine;
        const auto out = prepareQuietly (engine, c.rate);
        EXPECT_EQ (engine.getHrtfSampleRate(), c.hrtfRate) << c.rate;
        EXPECT_EQ (engine.getHrtfSize(), c.taps) << c.rate;
        std::ostringstream expected;
        expected << "Actual sampleRate : " << c.rate << " Hz.\n" << c.lines << "BoxRoomIR::prepare has finished. \n";
        EXPECT_EQ (out, expected.str());
    }
}

TEST (Engine, NothingRunsBeforePrepareOrForAnUnchangedRequest)
{
    BoxRoomIR engine;
    testing::internal::CaptureStdout();
    engine.calculate (defaultRoom());
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE (engine.isIdle());
    EXPECT_EQ (engine.getCalculationCount(), 0);

    prepareQuietly (engine, 44100.0);
    testing::internal::CaptureStdout();
    engine.calculate (defaultRoom());
    ASSERT_TRUE (waitUntil ([&] { return engine.isIdle(); }, 10000));
    engine.calculate (defaultRoom());
    const auto out = testing::internal::GetCapturedStdout();
    EXPECT_EQ (engine.getCalculationCount(), 1);
    EXPECT_EQ (out, "Start box thread no 0\nStart box thread no 1\nStart direct path thread\nDone\nDone\nDone\n");
}

TEST (Engine, AChangedRequestStopsAndRestarts)
{
    BoxRoomIR engine;
    prepareQuietly (engine, 44100.0);
    testing::internal::CaptureStdout();
    engine.calculate (largestRoom());
    ASSERT_TRUE (waitUntil ([&] { return engine.getProgress() > 0.0f; }, 10000));
    auto moved = largestRoom();
    moved.sourceX = 6.0f;
    engine.calculate (moved);
    const auto out = testing::internal::GetCapturedStdout();

    for (const char* line : { "Thread no 0 running\nThread no 0 stopped\n", "Thread no 1 running\nThread no 1 stopped\n",
                              "Box IR thread running\nThread box IR stopped\n" })
        EXPECT_NE (out.find (line), std::string::npos) << line << " in\n" << out;
    EXPECT_EQ (engine.getCalculationCount(), 2);
    EXPECT_TRUE (engine.getCalculatingState());
    // The engine goes out of scope mid-calculation: its destructor must join every worker.
}

TEST (Engine, ProgressIsFullOnlyOnceTheReflectionsAreLoaded)
{
    for (int threads : { 2, 0 })
    {
        BoxRoomIR engine;
        prepareQuietly (engine, 48000.0, 512, threads);
        EXPECT_EQ (engine.getProgress(), 0.0f);

        testing::internal::CaptureStdout();
        engine.calculate (defaultRoom (48000.0));
        float highestBeforeLoad = 0.0f;
        while (! engine.getBufferTransferState())
        {
            highestBeforeLoad = std::max (highestBeforeLoad, engine.getProgress());
            juce::Thread::sleep (1);
        }
        ASSERT_TRUE (waitUntil ([&] { return engine.isIdle(); }, 10000));
        testing::internal::GetCapturedStdout();
        EXPECT_LT (highestBeforeLoad, 1.0f) << threads;
        EXPECT_EQ (engine.getProgress(), 1.0f) << threads;
        EXPECT_FALSE (engine.getCalculatingState());
    }
}

TEST (Engine, TransferMergesIntoAFirstBufferOfAnyLength)
{
    // The first buffer is shorter than the second (say, emptied by an earlier
    // load); the third is clear. The loaded response is the padded sum.
    std::array<juce::AudioBuffer<float>, 3> buffers;
    buffers[0].setSize (2, 50);
    buffers[0].clear();
    buffers[0].setSample (0, 10, 1.0f);
    buffers[1].setSize (2, 100);
    buffers[1].clear();
    buffers[1].setSample (0, 10, 0.5f);
    buffers[1].setSample (1, 99, 0.25f);
    buffers[2].setSize (2, 100);
    buffers[2].clear();
    std::array<std::atomic<bool>, 3> flags {};

    SplitConvolution convolution { false };
    IrTransfer transfer;
    transfer.setBuffer (buffers.data());
    transfer.setIr (&convolution);
    transfer.setCalculatingBool (flags.data());
    transfer.setThreadsNum (3);
    transfer.setSampleRate (48000.0);
    transfer.run();
    EXPECT_TRUE (transfer.getBufferTransferState());
    EXPECT_EQ (buffers[0].getNumSamples(), 0) << "moved into the convolution";

    convolution.prepare ({ 48000.0, 256, 2 });
    EXPECT_EQ (convolution.getCurrentIRSize(), 100);
    auto block = impulseBlock (256);
    juce::dsp::AudioBlock<float> audio (block);
    convolution.process (juce::dsp::ProcessContextReplacing<float> (audio));
    EXPECT_NEAR (block.getSample (0, 10), 1.5f, 1e-5f);
    EXPECT_NEAR (block.getSample (1, 99), 0.25f, 1e-5f);
    EXPECT_NEAR (block.getMagnitude (0, 0, 256), 1.5f, 1e-5f);
}

TEST (Engine, TransferStoppedWhileWaitingLoadsNothing)
{
    juce::AudioBuffer<float> buffer (2, 10);
    std::atomic<bool> busy { true };
    SplitConvolution convolution { false };
    IrTransfer transfer;
    transfer.setBuffer (&buffer);
    transfer.setIr (&convolution);
    transfer.setCalculatingBool (&busy);
    transfer.setThreadsNum (1);
    transfer.startThread();
    juce::Thread::sleep (50);
    EXPECT_TRUE (transfer.stopThread (1000));
    EXPECT_FALSE (transfer.getBufferTransferState());
    EXPECT_FALSE (transfer.hasLoaded());
    EXPECT_EQ (buffer.getNumSamples(), 10);
}

TEST (Engine, SplitConvolutionEqualsOneWholeConvolution)
{
    // A response much longer than the head, so the worker's tail matters; the
    // split must give what one convolution with the whole response gives.
    constexpr double rate = 48000.0;
    constexpr int length = 3 * SplitConvolution::headSize + 1234, total = 5 * SplitConvolution::headSize;
    juce::AudioBuffer<float> response (2, length), input (2, total);
    juce::Random rng (5);
    for (int ch = 0; ch < 2; ++ch)
    {
        for (int i = 0; i < length; ++i)
            response.setSample (ch, i, (rng.nextFloat() - 0.5f) * std::exp (-2.0f * (float) i / (float) length));
        for (int i = 0; i < total; ++i)
            input.setSample (ch, i, i % 3001 == 0 ? 1.0f : 0.0f);
    }

    const auto render = [&] (juce::dsp::Convolution& c, int block, const std::function<void()>& pace)
    {
        juce::AudioBuffer<float> copy (response), out (input);
        c.loadImpulseResponse (std::move (copy), rate, juce::dsp::Convolution::Stereo::yes,
                               juce::dsp::Convolution::Trim::no, juce::dsp::Convolution::Normalise::no);
        c.prepare ({ rate, (juce::uint32) block, 2 });
        for (int pos = 0; pos < total; pos += block)
        {
            auto piece = juce::dsp::AudioBlock<float> (out).getSubBlock ((size_t) pos, (size_t) std::min (block, total - pos));
            c.process (juce::dsp::ProcessContextReplacing<float> (piece));
            pace();
        }
        return out;
    };
    juce::dsp::Convolution whole;
    const auto expected = render (whole, 512, [] {});

    // Offline; played in real time; and a host that runs far ahead of real time
    // without saying it renders offline.
    struct Case { int block; bool offline; bool paced; };
    for (const auto& c : { Case { 512, true, false }, Case { 100, true, false }, Case { 6000, true, false },
                           Case { 256, false, true }, Case { 512, false, false } })
    {
        SplitConvolution split { true };
        split.setWaitForTail (c.offline);
        juce::AudioBuffer<float> copy (response), out (input);
        split.loadImpulseResponse (std::move (copy), rate, juce::dsp::Convolution::Stereo::yes,
                                   juce::dsp::Convolution::Trim::no, juce::dsp::Convolution::Normalise::no);
        split.prepare ({ rate, (juce::uint32) c.block, 2 });
        EXPECT_EQ (split.getCurrentIRSize(), length);
        for (int pos = 0; pos < total; pos += c.block)
        {
            auto piece = juce::dsp::AudioBlock<float> (out).getSubBlock ((size_t) pos, (size_t) std::min (c.block, total - pos));
            split.process (juce::dsp::ProcessContextReplacing<float> (piece));
            if (c.paced)
                juce::Thread::sleep ((int) (1000.0 * c.block / rate) + 1);
        }
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < total; ++i)
                ASSERT_NEAR (out.getSample (ch, i), expected.getSample (ch, i), 1e-4f)
                    << "block " << c.block << (c.offline ? " offline" : c.paced ? " real time" : " running ahead")
                    << " channel " << ch << " sample " << i;
    }
}

//==============================================================================
TEST (Audio, DecibelsToGain)
{
    const std::pair<float, float> cases[] = { { 0.0f, 1.0f }, { 6.0f, 1.9952623f }, { -90.0f, 3.1622776e-5f },
                                              { -20.0f, 0.1f }, { -100.0f, 0.0f }, { -120.0f, 0.0f } };
    for (auto [db, gain] : cases)
        EXPECT_NEAR (ReverbAudioProcessor::decibelsToGain (db), gain, gain * 1e-5f) << db;
    EXPECT_EQ (ReverbAudioProcessor::decibelsToGain (0.0f), 1.0f);
}

TEST (Audio, DryPathHighPassedAndDcRemoved)
{
    BoxRoomIR engine;
    prepareQuietly (engine, 48000.0, 480);
    // Constant input: both dry paths sum to 2, and the 15 Hz high-pass removes it.
    juce::AudioBuffer<float> block (2, 480);
    float first = 0.0f, last = 0.0f;
    for (int n = 0; n < 200; ++n)
    {
        for (int ch = 0; ch < 2; ++ch)
            juce::FloatVectorOperations::fill (block.getWritePointer (ch), 0.5f, 480);
        engine.process (block);
        if (n == 0)
            first = block.getSample (0, 0);
        last = block.getMagnitude (0, 0, 480);
        ASSERT_EQ (block.getSample (0, 100), block.getSample (1, 100));
    }
    EXPECT_NEAR (first, 1.0f, 0.01f);
    EXPECT_LT (last, 1e-3f);
}

TEST (Audio, BlockSizesDoNotChangeTheResult)
{
    // The same input in one 512 block, in odd short blocks, and in one block
    // longer than prepared (taken in pieces) comes out the same.
    const auto render = [] (const std::vector<int>& sizes, bool withRoom)
    {
        BoxRoomIR engine;
        engine.setRandomSeed (7);
        prepareQuietly (engine, 44100.0, 512);
        if (withRoom)
        {
            testing::internal::CaptureStdout();
            engine.makeCurrent (defaultRoom(), 20000);
            testing::internal::GetCapturedStdout();
        }
        engine.directGain = 0.5f;
        engine.reflectionsGain = 2.0f;
        juce::AudioBuffer<float> all (2, 4096);
        juce::Random rng (3);
        for (int i = 0; i < 4096; ++i)
            all.setSample (0, i, rng.nextFloat() - 0.5f), all.setSample (1, i, all.getSample (0, i));
        int pos = 0;
        for (size_t k = 0; pos < 4096; ++k)
        {
            const int n = std::min (sizes[k % sizes.size()], 4096 - pos);
            juce::AudioBuffer<float> piece (2, n);
            for (int ch = 0; ch < 2; ++ch)
                piece.copyFrom (ch, 0, all, ch, pos, n);
            engine.process (piece);
            for (int ch = 0; ch < 2; ++ch)
                all.copyFrom (ch, pos, piece, ch, 0, n);
            pos += n;
        }
        return all;
    };
    for (bool withRoom : { false, true })
    {
        const auto reference = render ({ 512 }, withRoom);
        ASSERT_GT (reference.getMagnitude (0, 4096), 0.1f);
        for (const auto& sizes : { std::vector<int> { 64 }, std::vector<int> { 1, 17, 300, 5 }, std::vector<int> { 3000 } })
        {
            const auto other = render (sizes, withRoom);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 4096; ++i)
                    ASSERT_NEAR (other.getSample (ch, i), reference.getSample (ch, i), 2e-3f)
                        << "room " << withRoom << " first size " << sizes[0] << " sample " << i;
        }
    }
}

TEST (Audio, NoAllocationOnTheAudioPathThroughAResponseSwap)
{
    // The processor's whole audio callback, while its engine computes and swaps responses twice.
    ReverbAudioProcessor processor;
    testing::internal::CaptureStdout();
    processor.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> block (2, 256);
    juce::MidiBuffer midi;
    std::size_t allocated = 0;
    int blocks = 0;
    for (int round = 0; round < 2; ++round)
    {
        processor.apvts.getParameter ("SourceX")->setValueNotifyingHost (0.2f + 0.5f * (float) round);
        processor.setIrLoader();
        const int calculation = processor.roomIr.getCalculationCount();
        // Keep processing until the new responses are loaded and well past the cross-fade.
        int afterLoad = 0;
        while (afterLoad < 100 && blocks < 20000)
        {
            block.clear();
            block.setSample (0, 0, 1.0f);
            allocations::Counting counter;
            processor.processBlock (block, midi);
            allocated += counter.count();
            ++blocks;
            if (processor.roomIr.isIdle() && processor.roomIr.getCalculationCount() == calculation)
                ++afterLoad;
            juce::Thread::sleep (1);
        }
        EXPECT_EQ (processor.roomIr.getCalculationCount(), round + 1);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ (allocated, 0u) << "over " << blocks << " blocks";
}

//==============================================================================
TEST (Control, UpdateOffLeavesTheResponsesAlone)
{
    ReverbAudioProcessor p;
    testing::internal::CaptureStdout();
    p.timerCallback();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 0) << "no calculation before prepareToPlay";
    p.prepareToPlay (44100.0, 512);

    const auto tickAndSettle = [&p]
    {
        p.timerCallback();
        waitUntil ([&] { return p.roomIr.isIdle(); }, 20000);
    };
    auto& roomX = *p.apvts.getParameter ("Room Size X");
    auto& update = *p.apvts.getParameter ("Update");

    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 1);
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 1) << "unchanged parameters";

    p.updateEnabled = false; // a drag in progress
    roomX.setValueNotifyingHost (0.2f);
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 1);
    p.updateEnabled = true;
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 2);

    update.setValueNotifyingHost (0.0f);
    roomX.setValueNotifyingHost (0.4f);
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 2) << "\"Update\" off";
    update.setValueNotifyingHost (1.0f);
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 3);

    // A new block size alone recalculates nothing; a new rate does.
    p.prepareToPlay (44100.0, 256);
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 3);
    p.prepareToPlay (48000.0, 256);
    tickAndSettle();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 4);
    testing::internal::GetCapturedStdout();
}

TEST (Control, ARoomNeverComputedIsComputedEvenWithUpdateOff)
{
    ReverbAudioProcessor p;
    p.apvts.getParameter ("Update")->setValueNotifyingHost (0.0f);
    testing::internal::CaptureStdout();
    p.prepareToPlay (44100.0, 512);
    p.timerCallback();
    waitUntil ([&] { return p.roomIr.isIdle(); }, 20000);
    p.timerCallback();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ (p.roomIr.getCalculationCount(), 1);
}

TEST (Control, OfflineRenderUsesTheCurrentRoomFromTheFirstSample)
{
    // Source 2.35 m in front of the listener in the default room.
    ReverbAudioProcessor p;
    p.setNonRealtime (true);
    testing::internal::CaptureStdout();
    p.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> block (2, 512);
    juce::MidiBuffer midi;
    block.clear();
    block.setSample (0, 0, 1.0f);
    p.processBlock (block, midi);
    testing::internal::GetCapturedStdout();

    EXPECT_EQ (p.roomIr.getCalculationCount(), 1);
    // No dry impulse at sample 0; the direct sound arrives after 2.35 m / 340 m/s.
    EXPECT_LT (std::abs (block.getSample (0, 0)), 0.05f);
    const int expected = (int) std::round (2.35 / 340.0 * 48000.0);
    int peak = 0;
    for (int i = 1; i < 512; ++i)
        if (std::abs (block.getSample (0, i)) > std::abs (block.getSample (0, peak)))
            peak = i;
    EXPECT_GE (peak, expected);
    EXPECT_LE (peak, expected + 48 + 12);
}
