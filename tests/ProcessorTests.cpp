#include "PluginProcessor.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace
{
juce::RangedAudioParameter& param (ReverbAudioProcessor& p, const char* id)
{
    auto* parameter = p.apvts.getParameter (id);
    EXPECT_NE (parameter, nullptr) << id;
    return *parameter;
}

float raw (ReverbAudioProcessor& p, const char* id) { return p.apvts.getRawParameterValue (id)->load(); }

void setRaw (ReverbAudioProcessor& p, const char* id, float value)
{
    auto& parameter = param (p, id);
    parameter.setValueNotifyingHost (parameter.convertTo0to1 (value));
}

juce::MemoryBlock stateOf (ReverbAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}
} // namespace

TEST (Processor, IdentityAndPrograms)
{
    ReverbAudioProcessor p;
    EXPECT_EQ (p.getName(), "Velmora mono in");
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    EXPECT_EQ (p.getLatencySamples(), 0);

    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getProgramName (0), "Default");
    EXPECT_EQ (p.getProgramName (1), "");
    EXPECT_EQ (p.getProgramName (-1), "");

    setRaw (p, "Room Size X", 7.0f);
    const auto before = stateOf (p);
    for (int index : { 0, 1, 5, -1 })
    {
        p.setCurrentProgram (index);
        p.changeProgramName (index, "renamed");
        EXPECT_EQ (p.getCurrentProgram(), 0);
    }
    EXPECT_EQ (p.getProgramName (0), "Default");
    EXPECT_EQ (stateOf (p), before);

    EXPECT_EQ (p.getBusCount (true), 1);
    EXPECT_EQ (p.getBusCount (false), 1);
    EXPECT_EQ (p.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (p.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (p.getMainBusNumInputChannels(), 1);
    EXPECT_EQ (p.getMainBusNumOutputChannels(), 2);
}

TEST (Processor, OnlyMonoInStereoOutIsAccepted)
{
    ReverbAudioProcessor p;
    for (const auto& c : testhelpers::layoutCases())
        EXPECT_EQ (p.checkBusesLayoutSupported (testhelpers::makeLayout (c.in, c.out)), c.accepted) << c.what;
}

TEST (Processor, ParametersInOrderWithRangesAndDefaults)
{
    ReverbAudioProcessor p;
    const auto& params = p.getParameters();
    const auto& table = testhelpers::parameterTable();
    ASSERT_EQ ((size_t) params.size(), table.size());

    for (size_t i = 0; i < table.size(); ++i)
    {
        const auto& row = table[i];
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (params[(int) i]);
        ASSERT_NE (ranged, nullptr);
        SCOPED_TRACE (row.id);
        EXPECT_EQ (ranged->getParameterID(), row.id);
        EXPECT_EQ (ranged->getName (100), row.id);
        EXPECT_EQ (ranged->getLabel(), "");
        EXPECT_TRUE (ranged->isAutomatable());
        EXPECT_FALSE (ranged->isMetaParameter());
        EXPECT_EQ (ranged->getVersionHint(), 0);

        const auto& range = ranged->getNormalisableRange();
        EXPECT_FLOAT_EQ (range.start, row.minimum);
        EXPECT_FLOAT_EQ (range.end, row.maximum);
        EXPECT_FLOAT_EQ (range.interval, row.interval);
        EXPECT_FLOAT_EQ (range.skew, row.skew);
        EXPECT_FALSE (range.symmetricSkew);
        EXPECT_FLOAT_EQ (raw (p, row.id), row.defaultValue);
    }

    auto* type = dynamic_cast<juce::AudioParameterChoice*> (p.apvts.getParameter ("Reverb type"));
    ASSERT_NE (type, nullptr);
    EXPECT_EQ (type->choices, (juce::StringArray { "XY", "MS with Cardio", "MS with Omni", "Binaural" }));
    EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (p.apvts.getParameter ("Update")), nullptr);
    EXPECT_EQ (raw (p, "Room Size Y"), 4.6999998f);
}

TEST (Processor, ValuesSnapToTheirInterval)
{
    ReverbAudioProcessor p;
    setRaw (p, "ListenerO", 12.4f);
    EXPECT_EQ (raw (p, "ListenerO"), 12.0f);
    setRaw (p, "Damping", 0.0504f);
    EXPECT_NEAR (raw (p, "Damping"), 0.05f, 1e-6f);

    param (p, "Damping").setValueNotifyingHost (0.5f);
    EXPECT_NEAR (raw (p, "Damping"), 0.103f, 1e-6f);

    param (p, "Reverb type").setValueNotifyingHost (1.0f);
    EXPECT_EQ (raw (p, "Reverb type"), 3.0f);
    EXPECT_EQ (param (p, "Reverb type").getCurrentValueAsText(), "Binaural");

    // Out-of-range requests clamp, never leave the range.
    setRaw (p, "Room Size X", 1000.0f);
    EXPECT_EQ (raw (p, "Room Size X"), 10.0f);
    param (p, "Room Size X").setValueNotifyingHost (-3.0f);
    EXPECT_EQ (raw (p, "Room Size X"), 1.0f);
}

TEST (Processor, StateRoundTripRestoresEveryValue)
{
    ReverbAudioProcessor source;
    const std::vector<std::pair<const char*, float>> changes {
        { "Room Size X", 6.25f }, { "Room Size Y", 2.5f }, { "ListenerX", 0.2f }, { "ListenerY", 0.9f },
        { "ListenerO", -135.0f }, { "SourceX", 0.33f }, { "SourceY", 0.1f }, { "Damping", 0.2f },
        { "HF Damping", 0.25f }, { "Stereo Width", 0.875f }, { "Direct Level", -12.5f },
        { "Reflections Level", 4.0f }, { "Reverb type", 3.0f }, { "Update", 0.0f },
    };
    for (auto [id, value] : changes)
        setRaw (source, id, value);

    // The state is appended to whatever the host's block already holds.
    juce::MemoryBlock block ("HOST", 4);
    source.getStateInformation (block);
    ASSERT_GT (block.getSize(), 4u);
    EXPECT_EQ (juce::String::fromUTF8 ((const char*) block.getData(), 4), "HOST");

    const auto tree = juce::ValueTree::readFromData ((const char*) block.getData() + 4, block.getSize() - 4);
    EXPECT_EQ (tree.getType().toString(), "Parameters");
    EXPECT_EQ (tree.getNumChildren(), 14);

    ReverbAudioProcessor restored;
    restored.setStateInformation ((const char*) block.getData() + 4, (int) block.getSize() - 4);
    for (const auto& row : testhelpers::parameterTable())
        EXPECT_EQ (raw (restored, row.id), raw (source, row.id)) << row.id;
    EXPECT_TRUE (restored.updateEnabled) << "the editor's flag is not state";
}

TEST (Processor, UnreadableStateChangesNothing)
{
    ReverbAudioProcessor p;
    setRaw (p, "Room Size X", 8.0f);
    setRaw (p, "Reverb type", 0.0f);
    const auto before = stateOf (p);

    ReverbAudioProcessor other;
    setRaw (other, "Room Size X", 2.0f);
    setRaw (other, "Damping", 0.5f);
    auto blobs = testhelpers::badStateBlobs (stateOf (other));

    // A tree of the right type whose value is not a finite number.
    juce::ValueTree nan ("Parameters");
    juce::ValueTree child ("PARAM");
    child.setProperty ("id", "Room Size X", nullptr);
    child.setProperty ("value", std::numeric_limits<double>::quiet_NaN(), nullptr);
    nan.appendChild (child, nullptr);
    juce::MemoryOutputStream nanStream;
    nan.writeToStream (nanStream);
    blobs.emplace_back ("NaN value", nanStream.getMemoryBlock());

    for (const auto& [what, blob] : blobs)
    {
        p.setStateInformation (blob.getData(), (int) blob.getSize());
        EXPECT_EQ (stateOf (p), before) << what;
    }
    p.setStateInformation (nullptr, 100);
    EXPECT_EQ (stateOf (p), before) << "null pointer";
}

