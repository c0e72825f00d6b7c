// The render tool run as a user would: exit status, one-line errors, files.
#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

namespace
{
struct Run
{
    int status;
    juce::String output;
};

Run runTool (const juce::StringArray& args)
{
    juce::StringArray command { VELMORA_RENDER_TOOL };
    command.addArray (args);
    juce::ChildProcess child;
    if (! child.start (command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return { -1, "could not start" };
    const auto output = child.readAllProcessOutput();
    child.waitForProcessToFinish (120000);
    return { (int) child.getExitCode(), output };
}

struct TempFolder
{
    juce::TemporaryFile holder;
    juce::File dir = holder.getFile();
    TempFolder() { dir.createDirectory(); }
    ~TempFolder() { dir.deleteRecursively(); }
};

std::unique_ptr<juce::AudioFormatReader> readWav (const juce::File& f)
{
    juce::WavAudioFormat wav;
    return std::unique_ptr<juce::AudioFormatReader> (wav.createReaderFor (f.createInputStream().release(), true));
}
} // namespace

TEST (RenderTool, BadInputFailsWithOneLineAndLeavesNothing)
{
    TempFolder tmp;
    const auto out = tmp.dir.getChildFile ("out.wav").getFullPathName();
    tmp.dir.getChildFile ("text.wav").replaceWithText ("this is no audio");
    struct Case { const char* what; juce::StringArray args; const char* message; };
    const Case cases[] = {
        { "missing input", { "--input", tmp.dir.getChildFile ("absent.wav").getFullPathName(), "--output", out }, "input file not found" },
        { "not a WAV", { "--input", tmp.dir.getChildFile ("text.wav").getFullPathName(), "--output", out }, "not a readable WAV file" },
        { "unknown ID", { "--set", "Room Size Z=3", "--output", out }, "unknown parameter ID \"Room Size Z\"" },
        { "out of range", { "--set", "Damping=2", "--output", out }, "\"Damping\" must be between" },
        { "not a number", { "--set", "Room Size X=big", "--output", out }, "is not a number" },
        { "bad choice", { "--set", "Reverb type=Surround", "--output", out }, "\"Reverb type\" must be one of" },
        { "unwritable output", { "--output", tmp.dir.getChildFile ("no/such/dir/out.wav").getFullPathName() }, "cannot write" },
        { "unknown option", { "--loud" }, "unknown option --loud" },
    };
    for (const auto& c : cases)
    {
        const auto r = runTool (c.args);
        EXPECT_NE (r.status, 0) << c.what;
        EXPECT_TRUE (r.output.startsWith ("velmora-render: error: ")) << c.what << ": " << r.output;
        EXPECT_TRUE (r.output.contains (c.message)) << c.what << ": " << r.output;
        EXPECT_EQ (r.output.trimEnd().indexOfChar ('\n'), -1) << c.what << ": one line";
        EXPECT_FALSE (juce::File (out).exists()) << c.what;
    }
    // Nothing partial left anywhere in the folder but the fixture.
    EXPECT_EQ (tmp.dir.getNumberOfChildFiles (juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles, "*"), 1);
    EXPECT_EQ (tmp.dir.getNumberOfChildFiles (juce::File::findFiles, ".*"), 0);
}

TEST (RenderTool, ImpulseAndInputRenders)
{
    TempFolder tmp;
    const auto ir = tmp.dir.getChildFile ("ir.wav"), png = tmp.dir.getChildFile ("ir.png");
    const auto r = runTool ({ "--impulse", "--rate", "44100", "--output", ir.getFullPathName(), "--png",
                              png.getFullPathName(), "--set", "Reverb type=Binaural", "--tail", "0.5" });
    ASSERT_EQ (r.status, 0) << r.output;
    EXPECT_TRUE (r.output.contains ("wrote " + ir.getFullPathName()));

    auto reader = readWav (ir);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->sampleRate, 44100.0);
    EXPECT_EQ (reader->numChannels, 2u);
    EXPECT_EQ (reader->lengthInSamples, 1 + 22050);
    juce::AudioBuffer<float> audio (2, (int) reader->lengthInSamples);
    reader->read (&audio, 0, audio.getNumSamples(), 0, true, true);
    // Direct sound after 2.35 m at 340 m/s, not at sample 0, and the ears differ.
    const int direct = (int) (2.35 / 340.0 * 44100.0);
    EXPECT_LT (audio.getMagnitude (0, 0, direct - 2), 0.01f);
    EXPECT_GT (audio.getMagnitude (0, direct, 200), 0.1f);
    EXPECT_GT (audio.getMagnitude (0, 4000, 4000), 1e-4f) << "a tail";
    float difference = 0.0f;
    for (int i = 0; i < audio.getNumSamples(); ++i)
        difference = std::max (difference, std::abs (audio.getSample (0, i) - audio.getSample (1, i)));
    EXPECT_GT (difference, 0.01f);

    juce::PNGImageFormat pngFormat;
    juce::FileInputStream pngStream (png);
    const auto image = pngFormat.decodeImage (pngStream);
    EXPECT_TRUE (image.isValid());

    // That response as input, with the direct path alone, comes out delayed once more.
    const auto out = tmp.dir.getChildFile ("out.wav");
    const auto again = runTool ({ "--input", ir.getFullPathName(), "--output", out.getFullPathName(), "--set",
                                  "Reflections Level=-90", "--tail", "0" });
    ASSERT_EQ (again.status, 0) << again.output;
    reader = readWav (out);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->lengthInSamples, 1 + 22050);
}
