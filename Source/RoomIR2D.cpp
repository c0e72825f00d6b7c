#include "RoomIR2D.h"
#include "hrtf/HrtfTables.h"

#include <cmath>
#include <iostream>

namespace
{
// Diagnostics: one line each, numbers in the stream's default format.
template <typename... Parts>
void printLine (const Parts&... parts)
{
    (std::cout << ... << parts) << std::endl;
}

struct HrtfPair
{
    const float* left;
    const float* right;
    int stride;
};

HrtfPair hrtfTablesFor (float rate)
{
    if (juce::approximatelyEqual (rate, 48000.0f))
        return { lhrtf48, rhrtf48, hrtf::taps48 };
    if (juce::approximatelyEqual (rate, 88200.0f))
        return { lhrtf88, rhrtf88, hrtf::taps88 };
    if (juce::approximatelyEqual (rate, 96000.0f))
        return { lhrtf96, rhrtf96, hrtf::taps96 };
    return { lhrtf44, rhrtf44, hrtf::taps44 };
}

using Approx = juce::dsp::FastMathApproximations;

constexpr float degreesToRadians = 0.017453292f;
constexpr float radiansToDegrees = 57.29578f;
// Seconds per metre for the arrival time; deliberately not exactly 1/340.
constexpr float secondsPerMetre = 0.0029412f;
constexpr int impulseIndex = 10;
// Beyond the order of the smallest damping; keeps a nonsense request from sizing gigabytes.
constexpr int maxOrder = 1000;
} // namespace

//==============================================================================
IrBoxCalculator::IrBoxCalculator() : juce::Thread ("calc") {}

IrBoxCalculator::~IrBoxCalculator() = default;

int IrBoxCalculator::currentHrtfSize() const
{
    return hrtfSize == nullptr ? 0 : juce::jlimit (0, maxHrtfSize, *hrtfSize);
}

void IrBoxCalculator::lop (const float* input, float* output, int sampleRate, float hfDamping, int reflectionOrder,
                           int passes) const
{
    const int taps = currentHrtfSize();
    if (taps <= 0)
        return;

    const float x = (float) reflectionOrder * hfDamping;
    const float e = std::exp (-x);
    const float w = e * 125663.703125f; // 2 pi x 20 kHz
    const float d = std::exp (-w / (float) sampleRate);
    const float c = 1.0f - d;

    output[0] = c * input[0];
    for (int k = 1; k < taps; ++k)
        output[k] = d * output[k - 1] + c * input[k];

    for (int pass = 1; pass < passes; ++pass)
    {
        output[0] = c * output[0];
        for (int k = 1; k < taps; ++k)
            output[k] = d * output[k - 1] + c * output[k];
    }
}

int IrBoxCalculator::proximityIndex (const float* table, int numEntries, float value, bool wrapNegative)
{
    if (value < 0.0f && wrapNegative)
        value += 360.0f;
    if (numEntries <= 0)
        return 0;

    float best = 1.0e9f;
    int index = 0;
    for (int k = 0; k < numEntries; ++k)
    {
        const float d = std::abs (table[k] - value);
        if (best > d)
            index = k;
        best = std::min (best, d);
    }
    return index;
}

void IrBoxCalculator::addArrayToBuffer (float* destination, const float* source, float gain) const
{
    const int taps = currentHrtfSize();
    if (taps > 0)
        juce::FloatVectorOperations::addWithMultiply (destination, source, gain, taps);
}

float IrBoxCalculator::imageCoordinate (float roomSize, float source, int index)
{
    const float wallPairs = std::ceil ((float) index / 2.0f);
    const float span = (roomSize + roomSize) * wallPairs;
    return (float) ((double) span + std::pow (-1.0, index) * (double) source);
}

void IrBoxCalculator::run()
{
    // The one-pole tails of high orders sink into denormals, which cost a
    // hundred times a normal multiply-add and are far below audibility.
    juce::ScopedNoDenormals noDenormals;
    calculating->store (true, std::memory_order_relaxed);

    alignas (16) float impulse[maxHrtfSize] = {};
    alignas (16) float filtered[maxHrtfSize] = {};
    impulse[impulseIndex] = 1.0f;

    const int length = juce::jmax (0, irLength);
    if (buffer->getNumChannels() != 2 || buffer->getNumSamples() != length)
        buffer->setSize (2, length);
    buffer->clear();

    if (threadShouldExit() || rowBegin >= rowEnd)
    {
        calculating->store (false, std::memory_order_release);
        if (! threadShouldExit())
            std::cout << "Done\n" << std::flush;
        return;
    }

    const int n = juce::jlimit (0, maxOrder, order);
    const int columns = juce::jmax (0, 2 * n - 1);
    const int sampleRate = (int) params.sampleRate;
    const int type = params.reverbType;
    const float width = params.stereoWidth;
    const auto hrtf = hrtfTablesFor (hrtfSampleRate != nullptr ? *hrtfSampleRate : 44100.0f);
    const int taps = type == 3 ? juce::jmin (currentHrtfSize(), hrtf.stride) : currentHrtfSize();
    const int binauralRing = hrtf::horizontalRing * hrtf::slotsPerRing;

    // Every column's image coordinate, every order's wall loss and, for the
    // microphone receivers, every order's filtered impulse are the same for all
    // rows: work them out once. The values are exactly the per-image ones.
    const int maxReflections = juce::jmax (0, std::abs (rowBegin) + std::abs (rowEnd) + n);
    std::vector<float> columnY ((size_t) columns);
    for (int c = 0; c < columns; ++c)
        columnY[(size_t) c] = imageCoordinate (params.roomY, params.sourceY, c + 1 - n);
    std::vector<double> wallLoss ((size_t) maxReflections + 1);
    for (size_t k = 0; k < wallLoss.size(); ++k)
        wallLoss[k] = std::pow (1.0 - (double) params.damping, (double) k);
    std::vector<float> filteredImpulse;
    if (type >= 0 && type <= 2 && taps > 0)
    {
        // One per reflection count any image of these rows can have.
        filteredImpulse.resize ((size_t) (maxReflections + 1) * (size_t) taps);
        for (int k = 0; k <= maxReflections; ++k)
            lop (impulse, filteredImpulse.data() + (size_t) k * (size_t) taps, sampleRate, params.hfDamping, k, 1);
    }

    float* left = buffer->getWritePointer (0);
    float* right = buffer->getWritePointer (1);

    for (int i = rowBegin; i < rowEnd; ++i)
    {
        const float x = imageCoordinate (params.roomX, params.sourceX, i);
        if (threadShouldExit())
        {
            calculating->store (false, std::memory_order_release);
            return;
        }

        const float dx = x - params.listenerX;
        const float towardsListenerX = params.listenerX - x;

        for (int c = 0; c < columns; ++c)
        {
            const int j = c + 1 - n;
            const float y = columnY[(size_t) c];
            const float dy = y - params.listenerY;
            const float dist = juce::jmax (smallestDistance, std::sqrt (dx * dx + dy * dy));
            const float r = random.nextFloat();
            const int reflections = std::abs (i) + std::abs (j);
            const int delay = (int) std::round ((double) (secondsPerMetre * dist + 0.001f * r) * params.sampleRate);
            float g = (float) wallLoss[(size_t) juce::jmin (reflections, maxReflections)] / dist;
            if (i == 0 && j == 0)
                g *= calculateDirectPath ? 1.0f : 0.0f;

            if (delay < 0 || delay + taps > length || taps <= 0)
                continue;

            const float theta = std::atan2 (dy, towardsListenerX) * radiansToDegrees - params.listenerO;
            const float psi = theta - 90.0f;

            const float* response = nullptr;
            float leftGain = 0.0f, rightGain = 0.0f;

            switch (type)
            {
                case 0:
                {
                    const float cosLeft = 1.0f + Approx::cos ((psi + 45.0f * width) * degreesToRadians);
                    const float cosRight = 1.0f + Approx::cos ((psi - 45.0f * width) * degreesToRadians);
                    leftGain = (float) (0.5 * (double) g * (double) cosLeft);
                    rightGain = (float) (0.5 * (double) g * (double) cosRight);
                    break;
                }
                case 1:
                {
                    const float psiRad = psi * degreesToRadians;
                    const double mid = 0.5 * (1.0 + (double) Approx::cos (psiRad));
                    const float side = width * Approx::sin (psiRad);
                    leftGain = (float) ((double) g * (mid - (double) side));
                    rightGain = (float) ((double) g * (mid + (double) side));
                    break;
                }
                case 2:
                {
                    const float side = width * Approx::sin (psi * degreesToRadians);
                    leftGain = g * (1.0f - side);
                    rightGain = g * (1.0f + side);
                    break;
                }
                case 3:
                {
                    float azimuth = std::fmod (psi, 360.0f);
                    if (azimuth < 0.0f)
                        azimuth += 360.0f;
                    const int slot = binauralRing + proximityIndex (azimuths + binauralRing, hrtf::slotsPerRing, azimuth, false);
                    const float gain = 0.707107f * g;
                    lop (hrtf.left + (size_t) slot * (size_t) hrtf.stride, filtered, sampleRate, params.hfDamping, reflections, 1);
                    juce::FloatVectorOperations::addWithMultiply (left + delay, filtered, gain, taps);
                    lop (hrtf.right + (size_t) slot * (size_t) hrtf.stride, filtered, sampleRate, params.hfDamping, reflections, 1);
                    juce::FloatVectorOperations::addWithMultiply (right + delay, filtered, gain, taps);
                    continue;
                }
                default:
                    continue;
            }

            response = filteredImpulse.data() + (size_t) reflections * (size_t) taps;
            juce::FloatVectorOperations::addWithMultiply (left + delay, response, leftGain, taps);
            juce::FloatVectorOperations::addWithMultiply (right + delay, response, rightGain, taps);
        }

        progress.store ((float) (i - rowBegin) / (float) (rowEnd - rowBegin), std::memory_order_relaxed);
    }

    calculating->store (false, std::memory_order_release);
    std::cout << "Done\n" << std::flush;
}

//==============================================================================
class SplitConvolution::TailWorker final : public juce::Thread
{
public:
    explicit TailWorker (SplitConvolution& o) : juce::Thread ("tail convolution"), owner (o) {}

    void run() override
    {
        juce::ScopedNoDenormals noDenormals;
        while (! threadShouldExit())
        {
            if (owner.inputFifo.getNumReady() < tailChunk || owner.outputFifo.getFreeSpace() < tailChunk)
            {
                wait (1);
                continue;
            }

            owner.inputFifo.read (tailChunk).forEach ([this, offset = 0] (int index) mutable
            {
                for (int ch = 0; ch < 2; ++ch)
                    owner.chunk.setSample (ch, offset, owner.inputRing.getSample (ch, index));
                ++offset;
            });

            juce::dsp::AudioBlock<float> block (owner.chunk);
            owner.tail.process (juce::dsp::ProcessContextReplacing<float> (block));

            owner.outputFifo.write (tailChunk).forEach ([this, offset = 0] (int index) mutable
            {
                for (int ch = 0; ch < 2; ++ch)
                    owner.outputRing.setSample (ch, index, owner.chunk.getSample (ch, offset));
                ++offset;
            });
        }
    }

private:
    SplitConvolution& owner;
};

SplitConvolution::SplitConvolution (bool threadedTail) : threaded (threadedTail) {}

SplitConvolution::~SplitConvolution()
{
    stopWorker();
}

void SplitConvolution::stopWorker()
{
    if (worker != nullptr)
        worker->stopThread (-1);
    worker.reset();
}

void SplitConvolution::loadImpulseResponse (juce::AudioBuffer<float>&& response, double sampleRate,
                                            juce::dsp::Convolution::Stereo stereo, juce::dsp::Convolution::Trim trim,
                                            juce::dsp::Convolution::Normalise normalise)
{
    if (! threaded)
    {
        head.loadImpulseResponse (std::move (response), sampleRate, stereo, trim, normalise);
        return;
    }

    const int length = response.getNumSamples();
    const int channels = response.getNumChannels();
    const int headLength = juce::jmin (length, headSize);
    // A one-sample silent tail stands for "no tail".
    const int tailLength = juce::jmax (1, length - headSize);

    juce::AudioBuffer<float> headPart (channels, headLength), tailPart (channels, tailLength);
    tailPart.clear();
    for (int ch = 0; ch < channels; ++ch)
    {
        headPart.copyFrom (ch, 0, response, ch, 0, headLength);
        if (length > headSize)
            tailPart.copyFrom (ch, 0, response, ch, headSize, length - headSize);
    }
    response.setSize (0, 0);

    head.loadImpulseResponse (std::move (headPart), sampleRate, stereo, trim, normalise);
    tail.loadImpulseResponse (std::move (tailPart), sampleRate, stereo, trim, normalise);
}

void SplitConvolution::reset()
{
    stopWorker();
    head.reset();
    tail.reset();
}

void SplitConvolution::prepare (const juce::dsp::ProcessSpec& setup)
{
    stopWorker();
    sampleRate = setup.sampleRate > 0.0 ? setup.sampleRate : 44100.0;
    maxBlock = juce::jlimit (1, maxPiece, (int) setup.maximumBlockSize);
    head.prepare ({ setup.sampleRate, (juce::uint32) maxBlock, setup.numChannels });
    if (! threaded)
        return;

    tail.prepare ({ setup.sampleRate, (juce::uint32) tailChunk, 2 });

    const int capacity = headSize + 2 * tailChunk + 2 * maxBlock + 1;
    inputRing.setSize (2, capacity);
    outputRing.setSize (2, capacity);
    inputRing.clear();
    outputRing.clear();
    chunk.setSize (2, tailChunk);
    inputFifo.setTotalSize (capacity);
    outputFifo.setTotalSize (capacity);
    inputFifo.reset();
    outputFifo.reset();
    // The tail is silent for the first headSize samples.
    outputFifo.write (headSize).forEach ([] (int) {});
    owedTail = 0;
    secondsAhead = 0.0;
    lastPieceTicks = 0;

    worker = std::make_unique<TailWorker> (*this);
    worker->startThread (juce::Thread::Priority::high);
}

int SplitConvolution::getCurrentIRSize() const
{
    const int tailSize = threaded ? tail.getCurrentIRSize() : 0;
    return head.getCurrentIRSize() + (tailSize > 1 ? tailSize : 0);
}

int SplitConvolution::readTail (float* const* destination, int numChannels, int numSamples, bool add) noexcept
{
    const int available = juce::jmin (outputFifo.getNumReady(), numSamples);
    outputFifo.read (available).forEach ([&, offset = 0] (int index) mutable
    {
        if (add)
            for (int ch = 0; ch < numChannels; ++ch)
                destination[ch][offset] += outputRing.getSample (ch, index);
        ++offset;
    });
    return available;
}

void SplitConvolution::process (const juce::dsp::ProcessContextReplacing<float>& context) noexcept
{
    auto& block = context.getOutputBlock();
    const auto total = block.getNumSamples();
    for (size_t start = 0; maxBlock > 0 && start < total; start += (size_t) maxBlock)
        processPiece (block.getSubBlock (start, juce::jmin ((size_t) maxBlock, total - start)));
}

void SplitConvolution::processPiece (juce::dsp::AudioBlock<float> block) noexcept
{
    const int numSamples = (int) block.getNumSamples();
    const int channels = juce::jmin (2, (int) block.getNumChannels());
    const bool withTail = threaded && worker != nullptr;

    if (withTail)
    {
        // The worker convolves this input later; if it has fallen so far behind
        // that there is no room, the excess is dropped and its tail never comes.
        const int writable = juce::jmin (numSamples, inputFifo.getFreeSpace());
        inputFifo.write (writable).forEach ([&, offset = 0] (int index) mutable
        {
            for (int ch = 0; ch < 2; ++ch)
                inputRing.setSample (ch, index, block.getSample (juce::jmin (ch, channels - 1), offset));
            ++offset;
        });
        owedTail -= juce::jmin (owedTail, numSamples - writable);
    }

    head.process (juce::dsp::ProcessContextReplacing<float> (block));

    if (! withTail)
        return;

    float* channelPointers[2] = { block.getChannelPointer (0), block.getChannelPointer ((size_t) (channels - 1)) };

    // Tail samples that came too late for their block are thrown away.
    while (owedTail > 0 && outputFifo.getNumReady() > 0)
        owedTail -= readTail (channelPointers, channels, owedTail, false);

    // How far the host has run ahead of the clock: a host playing in real time
    // stays within a block of it; one rendering without saying so runs away.
    const auto ticksPerSecond = (double) juce::Time::getHighResolutionTicksPerSecond();
    const auto now = juce::Time::getHighResolutionTicks();
    const double pieceSeconds = numSamples / sampleRate;
    if (lastPieceTicks != 0)
        secondsAhead = juce::jmax (0.0, secondsAhead + pieceSeconds - (double) (now - lastPieceTicks) / ticksPerSecond);
    lastPieceTicks = now;
    const bool renderingAhead = waitForTail || secondsAhead > 0.25;

    int done = readTail (channelPointers, channels, numSamples, true);
    if (done < numSamples)
    {
        // In real time the worker runs far ahead and this never waits; a host
        // rendering faster than real time is waited for (bounded), as offline.
        const auto budget = renderingAhead ? 5.0 : 0.5 * pieceSeconds;
        const auto deadline = now + (juce::int64) (budget * ticksPerSecond);
        while (done < numSamples && juce::Time::getHighResolutionTicks() < deadline)
        {
            if (renderingAhead)
                juce::Thread::yield();
            float* rest[2] = { channelPointers[0] + done, channelPointers[1] + done };
            done += readTail (rest, channels, numSamples - done, true);
        }
        lastPieceTicks = juce::Time::getHighResolutionTicks(); // waiting is not the host's time
    }
    owedTail += numSamples - done;
}

//==============================================================================
IrTransfer::IrTransfer() : juce::Thread ("transfer") {}

IrTransfer::~IrTransfer() = default;

bool IrTransfer::anyCalculating() const
{
    for (int k = 0; k < threadsNum; ++k)
        if (calculating[k].load (std::memory_order_acquire))
            return true;
    return false;
}

void IrTransfer::merge()
{
    auto& first = buffer[0];
    for (int k = 1; k < threadsNum; ++k)
    {
        const auto& other = buffer[k];
        if (other.getNumSamples() == 0 || other.hasBeenCleared())
            continue;

        // Never add past the end of the first buffer: grow it, zero-filled, instead.
        if (other.getNumSamples() > first.getNumSamples() || first.getNumChannels() < 2)
            first.setSize (2, juce::jmax (other.getNumSamples(), first.getNumSamples()), true, true);

        for (int ch = 0; ch < juce::jmin (2, other.getNumChannels()); ++ch)
            first.addFrom (ch, 0, other, ch, 0, other.getNumSamples());
    }
}

void IrTransfer::run()
{
    bufferTransferState.store (false, std::memory_order_release);

    for (;;)
    {
        if (threadShouldExit())
            return;
        const bool busy = anyCalculating();
        juce::Thread::sleep (200);
        if (! busy)
            break;
    }

    merge();
    if (buffer[0].getNumSamples() > 0)
    {
        ir->loadImpulseResponse (std::move (buffer[0]), sampleRate, juce::dsp::Convolution::Stereo::yes,
                                 juce::dsp::Convolution::Trim::no, juce::dsp::Convolution::Normalise::no);
        everLoaded.store (true, std::memory_order_release);
    }

    bufferTransferState.store (true, std::memory_order_release);
}

//==============================================================================
BoxRoomIR::BoxRoomIR()
{
    for (auto& filter : highPassFilters)
        filter.coefficients = new juce::dsp::IIR::Coefficients<float> (1.0f, 0.0f, 1.0f, 0.0f);
}

BoxRoomIR::~BoxRoomIR()
{
    stopAllWorkers (false);
}

void BoxRoomIR::stopAllWorkers (bool printLines)
{
    std::array<juce::Thread*, maxCalculators + 3> workers {};
    for (size_t k = 0; k < calculators.size(); ++k)
        workers[k] = &calculators[k];
    workers[maxCalculators] = &directCalculator;
    workers[maxCalculators + 1] = &boxTransfer;
    workers[maxCalculators + 2] = &directTransfer;

    std::array<bool, maxCalculators + 3> wasRunning {};
    for (size_t k = 0; k < workers.size(); ++k)
        wasRunning[k] = workers[k]->isThreadRunning();

    // Transfers first, so that none of them loads a half-computed response;
    // everyone is asked at once so they wind down in parallel.
    boxTransfer.signalThreadShouldExit();
    directTransfer.signalThreadShouldExit();
    for (auto* worker : workers)
        worker->signalThreadShouldExit();

    // A worker finishes at most one row (or one 200 ms wait) after the request,
    // so waiting for it is always short; it is never killed.
    const auto stop = [&] (size_t index, const std::string& running, const std::string& stopped)
    {
        const bool report = printLines && wasRunning[index];
        if (report)
            printLine (running);
        workers[index]->waitForThreadToExit (-1);
        if (report)
            printLine (stopped);
    };

    for (int k = 0; k < maxCalculators; ++k)
        stop ((size_t) k, "Thread no " + std::to_string (k) + " running", "Thread no " + std::to_string (k) + " stopped");
    stop (maxCalculators, "Thread direct running", "Thread direct stopped");
    stop (maxCalculators + 1, "Box IR thread running", "Thread box IR stopped");
    stop (maxCalculators + 2, "Thread direct running", "Thread direct IR stopped");
}

void BoxRoomIR::initialize()
{
    const int physical = juce::SystemStats::getNumPhysicalCpus();
    printLine ("Number of CPUs : ", juce::SystemStats::getNumCpus());
    printLine ("Number of physical CPUs : ", juce::SystemStats::getNumPhysicalCpus());
    initialize (physical);
}

void BoxRoomIR::initialize (int physicalCpus)
{
    // Rewiring under running workers would pull their buffers away; and a
    // calculation cut short here must run again, so forget its request.
    if (getCalculatingState() || directCalculating.load() || boxTransfer.isThreadRunning()
        || directTransfer.isThreadRunning())
        currentParams = {};
    stopAllWorkers (false);

    threadsNum = juce::jlimit (0, maxCalculators, physicalCpus);

    for (int k = 0; k < threadsNum; ++k)
    {
        auto& calculator = calculators[(size_t) k];
        calculator.setCalculateDirectPath (false);
        calculator.setHrtfVars (&hrtfSize, &hrtfSampleRate);
        calculator.setCalculatingBool (&calculating[(size_t) k]);
        calculator.setBuffer (&irBuffers[(size_t) k]);
    }

    boxTransfer.setBuffer (irBuffers.data());
    boxTransfer.setIr (&boxIr);
    boxTransfer.setCalculatingBool (calculating.data());
    boxTransfer.setThreadsNum (threadsNum);

    directCalculator.setCalculatingBool (&directCalculating);
    directCalculator.setBuffer (&directBuffer);
    directCalculator.setCalculateDirectPath (true);
    directCalculator.setHrtfVars (&hrtfSize, &hrtfSampleRate);

    directTransfer.setBuffer (&directBuffer);
    directTransfer.setIr (&directIr);
    directTransfer.setCalculatingBool (&directCalculating);
    directTransfer.setThreadsNum (1);

    directIr.reset();
}

void BoxRoomIR::prepare (juce::dsp::ProcessSpec setup)
{
    stopAllWorkers (false);

    const int maxBlock = (int) juce::jmax (1u, setup.maximumBlockSize);
    if (dryBuffer.getNumSamples() != maxBlock || dryBuffer.getNumChannels() != 2)
        dryBuffer.setSize (2, maxBlock);
    setup.maximumBlockSize = (juce::uint32) maxBlock;
    setup.numChannels = 2;

    printLine ("Actual sampleRate : ", setup.sampleRate, " Hz.");

    hrtfSampleRate = 44100.0f;
    float bestDistance = (float) juce::jmin (std::abs (44100.0 - setup.sampleRate), 200000.0);
    for (float candidate : { 48000.0f, 88200.0f, 96000.0f })
    {
        const double distance = std::abs ((double) candidate - setup.sampleRate);
        if ((double) bestDistance > distance)
        {
            hrtfSampleRate = candidate;
            bestDistance = (float) distance;
        }
    }
    hrtfSize = juce::approximatelyEqual (hrtfSampleRate, 48000.0f)   ? hrtf::taps48
               : juce::approximatelyEqual (hrtfSampleRate, 88200.0f) ? hrtf::taps88
               : juce::approximatelyEqual (hrtfSampleRate, 96000.0f) ? hrtf::taps96
                                                                    : hrtf::taps44;

    if (bestDistance == 0.0f)
    {
        printLine ("Sample rate : ", hrtfSampleRate, " Hz");
        printLine ("HRTF size : ", hrtfSize);
    }
    else
    {
        printLine ("Warning : sample rate of ", setup.sampleRate, " Hz not in possible sample rates, using HRTF at ",
                   hrtfSampleRate, " Hz.");
    }

    boxTransfer.setSampleRate (setup.sampleRate);
    directTransfer.setSampleRate (setup.sampleRate);

    // Until a room is computed each path must pass the signal unchanged. A
    // convolution's built-in placeholder is a unit impulse at 44.1 kHz, which it
    // resamples at other rates; a unit impulse at the host rate is transparent.
    const auto loadUnitImpulseUnlessLoaded = [&setup] (SplitConvolution& convolution, const IrTransfer& transfer)
    {
        if (transfer.hasLoaded())
            return;
        juce::AudioBuffer<float> unit (2, 1);
        unit.setSample (0, 0, 1.0f);
        unit.setSample (1, 0, 1.0f);
        convolution.loadImpulseResponse (std::move (unit), setup.sampleRate, juce::dsp::Convolution::Stereo::yes,
                                         juce::dsp::Convolution::Trim::no, juce::dsp::Convolution::Normalise::no);
    };
    loadUnitImpulseUnlessLoaded (boxIr, boxTransfer);
    loadUnitImpulseUnlessLoaded (directIr, directTransfer);

    // Preparing also runs queued loads here and installs the newest response.
    boxIr.reset();
    boxIr.prepare (setup);
    directIr.reset();
    directIr.prepare (setup);

    for (auto& filter : highPassFilters)
    {
        filter.coefficients = juce::dsp::IIR::Coefficients<float>::makeHighPass (setup.sampleRate, 15.0f);
        filter.reset();
    }

    preparedSpec = setup;
    calculationInUse = startedCalculations;
    prepared = true;
    std::cout << "BoxRoomIR::prepare has finished. \n";
}

IrWorkPlan BoxRoomIR::planWork (const IrBoxCalculatorParams& request, int threads, int hrtfTaps)
{
    IrWorkPlan plan;

    // Reflections until (1 - damping)^N has fallen to 2 % (34 dB).
    const double quotient = -1.6989700043360187 / (double) std::log10 (1.0f - request.damping);
    plan.order = std::isfinite (quotient) && quotient > 0.0 ? (int) juce::jmin (quotient, (double) maxOrder) : 0;

    const float diagonal = std::sqrt (request.roomX * request.roomX + request.roomY * request.roomY);
    const double rate = std::isfinite (request.sampleRate) ? juce::jmax (0.0, request.sampleRate) : 0.0;
    const double oneMs = std::trunc (rate * (double) 0.001f);
    const float longestPath = (float) (plan.order + 1) * (diagonal * 0.0029411765f);
    plan.reflectionsLength = (int) (std::ceil ((double) longestPath * rate) + oneMs + hrtfTaps);
    plan.directLength = (int) (oneMs + hrtfTaps + std::ceil ((double) (diagonal * 0.005882353f) * rate));

    if (threads > 0)
    {
        plan.chunk = (int) std::floor ((float) (2 * plan.order) / (float) threads);
        for (int k = 0; k < juce::jmin (threads, maxCalculators); ++k)
        {
            plan.rowBegin[(size_t) k] = 1 - plan.order + k * plan.chunk;
            plan.rowEnd[(size_t) k] = k == threads - 1 ? plan.order : plan.rowBegin[(size_t) k] + plan.chunk;
        }
    }
    return plan;
}

bool BoxRoomIR::setIrCaclulatorsParams (const IrBoxCalculatorParams& request)
{
    if (request == currentParams)
        return false;

    currentParams = request;
    for (int k = 0; k < threadsNum; ++k)
        calculators[(size_t) k].setParams (request);
    directCalculator.setParams (request);
    return true;
}

void BoxRoomIR::calculate (const IrBoxCalculatorParams& request)
{
    // Before prepare the thread count, table and rate mean nothing yet.
    if (! prepared || request == currentParams)
        return;

    stopAllWorkers (true);
    setIrCaclulatorsParams (request);

    const auto plan = planWork (request, threadsNum, hrtfSize);
    for (int k = 0; k < threadsNum; ++k)
    {
        auto& calculator = calculators[(size_t) k];
        calculator.order = plan.order;
        calculator.rowBegin = plan.rowBegin[(size_t) k];
        calculator.rowEnd = plan.rowEnd[(size_t) k];
        calculator.irLength = plan.reflectionsLength;
        calculator.resetProgress();
    }
    directCalculator.order = 1;
    directCalculator.rowBegin = 0;
    directCalculator.rowEnd = 1;
    directCalculator.irLength = plan.directLength;
    directCalculator.resetProgress();

    ++startedCalculations;

    // Raised here rather than by the calculators themselves, so no transfer
    // worker can look before a calculator has started and think it finished.
    for (int k = 0; k < threadsNum; ++k)
        calculating[(size_t) k].store (true);
    directCalculating.store (true);

    for (int k = 0; k < threadsNum; ++k)
    {
        printLine ("Start box thread no ", k);
        if (! calculators[(size_t) k].startThread (juce::Thread::Priority::low))
            calculating[(size_t) k].store (false);
    }
    printLine ("Start direct path thread");
    if (! directCalculator.startThread (juce::Thread::Priority::low))
        directCalculating.store (false);
    boxTransfer.startThread (juce::Thread::Priority::low);
    directTransfer.startThread (juce::Thread::Priority::low);
}

bool BoxRoomIR::isIdle() const
{
    for (const auto& calculator : calculators)
        if (calculator.isThreadRunning())
            return false;
    return ! (directCalculator.isThreadRunning() || boxTransfer.isThreadRunning() || directTransfer.isThreadRunning());
}

bool BoxRoomIR::makeCurrent (const IrBoxCalculatorParams& request, int timeoutMs)
{
    if (! prepared)
        return false;
    calculate (request);

    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);
    while (! isIdle())
    {
        if (juce::Time::getMillisecondCounter() >= deadline)
            return false;
        juce::Thread::sleep (2);
    }

    // Preparing runs the queued loads on this thread and installs their result
    // directly; a real-time swap would cross-fade from the old response instead.
    if (calculationInUse != startedCalculations)
    {
        boxIr.prepare (preparedSpec);
        directIr.prepare (preparedSpec);
        calculationInUse = startedCalculations;
    }
    return true;
}

float BoxRoomIR::getProgress() const
{
    if (! getCalculatingState() && boxTransfer.getBufferTransferState())
        return 1.0f;
    if (threadsNum <= 0)
        return 0.0f;

    float sum = 0.0f;
    for (int k = 0; k < threadsNum; ++k)
        sum += calculators[(size_t) k].getProgress();
    return sum / (float) threadsNum;
}

bool BoxRoomIR::getCalculatingState() const
{
    for (int k = 0; k < threadsNum; ++k)
        if (calculating[(size_t) k].load (std::memory_order_relaxed))
            return true;
    return false;
}

void BoxRoomIR::setRandomSeed (juce::int64 seed)
{
    for (size_t k = 0; k < calculators.size(); ++k)
        calculators[k].setRandomSeed (seed + (juce::int64) k);
    directCalculator.setRandomSeed (seed + (juce::int64) calculators.size());
}

void BoxRoomIR::process (juce::AudioBuffer<float>& block)
{
    if (! prepared)
        return;

    // A host may hand over more than it announced: take it in prepared-size pieces.
    const int maxBlock = dryBuffer.getNumSamples();
    for (int start = 0; start < block.getNumSamples(); start += maxBlock)
        processChunk (block, start, juce::jmin (maxBlock, block.getNumSamples() - start));
}

void BoxRoomIR::processChunk (juce::AudioBuffer<float>& block, int start, int numSamples)
{
    const int channels = juce::jmin (2, block.getNumChannels());
    if (channels == 0 || numSamples <= 0)
        return;

    for (int c = 0; c < channels; ++c)
    {
        if (block.hasBeenCleared())
        {
            if (! dryBuffer.hasBeenCleared())
                dryBuffer.clear (c, 0, numSamples);
        }
        else
            dryBuffer.copyFrom (c, 0, block, c, start, numSamples);
    }

    auto wet = juce::dsp::AudioBlock<float> (block).getSubsetChannelBlock (0, (size_t) channels)
                   .getSubBlock ((size_t) start, (size_t) numSamples);
    auto dry = juce::dsp::AudioBlock<float> (dryBuffer).getSubsetChannelBlock (0, (size_t) channels)
                   .getSubBlock (0, (size_t) numSamples);

    if (boxIr.getCurrentIRSize() > 0)
        boxIr.process (juce::dsp::ProcessContextReplacing<float> (wet));

    if (nearlyEqual (reflectionsGain, 0.0f))
        wet.clear();
    else if (! nearlyEqual (reflectionsGain, 1.0f))
        wet.multiplyBy (reflectionsGain);

    if (directIr.getCurrentIRSize() > 0)
        directIr.process (juce::dsp::ProcessContextReplacing<float> (dry));

    for (int c = 0; c < channels; ++c)
    {
        if (nearlyEqual (directGain, 0.0f))
            continue;
        block.addFrom (c, start, dryBuffer, c, 0, numSamples, nearlyEqual (directGain, 1.0f) ? 1.0f : directGain);
    }

    for (int c = 0; c < channels; ++c)
    {
        auto channel = wet.getSingleChannelBlock ((size_t) c);
        highPassFilters[(size_t) c].process (juce::dsp::ProcessContextReplacing<float> (channel));
    }
}
