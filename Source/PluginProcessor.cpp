#include "PluginProcessor.h"
#include "PluginEditor.h"

ReverbAudioProcessor::ReverbAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::mono(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      apvts (*this, nullptr, "Parameters", createParameters()),
      directLevel (apvts.getRawParameterValue ("Direct Level")),
      reflectionsLevel (apvts.getRawParameterValue ("Reflections Level")),
      update (apvts.getRawParameterValue ("Update"))
{
    startTimerHz (5);
}

ReverbAudioProcessor::~ReverbAudioProcessor()
{
    stopTimer();
}

const juce::String ReverbAudioProcessor::getName() const { return "Velmora mono in"; }

juce::AudioProcessorValueTreeState::ParameterLayout ReverbAudioProcessor::createParameters()
{
    using Float = juce::AudioParameterFloat;
    using Range = juce::NormalisableRange<float>;
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    auto addFloat = [&layout] (const char* id, Range range, float defaultValue)
    {
        layout.add (std::make_unique<Float> (juce::ParameterID { id, 0 }, id, range, defaultValue));
    };

    addFloat ("Room Size X", Range (1.0f, 10.0f, 0.01f), 3.0f);
    addFloat ("Room Size Y", Range (1.0f, 10.0f, 0.01f), 4.7f);
    addFloat ("ListenerX", Range (0.01f, 0.99f, 0.01f), 0.5f);
    addFloat ("ListenerY", Range (0.01f, 0.99f, 0.01f), 0.25f);
    addFloat ("ListenerO", Range (-180.0f, 180.0f, 1.0f, 1.0f), 0.0f);
    addFloat ("SourceX", Range (0.01f, 0.99f, 0.01f), 0.5f);
    addFloat ("SourceY", Range (0.01f, 0.99f, 0.01f), 0.75f);
    addFloat ("Damping", Range (0.005f, 0.99f, 0.001f, 0.3f), 0.05f);
    addFloat ("HF Damping", Range (0.01f, 0.3f, 0.001f, 0.3f), 0.1f);
    addFloat ("Stereo Width", Range (0.0f, 1.0f, 0.001f, 1.0f), 0.5f);
    addFloat ("Direct Level", Range (-90.0f, 6.0f, 0.1f, 1.0f), 0.0f);
    addFloat ("Reflections Level", Range (-90.0f, 6.0f, 0.1f, 1.0f), 0.0f);

    layout.add (std::make_unique<juce::AudioParameterChoice> (
        juce::ParameterID { "Reverb type", 0 }, "Reverb type",
        juce::StringArray { "XY", "MS with Cardio", "MS with Omni", "Binaural" }, 1));
    layout.add (std::make_unique<juce::AudioParameterBool> (juce::ParameterID { "Update", 0 }, "Update", true));

    return layout;
}

void ReverbAudioProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    // A host that reports no usable rate still gets a working engine.
    if (! (std::isfinite (sampleRate) && sampleRate > 0.0))
        sampleRate = 44100.0;

    const std::lock_guard<std::mutex> lock (engineControl);
    processSpec = { sampleRate,
                    (juce::uint32) juce::jmax (1, samplesPerBlock),
                    (juce::uint32) getTotalNumOutputChannels() };
    roomIr.initialize();
    roomIr.prepare (processSpec);
}

void ReverbAudioProcessor::releaseResources() {}

float ReverbAudioProcessor::decibelsToGain (float decibels)
{
    return decibels > -100.0f ? std::exp (decibels * 0.05f * 2.3025851f) : 0.0f;
}

void ReverbAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const auto numSamples = buffer.getNumSamples();
    if (numSamples > 0 && buffer.getNumChannels() > 1 && ! buffer.hasBeenCleared())
        for (auto ch = getTotalNumInputChannels(); ch < getTotalNumOutputChannels() && ch < buffer.getNumChannels(); ++ch)
            buffer.copyFrom (ch, 0, buffer, 0, 0, numSamples);

    // A bounce must never come out with stale or missing responses: offline, the
    // render waits (bounded) until the current settings are computed and in use.
    if (isNonRealtime() && roomIr.isPrepared())
    {
        const std::lock_guard<std::mutex> lock (engineControl);
        if (wantsRecompute())
            roomIr.makeCurrent (makeRequest(), offlineWaitMs);
    }

    roomIr.setRenderingOffline (isNonRealtime());
    roomIr.directGain = decibelsToGain (directLevel->load());
    roomIr.reflectionsGain = decibelsToGain (reflectionsLevel->load());
    roomIr.process (buffer);
}

IrBoxCalculatorParams ReverbAudioProcessor::makeRequest() const
{
    const auto value = [this] (const char* id) { return apvts.getRawParameterValue (id)->load(); };

    IrBoxCalculatorParams request;
    request.roomX = value ("Room Size X");
    request.roomY = value ("Room Size Y");
    request.listenerX = value ("ListenerX") * request.roomX;
    request.listenerY = value ("ListenerY") * request.roomY;
    request.sourceX = value ("SourceX") * request.roomX;
    request.sourceY = value ("SourceY") * request.roomY;
    request.damping = value ("Damping");
    request.hfDamping = value ("HF Damping");
    request.reverbType = (int) value ("Reverb type");
    request.listenerO = value ("ListenerO");
    request.stereoWidth = value ("Stereo Width");
    request.sampleRate = processSpec.sampleRate;
    return request;
}

void ReverbAudioProcessor::setIrLoader()
{
    roomIr.calculate (makeRequest());
}

double ReverbAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool ReverbAudioProcessor::acceptsMidi() const { return false; }
bool ReverbAudioProcessor::producesMidi() const { return false; }
bool ReverbAudioProcessor::isMidiEffect() const { return false; }

juce::AudioProcessorEditor* ReverbAudioProcessor::createEditor() { return new ReverbAudioProcessorEditor (*this); }
bool ReverbAudioProcessor::hasEditor() const { return true; }

int ReverbAudioProcessor::getNumPrograms() { return 1; }
int ReverbAudioProcessor::getCurrentProgram() { return 0; }
void ReverbAudioProcessor::setCurrentProgram (int) {}

// VST3 validators reject a program list whose only program has no name.
const juce::String ReverbAudioProcessor::getProgramName (int index)
{
    return index == 0 ? juce::String ("Default") : juce::String();
}

void ReverbAudioProcessor::changeProgramName (int, const juce::String&) {}

void ReverbAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    // copyState first writes parameter changes still waiting for the tree's timer;
    // the live tree alone could miss a value set just before the host saves.
    juce::MemoryOutputStream stream (destData, true);
    apvts.copyState().writeToStream (stream);
}

namespace
{
// Reading a value tree from truncated bytes still yields a tree, with the
// missing part silently zero; remembering short reads tells such data apart.
class CheckedInput final : public juce::InputStream
{
public:
    CheckedInput (const void* data, size_t size) : inner (data, size, false) {}

    int read (void* dest, int numBytes) override
    {
        const auto got = inner.read (dest, numBytes);
        overrun = overrun || got < numBytes;
        return got;
    }

    juce::int64 getTotalLength() override { return inner.getTotalLength(); }
    bool isExhausted() override { return inner.isExhausted(); }
    juce::int64 getPosition() override { return inner.getPosition(); }
    bool setPosition (juce::int64 pos) override { return inner.setPosition (pos); }

    bool overrun = false;

private:
    juce::MemoryInputStream inner;
};

bool hasOnlyFiniteValues (const juce::ValueTree& tree)
{
    for (const auto& child : tree)
    {
        const auto& value = child.getProperty ("value");
        if (! value.isVoid() && (! (value.isDouble() || value.isInt() || value.isInt64() || value.isBool())
                                 || ! std::isfinite ((double) value)))
            return false;
    }
    return true;
}
} // namespace

void ReverbAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;

    CheckedInput input (data, (size_t) sizeInBytes);
    auto tree = juce::ValueTree::readFromStream (input);

    if (tree.isValid() && ! input.overrun && tree.hasType (apvts.state.getType()) && hasOnlyFiniteValues (tree))
        apvts.replaceState (tree);
}

bool ReverbAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    if (layouts.getMainOutputChannelSet() != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == juce::AudioChannelSet::mono();
}

// With "Update" off the responses are left alone, except that a room never
// computed yet (say, a session saved with "Update" off) is computed once.
bool ReverbAudioProcessor::wantsRecompute() const
{
    return (updateEnabled && update->load() >= 0.5f) || ! roomIr.hasRequest();
}

void ReverbAudioProcessor::timerCallback()
{
    // Never block the message thread: an offline render or a prepare holding
    // the engine now just means this tick is skipped.
    std::unique_lock<std::mutex> lock (engineControl, std::try_to_lock);
    if (lock.owns_lock() && wantsRecompute())
        setIrLoader();
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new ReverbAudioProcessor();
}
