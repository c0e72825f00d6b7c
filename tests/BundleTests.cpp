// Loads the built VST3 bundle through JUCE's own VST3 hosting, as a host would.
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace
{
const juce::File bundle { VELMORA_VST3_BUNDLE };

struct Hosted
{
    juce::AudioPluginFormatManager formats;
    juce::PluginDescription description;
    std::unique_ptr<juce::AudioPluginInstance> instance;

    Hosted()
    {
        formats.addFormat (new juce::VST3PluginFormat());
        juce::OwnedArray<juce::PluginDescription> found;
        formats.getFormat (0)->findAllTypesForFile (found, bundle.getFullPathName());
        if (found.size() != 1)
            return;
        description = *found[0];
        juce::String error;
        instance = formats.createPluginInstance (description, 48000.0, 512, error);
    }

    juce::AudioProcessorParameter* param (int index) const { return instance->getParameters()[index]; }

    juce::MemoryBlock state() const
    {
        juce::MemoryBlock block;
        instance->getStateInformation (block);
        return block;
    }

    // The plug-in's own chunk inside the host's wrapper, read back as a value tree.
    juce::ValueTree pluginTree() const
    {
        const auto block = state();
        auto xml = juce::AudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
        if (xml == nullptr || xml->getChildByName ("IComponent") == nullptr)
            return {};
        juce::MemoryBlock chunk;
        chunk.fromBase64Encoding (xml->getChildByName ("IComponent")->getAllSubText());
        return juce::ValueTree::readFromData (chunk.getData(), chunk.getSize());
    }

    float plainValue (const char* id) const
    {
        return (float) pluginTree().getChildWithProperty ("id", id).getProperty ("value", -12345.0);
    }
};

// The host's wrapper around a component chunk of our choosing.
juce::MemoryBlock hostBlobWithChunk (const juce::MemoryBlock& chunk)
{
    juce::XmlElement xml ("VST3PluginState");
    xml.createNewChildElement ("IComponent")->addTextElement (chunk.toBase64Encoding());
    juce::MemoryBlock out;
    juce::AudioProcessor::copyXmlToBinary (xml, out);
    return out;
}
} // namespace

class Bundle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (bundle.isDirectory()) << bundle.getFullPathName();
        ASSERT_NE (hosted.instance, nullptr) << "the bundle did not load";
    }

    Hosted hosted;
};

TEST_F (Bundle, IdentityAsTheHostSeesIt)
{
    const auto& d = hosted.description;
    EXPECT_EQ (d.name, "Velmora mono in");
    EXPECT_EQ (d.manufacturerName, "Quarrendel");
    EXPECT_EQ (d.version, "0.0.4");
    EXPECT_EQ (d.category, "Fx|Reverb|Spatial|Stereo");
    EXPECT_EQ (d.pluginFormatName, "VST3");
    EXPECT_FALSE (d.isInstrument);
    EXPECT_EQ (hosted.instance->getName(), "Velmora mono in");
    EXPECT_EQ (hosted.instance->getBusCount (true), 1);
    EXPECT_EQ (hosted.instance->getBusCount (false), 1);
    EXPECT_EQ (hosted.instance->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (hosted.instance->getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (hosted.instance->getTotalNumInputChannels(), 1);
    EXPECT_EQ (hosted.instance->getTotalNumOutputChannels(), 2);
    EXPECT_FALSE (hosted.instance->acceptsMidi());
    EXPECT_FALSE (hosted.instance->producesMidi());
    EXPECT_EQ (hosted.instance->getLatencySamples(), 0);
}

TEST_F (Bundle, ModuleInfoListsTheThreeClasses)
{
    const auto file = bundle.getChildFile ("Contents/Resources/moduleinfo.json");
    ASSERT_TRUE (file.existsAsFile());
    const auto json = juce::JSON::parse (file);
    const auto* classes = json.getProperty ("Classes", {}).getArray();
    ASSERT_NE (classes, nullptr);

    const std::vector<std::pair<const char*, const char*>> expected {
        { "ABCDEF019182FAEB5A4F4C56515A3538", "Audio Module Class" },
        { "ABCDEF011234ABCD5A4F4C56515A3538", "Component Controller Class" },
        { "ABCDEF01C0DEF00D5A4F4C56515A3538", "Plugin Compatibility Class" },
    };
    ASSERT_EQ ((size_t) classes->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const auto& c = classes->getReference ((int) i);
        EXPECT_EQ (c.getProperty ("CID", {}).toString(), expected[i].first);
        EXPECT_EQ (c.getProperty ("Category", {}).toString(), expected[i].second);
        EXPECT_EQ (c.getProperty ("Name", {}).toString(), "Velmora mono in");
        EXPECT_EQ (c.getProperty ("Vendor", {}).toString(), "Quarrendel");
        EXPECT_EQ (c.getProperty ("Version", {}).toString(), "0.0.4");
        EXPECT_EQ (c.getProperty ("SDKVersion", {}).toString(), "VST 3.7.12");
    }
    EXPECT_EQ (json.getProperty ("Name", {}).toString(), "Velmora mono in");
    EXPECT_EQ (json.getProperty ("Factory Info", {}).getProperty ("Vendor", {}).toString(), "Quarrendel");
}

TEST_F (Bundle, BusLayouts)
{
    for (const auto& c : testhelpers::layoutCases())
        EXPECT_EQ (hosted.instance->checkBusesLayoutSupported (testhelpers::makeLayout (c.in, c.out)), c.accepted)
            << c.what;
}

TEST_F (Bundle, ParametersAsTheHostSeesThem)
{
    const auto& table = testhelpers::parameterTable();
    const auto& params = hosted.instance->getParameters();
    // VST3 requires a bypass parameter; JUCE's client adds its own after ours.
    ASSERT_EQ ((size_t) params.size(), table.size() + 1);
    EXPECT_EQ (params.getLast()->getName (100), "Bypass");

    for (size_t i = 0; i < table.size(); ++i)
    {
        const auto& row = table[i];
        auto* p = params[(int) i];
        SCOPED_TRACE (row.id);
        EXPECT_EQ (p->getName (100), row.id);
        EXPECT_TRUE (p->isAutomatable());
        const auto defaultNorm = juce::NormalisableRange<float> (row.minimum, row.maximum, row.interval, row.skew)
                                     .convertTo0to1 (row.defaultValue);
        EXPECT_NEAR (p->getDefaultValue(), defaultNorm, 1e-6f);
        EXPECT_NEAR (p->getValue(), defaultNorm, 1e-6f);
        EXPECT_NEAR (hosted.plainValue (row.id), row.defaultValue, 1e-6f);
    }

    // Normalised values reach the plug-in through its own mapping and snapping.
    struct Mapping { int index; float normalised; float plain; const char* text; };
    const std::vector<Mapping> mappings {
        { 12, 1.0f, 3.0f, "Binaural" },
        { 12, 0.0f, 0.0f, "XY" },
        { 4, (12.4f + 180.0f) / 360.0f, 12.0f, nullptr },
        { 7, 0.5f, 0.103f, nullptr },
        { 0, 0.5f, 5.5f, nullptr },
        { 13, 0.0f, 0.0f, nullptr },
    };
    for (const auto& m : mappings)
    {
        auto* p = params[m.index];
        p->setValueNotifyingHost (m.normalised);
        EXPECT_NEAR (hosted.plainValue (table[(size_t) m.index].id), m.plain, 1e-5f) << table[(size_t) m.index].id;
        if (m.text != nullptr)
            EXPECT_EQ (p->getCurrentValueAsText(), m.text);
    }
}

TEST_F (Bundle, StateRoundTripThroughTheHost)
{
    juce::Random rng (99);
    const auto& table = testhelpers::parameterTable();
    for (size_t i = 0; i < table.size(); ++i)
        hosted.param ((int) i)->setValueNotifyingHost (rng.nextFloat());
    const auto saved = hosted.state();
    const auto savedTree = hosted.pluginTree();
    ASSERT_TRUE (savedTree.isValid());

    Hosted fresh;
    ASSERT_NE (fresh.instance, nullptr);
    fresh.instance->setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_TRUE (fresh.pluginTree().isEquivalentTo (savedTree));

    // The host is told the restored values, snapped to their steps.
    for (size_t i = 0; i < table.size(); ++i)
    {
        const auto& row = table[i];
        const float plain = hosted.plainValue (row.id);
        EXPECT_NE (plain, row.defaultValue) << row.id;
        EXPECT_EQ (fresh.plainValue (row.id), plain) << row.id;
        const auto range = juce::NormalisableRange<float> (row.minimum, row.maximum, row.interval, row.skew);
        EXPECT_NEAR (fresh.param ((int) i)->getValue(), range.convertTo0to1 (plain), 1e-6f) << row.id;
    }
}

TEST_F (Bundle, CorruptStateChangesNothing)
{
    hosted.instance->getParameters()[0]->setValueNotifyingHost (0.75f);
    const auto before = hosted.pluginTree();

    Hosted other;
    ASSERT_NE (other.instance, nullptr);
    other.instance->getParameters()[0]->setValueNotifyingHost (0.1f);
    juce::MemoryOutputStream chunk;
    other.pluginTree().writeToStream (chunk);

    for (const auto& [what, blob] : testhelpers::badStateBlobs (chunk.getMemoryBlock()))
    {
        const auto hostBlob = hostBlobWithChunk (blob);
        hosted.instance->setStateInformation (hostBlob.getData(), (int) hostBlob.getSize());
        EXPECT_TRUE (hosted.pluginTree().isEquivalentTo (before)) << what;
    }
    // Garbage in the host's own wrapper too.
    const char junk[] = "not a state at all";
    hosted.instance->setStateInformation (junk, (int) sizeof (junk));
    EXPECT_TRUE (hosted.pluginTree().isEquivalentTo (before));
}

TEST_F (Bundle, MonoInputFlowsToBothChannels)
{
    auto& p = *hosted.instance;
    ASSERT_TRUE (p.setBusesLayout (testhelpers::makeLayout (juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo())));
    p.prepareToPlay (48000.0, 512);

    // Before any room is computed both paths pass the input: twice the input on
    // each channel, through the 15 Hz high-pass.
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    double inEnergy = 0.0, outEnergy[2] = {};
    for (int block = 0; block < 8; ++block)
    {
        buffer.clear();
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (0, i, 0.25f * std::sin (0.05f * (float) (i + block * 512)));
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            inEnergy += block >= 4 ? (double) buffer.getSample (0, i) * buffer.getSample (0, i) : 0.0;
        p.processBlock (buffer, midi);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                outEnergy[ch] += block >= 4 ? (double) buffer.getSample (ch, i) * buffer.getSample (ch, i) : 0.0;
    }
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_NEAR (outEnergy[ch] / inEnergy, 4.0, 0.08) << "channel " << ch;
    p.releaseResources();
}

namespace
{
// An impulse through the hosted plug-in, `length` samples of the response,
// played at the pace of real time as a host's playback would.
juce::AudioBuffer<float> renderImpulse (juce::AudioPluginInstance& p, int length, int block = 512)
{
    juce::AudioBuffer<float> out (2, length), buffer (2, block);
    juce::MidiBuffer midi;
    const auto start = juce::Time::getMillisecondCounterHiRes();
    for (int pos = 0; pos < length; pos += block)
    {
        const double due = start + 1000.0 * pos / p.getSampleRate();
        while (juce::Time::getMillisecondCounterHiRes() < due)
            juce::Thread::sleep (1);
        buffer.clear();
        if (pos == 0)
            buffer.setSample (0, 0, 1.0f);
        p.processBlock (buffer, midi);
        for (int ch = 0; ch < 2; ++ch)
            out.copyFrom (ch, pos, buffer, ch, 0, std::min (block, length - pos));
    }
    return out;
}

// Lets the plug-in's timer and workers run while the host keeps processing silence.
void keepPlaying (juce::AudioPluginInstance& p, int milliseconds)
{
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
    {
        buffer.clear();
        p.processBlock (buffer, midi);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }
}

double energy (const juce::AudioBuffer<float>& b, int ch, int from, int to)
{
    double e = 0.0;
    for (int i = from; i < to; ++i)
        e += (double) b.getSample (ch, i) * b.getSample (ch, i);
    return e;
}
} // namespace

TEST_F (Bundle, ReverberatesAnImpulseAndFollowsParameterChanges)
{
    auto& p = *hosted.instance;
    constexpr double rate = 48000.0;
    ASSERT_TRUE (p.setBusesLayout (testhelpers::makeLayout (juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo())));
    p.prepareToPlay (rate, 512);
    keepPlaying (p, 3000);

    // Default room: source 0.5 x 4.7 m = 2.35 m in front of the listener.
    const int length = (int) rate;
    const auto response = renderImpulse (p, length);
    int peak = 0;
    for (int i = 0; i < length; ++i)
        if (std::abs (response.getSample (0, i)) > std::abs (response.getSample (0, peak)))
            peak = i;
    const double directDelay = 2.35 / 340.0 * rate;
    EXPECT_GE (peak, (int) directDelay) << "direct sound too early";
    EXPECT_LE (peak, (int) (directDelay + 0.001 * rate) + 12) << "direct sound too late";

    // A tail that decays: each 100 ms holds less than the one before, and there is one.
    const int tenth = (int) (0.1 * rate);
    double previous = energy (response, 0, peak + 50, peak + 50 + tenth);
    EXPECT_GT (previous, 1e-4);
    for (int start = peak + 50 + tenth; start + tenth <= length; start += tenth)
    {
        const double e = energy (response, 0, start, start + tenth);
        EXPECT_LT (e, previous) << "at " << start;
        previous = e;
    }

    // A bigger room: the host moves "Room Size X" and, after a while, the response changes.
    p.getParameters()[0]->setValueNotifyingHost (1.0f);
    keepPlaying (p, 4000);
    const auto bigger = renderImpulse (p, length);
    double difference = 0.0;
    for (int i = 0; i < length; ++i)
        difference += std::abs (bigger.getSample (0, i) - response.getSample (0, i));
    EXPECT_GT (difference, 1.0);
    p.releaseResources();
}
