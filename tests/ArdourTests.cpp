// End to end in a real DAW: Ardour 7, headless, loads the built bundle, renders a
// click through it, saves and reloads the session and renders again.
#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

namespace
{
constexpr double rate = 48000.0;
constexpr int clickAt = 4800; // 0.1 s
constexpr float clickLevel = 0.5f;
constexpr juce::int64 superclocksPerSecond = 282240000;
const juce::File ardourLibs ("/usr/lib/ardour7");

struct Run
{
    int status;
    juce::String output;
};

class Ardour
{
public:
    Ardour()
    {
        home.createDirectory();
        // A private home, so nothing touches the user's configuration.
        const auto bundle = juce::File (VELMORA_VST3_BUNDLE);
        installed = home.getChildFile (".vst3").getChildFile (bundle.getFileName());
        installed.getParentDirectory().createDirectory();
        bundle.copyDirectoryTo (installed);
        // Ardour trusts a scan only if the cache is newer than the plug-in.
        const auto past = juce::Time::getCurrentTime() - juce::RelativeTime::hours (1);
        for (const auto& entry : juce::RangedDirectoryIterator (installed, true, "*", juce::File::findFilesAndDirectories))
            entry.getFile().setLastModificationTime (past);
        installed.setLastModificationTime (past);
    }

    ~Ardour() { home.deleteRecursively(); }

    // Every command runs under coreutils' timeout: reading a child's output
    // waits for it to end, so a hung child must be ended from outside.
    Run run (const juce::StringArray& command, int timeoutSeconds = 120) const
    {
        juce::StringArray full { "/usr/bin/timeout", "-k", "5", juce::String (timeoutSeconds), "/usr/bin/env",
                                 "HOME=" + home.getFullPathName(), "LD_LIBRARY_PATH=" + ardourLibs.getFullPathName() };
        full.addArray (command);
        juce::ChildProcess child;
        if (! child.start (full))
            return { -1, "could not start " + command[0] };
        const auto output = child.readAllProcessOutput();
        child.waitForProcessToFinish (10000);
        return { (int) child.getExitCode(), output };
    }

    Run scan() const { return run ({ ardourLibs.getChildFile ("ardour-vst3-scanner").getFullPathName(), "-f", installed.getFullPathName() }); }

    Run lua (const char* script, juce::StringArray args) const
    {
        args.insert (0, juce::File (VELMORA_ARDOUR_SCRIPTS).getChildFile (script).getFullPathName());
        args.insert (0, "ardour7-lua");
        return run (args);
    }

    // Ardour 7.3's export now and then hangs as it starts (its butler waiting on
    // the dummy engine, our plug-in idle); a hung export is killed and retried.
    Run exportSession (const juce::File& dir, const juce::File& out) const
    {
        Run result { -1, {} };
        for (int attempt = 0; attempt < 4; ++attempt)
        {
            out.deleteFile();
            result = run ({ "ardour7-export", "-b", "float", "-o", out.getFullPathName(), dir.getFullPathName(),
                            dir.getFileName() }, 30);
            if (result.status != 124 && result.status != 137)
                break;
        }
        return result;
    }

    juce::File home = juce::File::createTempFile ("ardour-home");
    juce::File installed;
};

// Ardour 7.3's Lua cannot import audio headless: place the click on the track by
// editing the saved session, as an import would have left it.
bool addClickRegion (const juce::File& dir, int lengthSamples)
{
    const auto name = dir.getFileName();
    const auto audio = dir.getChildFile ("interchange").getChildFile (name).getChildFile ("audiofiles").getChildFile ("click.wav");
    {
        juce::AudioBuffer<float> click (1, lengthSamples);
        click.clear();
        click.setSample (0, clickAt, clickLevel);
        juce::WavAudioFormat wav;
        auto stream = audio.createOutputStream();
        if (stream == nullptr)
            return false;
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.release(), rate, 1, 32, {}, 0));
        if (writer == nullptr || ! writer->writeFromAudioSampleBuffer (click, 0, lengthSamples))
            return false;
    }

    const auto sessionFile = dir.getChildFile (name + ".ardour");
    auto session = juce::XmlDocument::parse (sessionFile);
    if (session == nullptr)
        return false;

    const juce::String length = "a" + juce::String ((juce::int64) lengthSamples * superclocksPerSecond / (juce::int64) rate);
    const auto region = [&] (const char* regionName, bool wholeFile, const char* id)
    {
        auto r = std::make_unique<juce::XmlElement> ("Region");
        const std::pair<const char*, juce::String> attributes[] = {
            { "name", regionName }, { "position", "a0" }, { "length", length + "@a0" }, { "stretch", "1" }, { "muted", "0" },
            { "opaque", "1" }, { "locked", "0" }, { "video-locked", "0" }, { "automatic", "0" },
            { "whole-file", wholeFile ? "1" : "0" }, { "import", "0" }, { "external", "0" }, { "sync-marked", "0" },
            { "left-of-split", "0" }, { "right-of-split", "0" }, { "hidden", "0" }, { "position-locked", "0" },
            { "valid-transients", "0" }, { "start", "a0" }, { "sync-position", "a0" }, { "ancestral-start", "a0" },
            { "ancestral-length", "a0@a0" }, { "shift", "1" }, { "layering-index", "0" }, { "tags", "" },
            { "reg-group", "-1" }, { "contents", "0" }, { "id", id }, { "type", "audio" }, { "scale-amplitude", "1" },
            { "envelope-active", "0" }, { "default-fade-in", "0" }, { "default-fade-out", "0" }, { "fade-in-active", "1" },
            { "fade-out-active", "1" }, { "channels", "1" }, { "source-0", "900001" }, { "master-source-0", "900001" },
        };
        for (const auto& [key, value] : attributes)
            r->setAttribute (key, value);
        return r;
    };

    auto* sources = session->getChildByName ("Sources");
    auto* regions = session->getChildByName ("Regions");
    auto* locations = session->getChildByName ("Locations");
    auto* playlists = session->getChildByName ("Playlists");
    if (sources == nullptr || regions == nullptr || locations == nullptr || playlists == nullptr)
        return false;
    auto* playlist = playlists->getChildByAttribute ("name", "click");
    if (playlist == nullptr)
        return false;

    auto* source = sources->createNewChildElement ("Source");
    for (const auto& [key, value] : { std::pair<const char*, const char*> { "name", "click.wav" }, { "type", "audio" },
                                      { "flags", "" }, { "id", "900001" }, { "captured-for", "" }, { "channel", "0" },
                                      { "origin", "" }, { "gain", "1" } })
        source->setAttribute (key, value);
    regions->addChildElement (region ("click", true, "900002").release());
    playlist->addChildElement (region ("click.1", false, "900003").release());
    auto* range = locations->createNewChildElement ("Location");
    for (const auto& [key, value] : { std::pair<const char*, juce::String> { "id", "900004" }, { "name", "session" },
                                      { "start", "a0" }, { "end", length }, { "flags", "IsSessionRange" },
                                      { "locked", "0" }, { "timestamp", "1" }, { "cue", "0" } })
        range->setAttribute (key, value);
    return session->writeTo (sessionFile);
}

juce::AudioBuffer<float> readRender (const juce::File& file)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
    if (reader == nullptr)
        return {};
    juce::AudioBuffer<float> audio ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (&audio, 0, audio.getNumSamples(), 0, true, true);
    return audio;
}

const juce::XmlElement* findControllable (const juce::XmlElement& x, const juce::String& name)
{
    if (x.hasTagName ("Controllable") && x.getStringAttribute ("name") == name)
        return &x;
    for (auto* child : x.getChildIterator())
        if (auto* found = findControllable (*child, name))
            return found;
    return nullptr;
}

// Energy per 50 ms window, in dB.
std::vector<double> envelope (const juce::AudioBuffer<float>& audio, int channel)
{
    const int window = (int) (0.05 * rate);
    std::vector<double> db;
    for (int start = 0; start + window <= audio.getNumSamples(); start += window)
    {
        double e = 0.0;
        for (int i = start; i < start + window; ++i)
            e += (double) audio.getSample (channel, i) * audio.getSample (channel, i);
        db.push_back (10.0 * std::log10 (e + 1e-20));
    }
    return db;
}
} // namespace

TEST (Ardour, RendersSavesReloadsAndRendersAgain)
{
    ASSERT_TRUE (ardourLibs.getChildFile ("ardour-vst3-scanner").existsAsFile()) << "Ardour 7 is not installed";
    Ardour ardour;
    const auto scan = ardour.scan();
    ASSERT_EQ (scan.status, 0) << scan.output;

    // "Reverb type" is parameter 12; Ardour speaks normalised values: 1/3 is
    // "MS with Cardio", the default, and 1 is "Binaural".
    struct Case { const char* name; juce::StringArray parameter; double reverbType; bool channelsDiffer; };
    const Case cases[] = { { "defaults", {}, 1.0 / 3.0, false }, { "binaural", { "12", "1.0" }, 1.0, true } };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto dir = ardour.home.getChildFile (c.name);
        juce::StringArray args { dir.getFullPathName(), c.name, juce::String ((int) rate) };
        args.addArray (c.parameter);
        const auto created = ardour.lua ("create_session.lua", args);
        ASSERT_TRUE (created.output.contains ("session created")
                     && dir.getChildFile (juce::String (c.name) + ".ardour").existsAsFile()) << created.output;
        ASSERT_TRUE (addClickRegion (dir, (int) (2.0 * rate)));

        const auto first = dir.getChildFile ("first.wav"), second = dir.getChildFile ("second.wav");
        const auto exported = ardour.exportSession (dir, first);
        ASSERT_EQ (exported.status, 0) << exported.output;
        const auto resaved = ardour.lua ("resave_session.lua", { dir.getFullPathName(), c.name });
        ASSERT_TRUE (resaved.output.contains ("session saved")) << resaved.output;
        ASSERT_EQ (ardour.exportSession (dir, second).status, 0);

        // The setting survived the save and reload, as the session now holds it.
        const auto saved = juce::XmlDocument::parse (dir.getChildFile (juce::String (c.name) + ".ardour"));
        ASSERT_NE (saved, nullptr);
        const auto* reverbType = findControllable (*saved, "Reverb type");
        ASSERT_NE (reverbType, nullptr);
        EXPECT_NEAR (reverbType->getDoubleAttribute ("value"), c.reverbType, 1e-6);

        const auto a = readRender (first), b = readRender (second);
        ASSERT_EQ (a.getNumChannels(), 2);
        ASSERT_EQ (a.getNumSamples(), (int) (2.0 * rate));
        ASSERT_EQ (b.getNumSamples(), a.getNumSamples());

        // The direct sound: 2.35 m away (default positions), one arrival spread of
        // at most 1 ms, and the receiver's own peak: the one-pole 10 samples late,
        // the head-related response straight ahead about 14; at 1/distance.
        const int earliest = clickAt + (int) (2.35 / 340.0 * rate);
        EXPECT_LT (a.getMagnitude (0, clickAt, earliest - clickAt), 0.01f) << "dry click or early sound";
        const int latest = earliest + (int) (0.001 * rate) + (c.channelsDiffer ? 20 : 12);
        int peak = earliest;
        for (int i = earliest; i <= latest; ++i)
            if (std::abs (a.getSample (0, i)) > std::abs (a.getSample (0, peak)))
                peak = i;
        if (c.channelsDiffer)
            EXPECT_GT (std::abs (a.getSample (0, peak)), 0.05f) << "no direct sound";
        else
            EXPECT_NEAR (a.getSample (0, peak), clickLevel * 0.942128f / 2.35f, 0.01f);

        // A tail that decays.
        const auto env = envelope (a, 0);
        const size_t directWindow = (size_t) (peak / (0.05 * rate));
        EXPECT_GT (env[directWindow + 2], -60.0) << "no tail";
        for (size_t w = directWindow + 2; w + 1 < env.size() && env[w + 1] > -150.0; ++w)
            EXPECT_LT (env[w + 1], env[w] + 1.0) << "window " << w;

        float difference = 0.0f;
        for (int i = 0; i < a.getNumSamples(); ++i)
            difference = std::max (difference, std::abs (a.getSample (0, i) - a.getSample (1, i)));
        if (c.channelsDiffer)
            EXPECT_GT (difference, 0.01f);

        // After the reload: the same room, apart from each image's random arrival offset.
        for (int ch = 0; ch < 2; ++ch)
        {
            // Deep in the tail few arrivals share a window and their random
            // offsets move its energy more: 1.5 dB near the top, 3 dB further down.
            const auto before = envelope (a, ch), after = envelope (b, ch);
            const double loudest = *std::max_element (before.begin(), before.end());
            for (size_t w = 0; w < before.size(); ++w)
                if (before[w] > -70.0)
                    EXPECT_NEAR (after[w], before[w], before[w] > loudest - 40.0 ? 1.5 : 3.0)
                        << "channel " << ch << " window " << w;
        }
    }
}
