#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>
#include <limits>

// Equality within the type's own precision: absolutely near zero, relatively elsewhere.
template <typename T>
bool nearlyEqual (T a, T b) noexcept
{
    const auto diff = std::abs (a - b);
    return diff <= std::numeric_limits<T>::min()
           || diff <= std::numeric_limits<T>::epsilon() * std::max (std::abs (a), std::abs (b));
}

// One room impulse-response request: everything a calculation depends on.
struct IrBoxCalculatorParams
{
    float roomX = 0.0f;
    float roomY = 0.0f;
    float listenerX = 0.0f;
    float listenerY = 0.0f;
    float sourceX = 0.0f;
    float sourceY = 0.0f;
    float damping = 0.0f;
    float hfDamping = 0.0f;
    int reverbType = 0;
    float listenerO = 0.0f;
    float stereoWidth = 0.0f;
    double sampleRate = 0.0;

    bool operator== (const IrBoxCalculatorParams& other) const noexcept
    {
        return nearlyEqual (roomX, other.roomX) && nearlyEqual (roomY, other.roomY)
               && nearlyEqual (listenerX, other.listenerX) && nearlyEqual (listenerY, other.listenerY)
               && nearlyEqual (sourceX, other.sourceX) && nearlyEqual (sourceY, other.sourceY)
               && nearlyEqual (damping, other.damping) && nearlyEqual (hfDamping, other.hfDamping)
               && reverbType == other.reverbType && nearlyEqual (listenerO, other.listenerO)
               && nearlyEqual (stereoWidth, other.stereoWidth) && nearlyEqual (sampleRate, other.sampleRate);
    }

    bool operator!= (const IrBoxCalculatorParams& other) const noexcept { return ! (*this == other); }
};

//==============================================================================
// Computes one stereo room impulse response by the image-source method, over a
// range of image rows. The engine wires and starts it; it owns nothing it points to.
class IrBoxCalculator : public juce::Thread
{
public:
    // Longest head-related response, and so the size of every scratch array.
    static constexpr int maxHrtfSize = 279;
    // Keeps 1/distance finite when source and listener share a point.
    static constexpr float smallestDistance = 0.01f;

    IrBoxCalculator();
    ~IrBoxCalculator() override;

    void run() override;

    void setParams (const IrBoxCalculatorParams& newParams) { params = newParams; }
    void setCalculatingBool (std::atomic<bool>* flag) { calculating = flag; }
    void setBuffer (juce::AudioBuffer<float>* output) { buffer = output; }
    void setCalculateDirectPath (bool includeDirect) { calculateDirectPath = includeDirect; }
    void setHrtfVars (int* size, float* rate)
    {
        hrtfSize = size;
        hrtfSampleRate = rate;
    }
    void setRandomSeed (juce::int64 seed) { random.setSeed (seed); }

    float getProgress() const noexcept { return progress.load (std::memory_order_relaxed); }
    void resetProgress() noexcept { progress.store (0.0f, std::memory_order_relaxed); }

    // One-pole low-pass whose cutoff sinks with the reflection order; hrtfSize taps.
    void lop (const float* input, float* output, int sampleRate, float hfDamping, int reflectionOrder, int passes) const;
    static int proximityIndex (const float* table, int numEntries, float value, bool wrapNegative);
    void addArrayToBuffer (float* destination, const float* source, float gain) const;

    int order = 0;
    int rowBegin = 0;
    int rowEnd = 0;
    int irLength = 0;

private:
    // Image coordinate along one axis: the source mirrored |index| times in the walls.
    static float imageCoordinate (float roomSize, float source, int index);
    int currentHrtfSize() const;

    IrBoxCalculatorParams params;
    std::atomic<float> progress { 0.0f };
    std::atomic<bool>* calculating = nullptr;
    juce::AudioBuffer<float>* buffer = nullptr;
    bool calculateDirectPath = false;
    int* hrtfSize = nullptr;
    float* hrtfSampleRate = nullptr;
    juce::Random random;

    JUCE_DECLARE_NON_COPYABLE (IrBoxCalculator)
};

//==============================================================================
// Zero-latency convolution for responses of millions of taps. The first part
// of the response is convolved on the audio thread; the rest, which only
// reaches the output after that head has passed, is convolved by a worker
// thread ahead of time. A single-threaded partitioned convolution does all of
// its long-partition work in one block every so often, and at 96 kHz that one
// block takes several times its own duration: a drop-out.
class SplitConvolution
{
public:
    // Samples the tail worker takes at a time, and the largest piece the audio
    // thread hands over at once.
    static constexpr int tailChunk = 4096;
    static constexpr int maxPiece = 4096;
    // Taps convolved on the audio thread. The tail for a piece must be ready
    // before the piece plays; the head's length is the worker's time to make it.
    static constexpr int headSize = 2 * (tailChunk + maxPiece);

    explicit SplitConvolution (bool threadedTail);
    ~SplitConvolution();

    // Callable from any thread; the response takes over without blocking the audio thread.
    void loadImpulseResponse (juce::AudioBuffer<float>&& response, double sampleRate, juce::dsp::Convolution::Stereo,
                              juce::dsp::Convolution::Trim, juce::dsp::Convolution::Normalise);
    // Also runs pending loads on this thread and puts their result in use at once.
    void prepare (const juce::dsp::ProcessSpec& setup);
    void reset();
    void process (const juce::dsp::ProcessContextReplacing<float>& context) noexcept;

    int getCurrentIRSize() const;
    // When set, a late worker is waited for instead of being skipped (offline rendering).
    void setWaitForTail (bool shouldWait) noexcept { waitForTail = shouldWait; }

private:
    class TailWorker;

    void stopWorker();
    void processPiece (juce::dsp::AudioBlock<float> block) noexcept;
    int readTail (float* const* destination, int numChannels, int numSamples, bool add) noexcept;

    const bool threaded;
    juce::dsp::Convolution head;
    juce::dsp::Convolution tail { juce::dsp::Convolution::NonUniform { headSize } };
    int maxBlock = 0;
    double sampleRate = 44100.0;
    bool waitForTail = false;
    // Audio handed over beyond the wall-clock time that passed, in seconds.
    double secondsAhead = 0.0;
    juce::int64 lastPieceTicks = 0;
    // Tail samples the audio thread had to go without; skipped when they arrive.
    int owedTail = 0;

    juce::AbstractFifo inputFifo { 1 }, outputFifo { 1 };
    juce::AudioBuffer<float> inputRing, outputRing, chunk;
    std::unique_ptr<TailWorker> worker;

    JUCE_DECLARE_NON_COPYABLE (SplitConvolution)
};

//==============================================================================
// Waits for a set of calculators, sums their buffers and loads the result into a
// convolution, which takes it over without blocking the audio thread.
class IrTransfer : public juce::Thread
{
public:
    static constexpr int maxThreads = 12;

    IrTransfer();
    ~IrTransfer() override;

    void run() override;

    void setBuffer (juce::AudioBuffer<float>* first) { buffer = first; }
    void setIr (SplitConvolution* convolution) { ir = convolution; }
    void setCalculatingBool (std::atomic<bool>* firstFlag) { calculating = firstFlag; }
    void setSampleRate (double rate) { sampleRate = rate; }
    void setThreadsNum (int num) { threadsNum = juce::jmin (num, maxThreads); }

    bool getBufferTransferState() const noexcept { return bufferTransferState.load (std::memory_order_acquire); }
    // Whether any response has ever been handed to the convolution.
    bool hasLoaded() const noexcept { return everLoaded.load (std::memory_order_acquire); }

private:
    bool anyCalculating() const;
    void merge();

    juce::AudioBuffer<float>* buffer = nullptr;
    SplitConvolution* ir = nullptr;
    std::atomic<bool>* calculating = nullptr;
    std::atomic<bool> bufferTransferState { false };
    std::atomic<bool> everLoaded { false };
    double sampleRate = 44100.0;
    int threadsNum = 0;

    JUCE_DECLARE_NON_COPYABLE (IrTransfer)
};

//==============================================================================
// How one request's work is sized and split over the reflection calculators.
struct IrWorkPlan
{
    int order = 0;
    int reflectionsLength = 0;
    int directLength = 0;
    int chunk = 0;
    std::array<int, IrTransfer::maxThreads> rowBegin {}, rowEnd {};
};

//==============================================================================
// The room engine: computes the reflections and direct-path responses on worker
// threads and applies them to the audio.
class BoxRoomIR
{
public:
    static constexpr int maxCalculators = IrTransfer::maxThreads;

    BoxRoomIR();
    ~BoxRoomIR();

    void initialize();
    void initialize (int physicalCpus);
    void prepare (juce::dsp::ProcessSpec setup);
    void calculate (const IrBoxCalculatorParams& request);
    bool setIrCaclulatorsParams (const IrBoxCalculatorParams& request);

    float getProgress() const;
    bool getCalculatingState() const;
    bool getBufferTransferState() const { return boxTransfer.getBufferTransferState(); }
    bool isPrepared() const noexcept { return prepared; }
    // No calculator or transfer worker is running.
    bool isIdle() const;
    // How many calculations have been started since construction.
    int getCalculationCount() const noexcept { return startedCalculations; }
    int getThreadsNum() const noexcept { return threadsNum; }
    int getHrtfSize() const noexcept { return hrtfSize; }
    float getHrtfSampleRate() const noexcept { return hrtfSampleRate; }

    void process (juce::AudioBuffer<float>& block);

    // True once a request has been accepted since construction or an interrupted prepare.
    bool hasRequest() const noexcept { return currentParams.roomX > 0.0f; }
    // For offline rendering, off the real-time path: computes the request if it is
    // new, waits for the workers and puts the responses in use at once, without the
    // convolutions' cross-fade. False if the time-out passed first.
    bool makeCurrent (const IrBoxCalculatorParams& request, int timeoutMs);

    static IrWorkPlan planWork (const IrBoxCalculatorParams& request, int threads, int hrtfTaps);
    // Seeds every calculator's arrival-time generator, for repeatable tests.
    void setRandomSeed (juce::int64 seed);

    // Offline renders wait for the reflections' tail worker instead of skipping it.
    void setRenderingOffline (bool offline) noexcept { boxIr.setWaitForTail (offline); }

    float directGain = 1.0f;
    float reflectionsGain = 1.0f;

private:
    void stopAllWorkers (bool printLines);
    void processChunk (juce::AudioBuffer<float>& block, int start, int numSamples);

    juce::AudioBuffer<float> dryBuffer;
    SplitConvolution boxIr { true };
    SplitConvolution directIr { false };
    std::array<IrBoxCalculator, maxCalculators> calculators;
    IrBoxCalculator directCalculator;
    std::array<std::atomic<bool>, maxCalculators> calculating {};
    std::atomic<bool> directCalculating { false };
    std::array<juce::AudioBuffer<float>, maxCalculators> irBuffers;
    juce::AudioBuffer<float> directBuffer;
    IrTransfer boxTransfer;
    IrTransfer directTransfer;
    IrBoxCalculatorParams currentParams;
    int threadsNum = 0;
    int hrtfSize = 128;
    float hrtfSampleRate = 44100.0f;
    std::array<juce::dsp::IIR::Filter<float>, 2> highPassFilters;
    bool prepared = false;
    juce::dsp::ProcessSpec preparedSpec { 44100.0, 1, 2 };
    int startedCalculations = 0;
    int calculationInUse = 0;

    JUCE_DECLARE_NON_COPYABLE (BoxRoomIR)
};
