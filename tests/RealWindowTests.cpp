// Real windows under a real X server, dragged with real pointer events (xdotool).
#include "TestHelpers.h"
#include "XyPad.h"

#include <gtest/gtest.h>


namespace
{
void pump (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

// One xdotool command, then let the windows answer it.
bool xdo (const juce::StringArray& args)
{
    juce::StringArray command { "xdotool" };
    command.addArray (args);
    juce::ChildProcess child;
    if (! child.start (command))
        return false;
    child.waitForProcessToFinish (5000);
    pump (60);
    return child.getExitCode() == 0;
}

// Presses at `from`, moves in steps to `to`, releases; screen coordinates.
bool dragWithPointer (juce::Point<int> from, juce::Point<int> to)
{
    if (! xdo ({ "mousemove", juce::String (from.x), juce::String (from.y) }) || ! xdo ({ "mousedown", "1" }))
        return false;
    for (int step = 1; step <= 6; ++step)
    {
        const auto at = from + (to - from) * step / 6;
        xdo ({ "mousemove", juce::String (at.x), juce::String (at.y) });
    }
    return xdo ({ "mouseup", "1" });
}

bool haveDisplayAndXdotool()
{
    return juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty()
           && juce::File ("/usr/bin/xdotool").existsAsFile();
}
} // namespace

TEST (RealWindow, PadDraggedWithThePointerWritesItsSliders)
{
    ASSERT_TRUE (haveDisplayAndXdotool()) << "needs an X server and xdotool (scripts/test.sh provides both)";

    juce::Slider headX, headY, thumbX, thumbY, orientation;
    for (auto* s : { &headX, &headY, &thumbX, &thumbY })
        s->setRange (0.01, 0.99);
    headX.setValue (0.5), headY.setValue (0.25), thumbX.setValue (0.5), thumbY.setValue (0.75);
    orientation.setRange (-180.0, 180.0);

    Gui::XyPad2h pad;
    int downs = 0, ups = 0;
    pad.thumb.onMouseDown = pad.head.onMouseDown = [&] { ++downs; };
    pad.thumb.onMouseUp = pad.head.onMouseUp = [&] { ++ups; };
    pad.thumb.setColour (juce::Colours::red);
    pad.head.setColour (juce::Colours::darkviolet);
    pad.registerSlider (&headX, Gui::XyPad2h::headX);
    pad.registerSlider (&headY, Gui::XyPad2h::headY);
    pad.registerSlider (&thumbX, Gui::XyPad2h::thumbX);
    pad.registerSlider (&thumbY, Gui::XyPad2h::thumbY);
    pad.registerSlider (&orientation, Gui::XyPad2h::headOrientation);

    pad.setBounds (100, 100, 225, 258);
    pad.addToDesktop (0);
    pad.setVisible (true);
    pump (500);
    ASSERT_TRUE (pad.isShowing());

    // The thumb from the middle to 50 px right and 40 px down of where it was.
    const auto start = pad.thumb.getScreenBounds().getCentre();
    ASSERT_TRUE (dragWithPointer (start, start + juce::Point<int> (50, 40)));
    pump (200);
    EXPECT_EQ (downs, 1);
    EXPECT_EQ (ups, 1);
    const auto at = pad.thumb.getPosition();
    EXPECT_NEAR (at.x, 100 + 50, 1);
    EXPECT_NEAR (at.y, 57 + 40, 1);
    EXPECT_NEAR (thumbX.getValue(), 0.01 + 0.98 * at.x / 200.0, 1e-9);
    EXPECT_NEAR (thumbY.getValue(), 0.01 + 0.98 * (233 - at.y) / 233.0, 1e-9);

    // Dragged far past the corner: clamped inside, extreme values.
    const auto again = pad.thumb.getScreenBounds().getCentre();
    ASSERT_TRUE (dragWithPointer (again, again + juce::Point<int> (-400, -400)));
    pump (200);
    EXPECT_EQ (pad.thumb.getPosition(), juce::Point<int> (0, 0));
    EXPECT_DOUBLE_EQ (thumbX.getValue(), 0.01);
    EXPECT_DOUBLE_EQ (thumbY.getValue(), 0.99);

    // While the pointer rests on a handle, a slider change does not move it.
    xdo ({ "mousemove", juce::String (pad.head.getScreenBounds().getCentreX()), juce::String (pad.head.getScreenBounds().getCentreY()) });
    const auto headAt = pad.head.getPosition();
    headX.setValue (0.9, juce::sendNotificationSync);
    EXPECT_EQ (pad.head.getPosition(), headAt);
    xdo ({ "mousemove", "5", "5" });
    headX.setValue (0.1, juce::sendNotificationSync);
    EXPECT_NE (pad.head.getPosition(), headAt);

    for (auto* s : { &headX, &headY, &thumbX, &thumbY, &orientation })
        pad.deregisterSlider (s);
    pad.removeFromDesktop();
}

TEST (RealWindow, BundleEditorDraggedInAHostRecomputesOnceOnRelease)
{
    ASSERT_TRUE (haveDisplayAndXdotool()) << "needs an X server and xdotool (scripts/test.sh provides both)";

    juce::AudioPluginFormatManager formats;
    formats.addFormat (new juce::VST3PluginFormat());
    juce::OwnedArray<juce::PluginDescription> found;
    formats.getFormat (0)->findAllTypesForFile (found, VELMORA_VST3_BUNDLE);
    ASSERT_EQ (found.size(), 1);
    juce::String error;
    auto plugin = formats.createPluginInstance (*found[0], 48000.0, 512, error);
    ASSERT_NE (plugin, nullptr) << error;
    plugin->setBusesLayout (testhelpers::makeLayout (juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo()));
    plugin->prepareToPlay (48000.0, 512);

    testing::internal::CaptureStdout();
    pump (1500); // the first room is computed
    std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    editor->setTopLeftPosition (50, 50);
    editor->addToDesktop (0);
    editor->setVisible (true);
    pump (1500);
    const auto before = testing::internal::GetCapturedStdout();
    EXPECT_EQ (editor->getWidth(), 550);
    EXPECT_EQ (editor->getHeight(), 480);

    auto& sourceX = *plugin->getParameters()[5];
    auto& sourceY = *plugin->getParameters()[6];
    const float x0 = sourceX.getValue(), y0 = sourceY.getValue();

    // The source handle sits at its default place: pad (22, 196) + thumb (100, 57) + half its size.
    const auto origin = editor->getScreenPosition();
    const auto handle = origin + juce::Point<int> (22 + 100 + 12, 196 + 57 + 12);
    testing::internal::CaptureStdout();
    ASSERT_TRUE (xdo ({ "mousemove", juce::String (handle.x), juce::String (handle.y) }));
    ASSERT_TRUE (xdo ({ "mousedown", "1" }));
    for (int step = 1; step <= 6; ++step)
        xdo ({ "mousemove", juce::String (handle.x - 10 * step), juce::String (handle.y + 12 * step) });
    pump (600); // several timer ticks while the drag is held: nothing may start
    const auto duringDrag = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    ASSERT_TRUE (xdo ({ "mouseup", "1" }));
    pump (2500);
    const auto afterRelease = testing::internal::GetCapturedStdout();

    EXPECT_LT (sourceX.getValue(), x0 - 0.1f) << "SourceX follows the drag to the left";
    EXPECT_LT (sourceY.getValue(), y0 - 0.1f) << "SourceY follows the drag down";
    const auto count = [] (const std::string& text)
    {
        int n = 0;
        for (size_t at = text.find ("Start direct path thread"); at != std::string::npos; at = text.find ("Start direct path thread", at + 1))
            ++n;
        return n;
    };
    EXPECT_GE (count (before), 1) << "the first room";
    EXPECT_EQ (count (duringDrag), 0) << duringDrag;
    EXPECT_EQ (count (afterRelease), 1) << afterRelease;

    editor.reset();
    plugin->releaseResources();
}
