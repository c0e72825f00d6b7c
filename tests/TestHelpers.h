#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace testhelpers
{
// One row per parameter, in the order the host sees them.
struct ParameterRow
{
    const char* id;
    float minimum, maximum, interval, skew, defaultValue;
};

inline const std::vector<ParameterRow>& parameterTable()
{
    static const std::vector<ParameterRow> rows {
        { "Room Size X", 1.0f, 10.0f, 0.01f, 1.0f, 3.0f },
        { "Room Size Y", 1.0f, 10.0f, 0.01f, 1.0f, 4.7f },
        { "ListenerX", 0.01f, 0.99f, 0.01f, 1.0f, 0.5f },
        { "ListenerY", 0.01f, 0.99f, 0.01f, 1.0f, 0.25f },
        { "ListenerO", -180.0f, 180.0f, 1.0f, 1.0f, 0.0f },
        { "SourceX", 0.01f, 0.99f, 0.01f, 1.0f, 0.5f },
        { "SourceY", 0.01f, 0.99f, 0.01f, 1.0f, 0.75f },
        { "Damping", 0.005f, 0.99f, 0.001f, 0.3f, 0.05f },
        { "HF Damping", 0.01f, 0.3f, 0.001f, 0.3f, 0.1f },
        { "Stereo Width", 0.0f, 1.0f, 0.001f, 1.0f, 0.5f },
        { "Direct Level", -90.0f, 6.0f, 0.1f, 1.0f, 0.0f },
        { "Reflections Level", -90.0f, 6.0f, 0.1f, 1.0f, 0.0f },
        { "Reverb type", 0.0f, 3.0f, 1.0f, 1.0f, 1.0f },
        { "Update", 0.0f, 1.0f, 1.0f, 1.0f, 1.0f },
    };
    return rows;
}

inline juce::AudioProcessor::BusesLayout makeLayout (juce::AudioChannelSet in, juce::AudioChannelSet out)
{
    juce::AudioProcessor::BusesLayout layout;
    if (! in.isDisabled())
        layout.inputBuses.add (in);
    if (! out.isDisabled())
        layout.outputBuses.add (out);
    return layout;
}

// A layout a host might propose, and whether the plug-in must take it.
struct LayoutCase
{
    const char* what;
    juce::AudioChannelSet in, out;
    bool accepted;
};

inline std::vector<LayoutCase> layoutCases()
{
    using S = juce::AudioChannelSet;
    return { { "mono in, stereo out", S::mono(), S::stereo(), true },
             { "stereo in, stereo out", S::stereo(), S::stereo(), false },
             { "mono in, mono out", S::mono(), S::mono(), false },
             { "no input, stereo out", S::disabled(), S::stereo(), false },
             { "mono in, no output", S::mono(), S::disabled(), false },
             { "mono in, 5.1 out", S::mono(), S::create5point1(), false } };
}

// State blobs that must change nothing.
inline std::vector<std::pair<const char*, juce::MemoryBlock>> badStateBlobs (const juce::MemoryBlock& valid)
{
    std::vector<std::pair<const char*, juce::MemoryBlock>> blobs;
    blobs.emplace_back ("empty", juce::MemoryBlock());

    juce::MemoryBlock noise (4096);
    juce::Random rng (1234);
    for (size_t i = 0; i < noise.getSize(); ++i)
        noise[i] = (char) rng.nextInt (256);
    blobs.emplace_back ("random bytes", noise);

    for (auto fraction : { 0.1, 0.5, 0.9 })
        blobs.emplace_back ("truncated", juce::MemoryBlock (valid.getData(), (size_t) ((double) valid.getSize() * fraction)));

    juce::ValueTree other ("Preset");
    other.setProperty ("Room Size X", 9.0, nullptr);
    juce::MemoryOutputStream otherStream;
    other.writeToStream (otherStream);
    blobs.emplace_back ("valid tree of another type", otherStream.getMemoryBlock());
    return blobs;
}
} // namespace testhelpers
