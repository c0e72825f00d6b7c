// Renders audio through the plug-in offline, as a host's bounce would.
//
//   velmora-render [--input in.wav] [--output out.wav] [--rate Hz] [--block n]
//                  [--set "ID=value"]... [--impulse] [--png picture.png]
//                  [--tail seconds] [--timeout seconds] [--verbose]
//
// Without --input a built-in dry test signal is rendered. --impulse renders the
// plug-in's impulse response instead, and --png draws its energy decay.

#include "PluginProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

namespace
{
struct Failure
{
    juce::String message;
};

[[noreturn]] void fail (const juce::String& message) { throw Failure { message }; }

struct Options
{
    juce::File input, output { juce::File::getCurrentWorkingDirectory().getChildFile ("velmora-render.wav") }, png;
    std::optional<double> rate;
    int block = 512;
    std::vector<std::pair<juce::String, juce::String>> settings;
    bool impulse = false, verbose = false;
    double tailSeconds = -1.0, timeoutSeconds = 120.0;
};

const char* usage =
    "usage: velmora-render [--input in.wav] [--output out.wav] [--rate Hz] [--block n]\n"
    "                      [--set \"ID=value\"]... [--impulse] [--png picture.png]\n"
    "                      [--tail seconds] [--timeout seconds] [--verbose]\n";

double number (const juce::String& text, const juce::String& what)
{
    const auto trimmed = text.trim();
    if (trimmed.isEmpty() || ! trimmed.containsOnly ("0123456789.-+eE"))
        fail (what + " is not a number: \"" + text + "\"");
    return trimmed.getDoubleValue();
}

Options parse (int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg (argv[i]);
        const auto value = [&]() -> juce::String
        {
            if (i + 1 >= argc)
                fail (arg + " needs a value");
            return juce::String (argv[++i]);
        };
        const auto path = [&] { return juce::File::getCurrentWorkingDirectory().getChildFile (value()); };

        if (arg == "--input")
            o.input = path();
        else if (arg == "--output")
            o.output = path();
        else if (arg == "--png")
            o.png = path();
        else if (arg == "--rate")
            o.rate = number (value(), "--rate");
        else if (arg == "--block")
            o.block = (int) number (value(), "--block");
        else if (arg == "--tail")
            o.tailSeconds = number (value(), "--tail");
        else if (arg == "--timeout")
            o.timeoutSeconds = number (value(), "--timeout");
        else if (arg == "--set")
        {
            const auto setting = value();
            if (! setting.contains ("="))
                fail ("--set wants \"ID=value\", got \"" + setting + "\"");
            o.settings.emplace_back (setting.upToFirstOccurrenceOf ("=", false, false).trim(),
                                     setting.fromFirstOccurrenceOf ("=", false, false).trim());
        }
        else if (arg == "--impulse")
            o.impulse = true;
        else if (arg == "--verbose")
            o.verbose = true;
        else if (arg == "--help" || arg == "-h")
        {
            std::printf ("%s", usage);
            std::exit (0);
        }
        else
            fail ("unknown option " + arg);
    }
    if (o.rate && ! (*o.rate >= 8000.0 && *o.rate <= 384000.0))
        fail ("--rate must be between 8000 and 384000 Hz");
    if (o.block < 1 || o.block > 65536)
        fail ("--block must be between 1 and 65536");
    if (o.tailSeconds > 60.0)
        fail ("--tail must be at most 60 seconds");
    if (o.timeoutSeconds <= 0.0)
        fail ("--timeout must be positive");
    if (o.impulse && o.input != juce::File())
        fail ("--impulse and --input exclude each other");
    if (o.png != juce::File() && ! o.impulse)
        fail ("--png draws an impulse response: add --impulse");
    return o;
}

// Sets one parameter by ID from text: a number in range, a choice's name or
// index, or on/off for switches.
void applySetting (ReverbAudioProcessor& p, const juce::String& id, const juce::String& text)
{
    auto* param = p.apvts.getParameter (id);
    if (param == nullptr)
        fail ("unknown parameter ID \"" + id + "\"");

    float plain = 0.0f;
    if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (param))
    {
        const int index = choice->choices.indexOf (text, true);
        if (index >= 0)
            plain = (float) index;
        else
        {
            const bool isIndex = text.trim().isNotEmpty() && text.trim().containsOnly ("0123456789");
            plain = isIndex ? (float) text.getIntValue() : -1.0f;
            if (plain < 0.0f || plain >= (float) choice->choices.size())
                fail ("\"" + id + "\" must be one of " + choice->choices.joinIntoString (", ") + " (or 0 to "
                      + juce::String (choice->choices.size() - 1) + ")");
        }
    }
    else if (dynamic_cast<juce::AudioParameterBool*> (param) != nullptr)
    {
        const auto lower = text.toLowerCase();
        if (lower == "on" || lower == "true" || lower == "1")
            plain = 1.0f;
        else if (lower == "off" || lower == "false" || lower == "0")
            plain = 0.0f;
        else
            fail ("\"" + id + "\" must be on or off");
    }
    else
    {
        const auto& range = param->getNormalisableRange();
        plain = (float) number (text, "\"" + id + "\"");
        if (plain < range.start || plain > range.end)
            fail ("\"" + id + "\" must be between " + juce::String (range.start) + " and " + juce::String (range.end));
    }
    param->setValueNotifyingHost (param->convertTo0to1 (plain));
}

// The built-in dry signal: a few claps and a short plucked phrase, 4 seconds.
juce::AudioBuffer<float> builtInSignal (double rate)
{
    const int length = (int) (4.0 * rate);
    juce::AudioBuffer<float> signal (1, length);
    signal.clear();
    auto* x = signal.getWritePointer (0);
    juce::Random noise (2024);

    for (double at : { 0.0, 0.5, 1.0 })
        for (int i = 0; i < (int) (0.03 * rate); ++i)
        {
            const auto n = (int) (at * rate) + i;
            x[n] += 0.5f * (noise.nextFloat() * 2.0f - 1.0f) * std::exp (-(float) i / (float) (0.004 * rate));
        }

    const double notes[] = { 261.63, 329.63, 392.0, 523.25, 392.0 };
    for (int k = 0; k < 5; ++k)
    {
        const int start = (int) ((1.6 + 0.35 * k) * rate);
        for (int i = 0; i < (int) (0.6 * rate) && start + i < length; ++i)
        {
            const double t = i / rate;
            const double env = std::exp (-t * 7.0) * std::min (1.0, t * 400.0);
            x[start + i] += (float) (0.35 * env
                                     * (std::sin (2.0 * juce::MathConstants<double>::pi * notes[k] * t)
                                        + 0.3 * std::sin (4.0 * juce::MathConstants<double>::pi * notes[k] * t)));
        }
    }
    return signal;
}

juce::AudioBuffer<float> readInput (const juce::File& file, double& rate)
{
    if (! file.existsAsFile())
        fail ("input file not found: " + file.getFullPathName());
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
    if (reader == nullptr)
        fail ("not a readable WAV file: " + file.getFullPathName());
    if (reader->lengthInSamples > (juce::int64) (600.0 * reader->sampleRate))
        fail ("input longer than 10 minutes: " + file.getFullPathName());

    const int length = (int) reader->lengthInSamples;
    const int channels = (int) reader->numChannels;
    juce::AudioBuffer<float> all (channels, length), mono (1, length);
    if (! reader->read (&all, 0, length, 0, true, true))
        fail ("could not read the samples of " + file.getFullPathName());
    // The plug-in takes one channel: several are mixed down.
    mono.clear();
    for (int ch = 0; ch < channels; ++ch)
        mono.addFrom (0, 0, all, ch, 0, length, 1.0f / (float) channels);
    rate = reader->sampleRate;
    return mono;
}

// Writes next to the destination first, so that a failure leaves nothing behind.
void writeWav (const juce::File& destination, const juce::AudioBuffer<float>& audio, double rate)
{
    const auto temporary = destination.getSiblingFile ("." + destination.getFileName() + ".partial");
    {
        auto stream = std::make_unique<juce::FileOutputStream> (temporary);
        if (! stream->openedOk() || ! stream->setPosition (0) || ! stream->truncate().wasOk())
        {
            temporary.deleteFile();
            fail ("cannot write " + destination.getFullPathName());
        }
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (
            wav.createWriterFor (stream.get(), rate, (unsigned int) audio.getNumChannels(), 32, {}, 0));
        if (writer == nullptr)
        {
            temporary.deleteFile();
            fail ("cannot write a WAV file at " + juce::String (rate) + " Hz");
        }
        stream.release();
        const bool written = writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples()) && writer->flush();
        writer.reset();
        if (! written)
        {
            temporary.deleteFile();
            fail ("cannot write " + destination.getFullPathName());
        }
    }
    if (! temporary.moveFileTo (destination))
    {
        temporary.deleteFile();
        fail ("cannot write " + destination.getFullPathName());
    }
}

// Energy decay (backward-integrated energy) of each channel in dB, with the
// direct sound's arrival marked.
void writeDecayPicture (const juce::File& destination, const juce::AudioBuffer<float>& response, double rate)
{
    const int width = 900, height = 420, left = 60, right = 20, top = 30, bottom = 40;
    juce::Image image (juce::Image::RGB, width, height, true);
    juce::Graphics g (image);
    g.fillAll (juce::Colour (0xff14181c));

    const int length = response.getNumSamples();
    const double seconds = length / rate;
    const float plotW = (float) (width - left - right), plotH = (float) (height - top - bottom);
    const float floorDb = -80.0f;
    const auto x = [&] (double t) { return (float) left + plotW * (float) (t / seconds); };
    const auto y = [&] (float db) { return (float) top + plotH * juce::jlimit (0.0f, 1.0f, db / floorDb); };

    g.setFont (juce::FontOptions (13.0f));
    for (int db = 0; db >= (int) floorDb; db -= 20)
    {
        g.setColour (juce::Colours::white.withAlpha (0.12f));
        g.drawHorizontalLine ((int) y ((float) db), (float) left, (float) (width - right));
        g.setColour (juce::Colours::white.withAlpha (0.7f));
        g.drawText (juce::String (db) + " dB", 0, (int) y ((float) db) - 8, left - 6, 16, juce::Justification::centredRight);
    }
    const double step = seconds > 4.0 ? 1.0 : seconds > 1.0 ? 0.5 : 0.1;
    for (double t = 0.0; t <= seconds + 1e-9; t += step)
    {
        g.setColour (juce::Colours::white.withAlpha (0.12f));
        g.drawVerticalLine ((int) x (t), (float) top, (float) (height - bottom));
        g.setColour (juce::Colours::white.withAlpha (0.7f));
        g.drawText (juce::String (t, step < 1.0 ? 1 : 0) + " s", (int) x (t) - 30, height - bottom + 6, 60, 16,
                    juce::Justification::centred);
    }

    int directAt = 0;
    const juce::Colour colours[] = { juce::Colour (0xff4fc3f7), juce::Colour (0xffffb74d) };
    for (int ch = 0; ch < juce::jmin (2, response.getNumChannels()); ++ch)
    {
        const float* r = response.getReadPointer (ch);
        std::vector<double> remaining ((size_t) length + 1, 0.0);
        for (int i = length - 1; i >= 0; --i)
            remaining[(size_t) i] = remaining[(size_t) i + 1] + (double) r[i] * r[i];
        const double total = juce::jmax (remaining[0], 1e-30);

        juce::Path curve;
        const int points = (int) plotW;
        for (int k = 0; k <= points; ++k)
        {
            const int i = juce::jmin (length - 1, (int) ((double) k / points * length));
            const float db = (float) (10.0 * std::log10 (juce::jmax (remaining[(size_t) i] / total, 1e-12)));
            const auto px = x ((double) i / rate), py = y (db);
            k == 0 ? curve.startNewSubPath (px, py) : curve.lineTo (px, py);
        }
        g.setColour (colours[ch]);
        g.strokePath (curve, juce::PathStrokeType (2.0f));
        g.drawText (ch == 0 ? "left" : "right", width - right - 120 + 60 * ch, 6, 56, 16, juce::Justification::centred);

        if (ch == 0)
            directAt = (int) (std::max_element (r, r + length, [] (float a, float b) { return std::abs (a) < std::abs (b); }) - r);
    }

    g.setColour (juce::Colours::white);
    const float dx = x ((double) directAt / rate);
    g.drawVerticalLine ((int) dx, (float) top, (float) (height - bottom));
    g.drawText ("direct sound " + juce::String (1000.0 * directAt / rate, 1) + " ms", (int) dx + 4, top + 4, 200, 16,
                juce::Justification::centredLeft);
    g.drawText ("Energy decay", left, 6, 200, 16, juce::Justification::centredLeft);

    const auto temporary = destination.getSiblingFile ("." + destination.getFileName() + ".partial");
    temporary.deleteFile();
    bool written = false;
    {
        juce::FileOutputStream stream (temporary);
        juce::PNGImageFormat png;
        written = stream.openedOk() && png.writeImageToStream (image, stream);
    }
    if (! written || ! temporary.moveFileTo (destination))
    {
        temporary.deleteFile();
        fail ("cannot write " + destination.getFullPathName());
    }
}

int run (const Options& o)
{
    double rate = o.rate.value_or (48000.0);
    juce::AudioBuffer<float> input;
    if (o.input != juce::File())
    {
        double fileRate = 0.0;
        input = readInput (o.input, fileRate);
        if (o.rate && *o.rate != fileRate)
            fail ("the input is at " + juce::String (fileRate) + " Hz; resample it or leave --rate out");
        rate = fileRate;
    }
    else if (! o.impulse)
        input = builtInSignal (rate);

    // The output must be writable before minutes of work go into it.
    for (const auto& file : { o.output, o.png })
        if (file != juce::File() && ! file.getParentDirectory().isDirectory())
            fail ("cannot write " + file.getFullPathName() + ": no such folder");

    ReverbAudioProcessor processor;
    for (const auto& [id, value] : o.settings)
        applySetting (processor, id, value);

    processor.setNonRealtime (true);
    processor.setPlayConfigDetails (1, 2, rate, o.block);
    processor.prepareToPlay (rate, o.block);

    // Compute the room first, showing progress; the render then starts with it in use.
    const auto request = processor.makeRequest();
    processor.roomIr.calculate (request);
    const auto start = juce::Time::getMillisecondCounterHiRes();
    while (! processor.roomIr.isIdle())
    {
        if (juce::Time::getMillisecondCounterHiRes() - start > o.timeoutSeconds * 1000.0)
            fail ("the room took longer than " + juce::String (o.timeoutSeconds) + " s to compute");
        std::fprintf (stderr, "\rcomputing the room: %3d %%", (int) (100.0f * processor.roomIr.getProgress()));
        juce::Thread::sleep (100);
    }
    std::fprintf (stderr, "\rcomputing the room: done in %.1f s\n", (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0);

    const auto plan = BoxRoomIR::planWork (request, 1, processor.roomIr.getHrtfSize());
    const double tail = o.tailSeconds >= 0.0 ? o.tailSeconds : juce::jmin (30.0, plan.reflectionsLength / rate);
    const int inputLength = o.impulse ? 1 : input.getNumSamples();
    const int length = inputLength + (int) (tail * rate);

    juce::AudioBuffer<float> output (2, length), block (2, o.block);
    juce::MidiBuffer midi;
    for (int pos = 0; pos < length; pos += o.block)
    {
        const int n = juce::jmin (o.block, length - pos);
        juce::AudioBuffer<float> piece (block.getArrayOfWritePointers(), 2, n);
        piece.clear();
        if (o.impulse && pos == 0)
            piece.setSample (0, 0, 1.0f);
        else if (! o.impulse && pos < inputLength)
            piece.copyFrom (0, 0, input, 0, pos, juce::jmin (n, inputLength - pos));
        processor.processBlock (piece, midi);
        for (int ch = 0; ch < 2; ++ch)
            output.copyFrom (ch, pos, piece, ch, 0, n);
    }

    writeWav (o.output, output, rate);
    std::printf ("wrote %s (%.2f s, %.0f Hz, stereo, 32-bit float)\n", o.output.getFullPathName().toRawUTF8(),
                 length / rate, rate);
    if (o.png != juce::File())
    {
        writeDecayPicture (o.png, output, rate);
        std::printf ("wrote %s\n", o.png.getFullPathName().toRawUTF8());
    }
    return 0;
}

struct NullBuffer final : std::streambuf
{
    int overflow (int c) override { return c; }
};
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    NullBuffer quiet;
    std::streambuf* console = std::cout.rdbuf();
    try
    {
        const auto options = parse (argc, argv);
        // The engine's diagnostic lines only with --verbose.
        if (! options.verbose)
            std::cout.rdbuf (&quiet);
        const int status = run (options);
        std::cout.rdbuf (console);
        return status;
    }
    catch (const Failure& f)
    {
        std::cout.rdbuf (console);
        std::fprintf (stderr, "velmora-render: error: %s\n", f.message.toRawUTF8());
        return 1;
    }
}
