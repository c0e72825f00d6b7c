// Renders the editor, with default parameters and the room computed, to a PNG.
//
//   velmora-editor-shot <out.png> [width height]

#include "PluginEditor.h"

#include <cstdio>
#include <iostream>

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: velmora-editor-shot <out.png> [width height]\n");
        return 2;
    }
    const auto out = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const int width = argc > 3 ? juce::String (argv[2]).getIntValue() : 550;
    const int height = argc > 3 ? juce::String (argv[3]).getIntValue() : 480;

    std::streambuf* console = std::cout.rdbuf (nullptr); // the engine's diagnostics
    ReverbAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    processor.setIrLoader();
    while (! processor.roomIr.isIdle())
        juce::Thread::sleep (20);
    std::cout.rdbuf (console);

    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    editor->setSize (width, height);
    // The first paint settles the room-size knobs' colours; the second shows them.
    editor->createComponentSnapshot (editor->getLocalBounds());
    const auto image = editor->createComponentSnapshot (editor->getLocalBounds());

    out.deleteFile();
    juce::FileOutputStream stream (out);
    juce::PNGImageFormat png;
    if (! stream.openedOk() || ! png.writeImageToStream (image, stream))
    {
        std::fprintf (stderr, "velmora-editor-shot: error: cannot write %s\n", out.getFullPathName().toRawUTF8());
        return 1;
    }
    std::printf ("wrote %s\n", out.getFullPathName().toRawUTF8());
    return 0;
}
