#include "BinaryData.h"
#include "PluginEditor.h"

#include <gtest/gtest.h>

// Reaches the editor's controls, as a user's hand would.
struct EditorProbe
{
    ReverbAudioProcessorEditor& e;

    std::vector<std::pair<const char*, juce::Component*>> boundsTable() const
    {
        return { { "Room Size X", &e.roomSizeXKnob.slider }, { "Room Size Y", &e.roomSizeYKnob.slider },
                 { "Damping", &e.dampingKnob.slider },       { "HF Damping", &e.hfDampingKnob.slider },
                 { "Stereo Width", &e.stereoWidthKnob.slider }, { "sourceX", &e.sourceXSlider },
                 { "sourceY", &e.sourceYSlider },            { "pad", &e.xyPad },
                 { "listenerY", &e.listenerYSlider },        { "listenerX", &e.listenerXSlider },
                 { "ListenerO", &e.listenerOKnob.slider },   { "reverb type", &e.reverbTypeBox },
                 { "update", &e.updateButton },              { "progress", &e.progressBar },
                 { "Direct Level", &e.directLevelKnob.slider }, { "Reflections Level", &e.reflectionsLevelKnob.slider },
                 { "logo", &e.logo } };
    }

    std::vector<juce::Slider*> dragSensitiveSliders() const
    {
        return { &e.roomSizeXKnob.slider, &e.roomSizeYKnob.slider, &e.dampingKnob.slider, &e.hfDampingKnob.slider,
                 &e.stereoWidthKnob.slider, &e.directLevelKnob.slider, &e.reflectionsLevelKnob.slider,
                 &e.listenerOKnob.slider, &e.listenerXSlider, &e.listenerYSlider, &e.sourceXSlider, &e.sourceYSlider };
    }

    Gui::XyPad2h& pad() const { return e.xyPad; }
    juce::ToggleButton& update() const { return e.updateButton; }
    juce::ComboBox& reverbType() const { return e.reverbTypeBox; }
    juce::Slider& roomSizeX() const { return e.roomSizeXKnob.slider; }
    juce::Slider& listenerO() const { return e.listenerOKnob.slider; }
};

namespace
{
void pump (int ms = 50) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

template <typename Handle>
void press (Handle& handle, bool down)
{
    const auto at = handle.getLocalBounds().getCentre().toFloat();
    const juce::MouseEvent e (juce::Desktop::getInstance().getMainMouseSource(), at, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                              &handle, &handle, juce::Time::getCurrentTime(), at, juce::Time::getCurrentTime(), 1, false);
    down ? handle.mouseDown (e) : handle.mouseUp (e);
}

struct Fixture
{
    ReverbAudioProcessor processor;
    std::unique_ptr<ReverbAudioProcessorEditor> editor { static_cast<ReverbAudioProcessorEditor*> (processor.createEditor()) };
    EditorProbe probe { *editor };
};
} // namespace

TEST (Editor, LayoutAtDefaultAndDoubleWidth)
{
    Fixture f;
    EXPECT_TRUE (f.processor.hasEditor());
    EXPECT_EQ (f.editor->getWidth(), 550);
    EXPECT_EQ (f.editor->getHeight(), 480);
    EXPECT_TRUE (f.editor->isResizable());

    const juce::Rectangle<int> expected[] = {
        { 0, 20, 110, 104 },   { 110, 20, 110, 104 }, { 220, 20, 110, 104 }, { 330, 20, 110, 104 },
        { 440, 20, 110, 104 }, { 41, 144, 208, 52 },  { 0, 196, 22, 258 },   { 22, 196, 225, 258 },
        { 247, 196, 23, 258 }, { 41, 454, 208, 26 },  { 280, 170, 160, 132 }, { 280, 347, 180, 36 },
        { 300, 403, 140, 44 }, { 280, 447, 180, 33 }, { 460, 163, 90, 96 },  { 460, 298, 90, 97 },
        { 465, 400, 80, 75 },
    };
    const auto table = f.probe.boundsTable();
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ (table[i].second->getBounds(), expected[i]) << table[i].first;

    // The pad's handles sit where the default parameters put them. The stored
    // 0.5 is the float step value 0.49999997, which truncates one pixel short.
    EXPECT_NEAR (f.probe.pad().thumb.getX(), 100, 1);
    EXPECT_EQ (f.probe.pad().thumb.getY(), 57);
    EXPECT_NEAR (f.probe.pad().head.getX(), 97, 1);
    EXPECT_EQ (f.probe.pad().head.getY(), 172);

    f.editor->setSize (1100, 480);
    EXPECT_EQ (table[0].second->getWidth(), 220);
    EXPECT_EQ (f.probe.pad().getX(), 45);
    EXPECT_EQ (f.probe.pad().getWidth(), 454);
    EXPECT_EQ (f.probe.reverbType().getWidth(), 363);
    EXPECT_EQ (table[13].second->getWidth(), 363);
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ (table[i].second->getHeight(), expected[i].getHeight()) << table[i].first;
}

TEST (Editor, BackgroundDarkestTopRightLightestBottomLeft)
{
    Fixture f;
    for (auto [w, h] : { std::pair { 550, 480 }, std::pair { 1100, 480 }, std::pair { 300, 700 } })
    {
        f.editor->setSize (w, h);
        juce::Image image (juce::Image::ARGB, w, h, true);
        juce::Graphics g (image);
        f.editor->paint (g);
        // Within the gradient table's rounding of one step.
        const auto near = [] (juce::Colour a, juce::Colour b)
        { return std::abs (a.getRed() - b.getRed()) <= 1 && std::abs (a.getGreen() - b.getGreen()) <= 1 && std::abs (a.getBlue() - b.getBlue()) <= 1; };
        EXPECT_TRUE (near (image.getPixelAt (w - 1, 0), juce::Colour (0xff0d0d16))) << w << "x" << h;
        EXPECT_TRUE (near (image.getPixelAt (0, h - 1), juce::Colour (0xff262640))) << w << "x" << h;
        const auto middle = image.getPixelAt (w / 2, h / 2);
        EXPECT_GT (middle.getBlue(), 0x16);
        EXPECT_LT (middle.getBlue(), 0x40);
    }
}

TEST (Editor, ProgressBarPixels)
{
    float value = 0.0f;
    Gui::HorizontalBar bar ([&value] { return value; });
    bar.setSize (180, 33); // track (10, 10, 160, 13)
    struct Case { float v; juce::Colour at15, at60, at100, at165; };
    const auto red = juce::Colours::red, black = juce::Colours::black, green = juce::Colours::green;
    const Case cases[] = { { 0.0f, black, black, black, black },  { 0.25f, red, black, black, black },
                           { 0.5f, red, red, black, black },      { 0.99999994f, green, green, green, green },
                           { 1.0f, green, green, green, green } };
    for (const auto& c : cases)
    {
        value = c.v;
        juce::Image image (juce::Image::ARGB, 180, 33, true);
        juce::Graphics g (image);
        bar.paintEntireComponent (g, false);
        EXPECT_EQ (image.getPixelAt (15, 16), c.at15) << c.v;
        EXPECT_EQ (image.getPixelAt (45, 16), c.v >= 0.25f ? c.at15 : c.at60) << c.v;
        EXPECT_EQ (image.getPixelAt (60, 16), c.at60) << c.v;
        EXPECT_EQ (image.getPixelAt (100, 16), c.at100) << c.v;
        EXPECT_EQ (image.getPixelAt (165, 16), c.at165) << c.v;
        EXPECT_EQ (image.getPixelAt (5, 5).getAlpha(), 0) << "nothing outside the track";
    }
}

TEST (Editor, LogoResource)
{
    int size = -1;
    const char* data = BinaryData::getNamedResource ("logo686_png", size);
    ASSERT_NE (data, nullptr);
    EXPECT_EQ (size, BinaryData::logo686_pngSize);
    EXPECT_EQ (juce::MemoryBlock (data, 8), juce::MemoryBlock ("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ (BinaryData::getNamedResource ("logo686.png", size), nullptr);
    EXPECT_EQ (size, 0);
    size = -1;
    EXPECT_EQ (BinaryData::getNamedResource (nullptr, size), nullptr);
    EXPECT_EQ (size, 0);
    EXPECT_STREQ (BinaryData::getNamedResourceOriginalFilename ("logo686_png"), "logo686.png");
    EXPECT_EQ (BinaryData::getNamedResourceOriginalFilename ("logo"), nullptr);

    const auto image = juce::ImageCache::getFromMemory (data, BinaryData::logo686_pngSize);
    EXPECT_EQ (image.getWidth(), 269);
    EXPECT_EQ (image.getHeight(), 227);
    EXPECT_TRUE (image.hasAlphaChannel());

    // The mark is drawn into (2.5, 6.94, 75, 63.29) of an 80 x 75 logo without caption, and into
    // (15, 6.475, 70, 59.07) of a 100 x 100 one with caption: nothing outside those rectangles.
    struct Case { int w, h; bool caption; juce::Rectangle<float> area; };
    for (const auto& c : { Case { 80, 75, false, { 2.5f, 6.94f, 75.0f, 63.29f } },
                           Case { 100, 100, true, { 15.0f, 6.475f, 70.0f, 59.07f } } })
    {
        ZolvLogo logo ({}, c.caption);
        logo.setSize (c.w, c.h);
        juce::Image drawn (juce::Image::ARGB, c.w, c.h, true);
        juce::Graphics g (drawn);
        logo.paintEntireComponent (g, false);
        const auto outer = c.area.expanded (1.0f);
        int inside = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
            {
                const bool visible = drawn.getPixelAt (x, y).getAlpha() > 0;
                if (! outer.contains ((float) x + 0.5f, (float) y + 0.5f))
                    ASSERT_FALSE (visible) << c.w << "x" << c.h << " at " << x << "," << y;
                inside += visible ? 1 : 0;
            }
        EXPECT_GT (inside, 200) << c.w << "x" << c.h;
    }
}

TEST (Editor, DragsPauseRecomputationAndReleasesResumeIt)
{
    Fixture f;
    for (bool toggleOn : { true, false })
    {
        f.probe.update().setToggleState (toggleOn, juce::sendNotificationSync);
        EXPECT_EQ (f.processor.updateEnabled, toggleOn);
        for (auto* slider : f.probe.dragSensitiveSliders())
        {
            f.processor.updateEnabled = true;
            slider->onDragStart();
            EXPECT_FALSE (f.processor.updateEnabled);
            slider->onDragEnd();
            EXPECT_EQ (f.processor.updateEnabled, toggleOn);
        }
        for (int handle = 0; handle < 2; ++handle)
        {
            f.processor.updateEnabled = true;
            handle == 0 ? press (f.probe.pad().head, true) : press (f.probe.pad().thumb, true);
            EXPECT_FALSE (f.processor.updateEnabled);
            handle == 0 ? press (f.probe.pad().head, false) : press (f.probe.pad().thumb, false);
            EXPECT_EQ (f.processor.updateEnabled, toggleOn);
        }
    }
    // The host switches "Update": the toggle and the flag follow.
    f.processor.apvts.getParameter ("Update")->setValueNotifyingHost (1.0f);
    pump();
    EXPECT_TRUE (f.probe.update().getToggleState());
    EXPECT_TRUE (f.processor.updateEnabled);
}

TEST (Editor, ClosingMidDragLeavesUpdateAsTheSwitchSays)
{
    ReverbAudioProcessor processor;
    for (float update : { 1.0f, 0.0f })
    {
        processor.apvts.getParameter ("Update")->setValueNotifyingHost (update);
        auto editor = std::unique_ptr<juce::AudioProcessorEditor> (processor.createEditor());
        EditorProbe probe { *static_cast<ReverbAudioProcessorEditor*> (editor.get()) };
        press (probe.pad().thumb, true); // the window closes before the release
        EXPECT_FALSE (processor.updateEnabled);
        editor.reset();
        EXPECT_EQ (processor.updateEnabled, update > 0.5f);
    }
}

TEST (Editor, ChoicesAndTheOrientationDial)
{
    Fixture f;
    auto* type = f.processor.apvts.getParameter ("Reverb type");
    type->setValueNotifyingHost (type->convertTo0to1 (2.0f));
    pump();
    EXPECT_EQ (f.probe.reverbType().getText(), "MS with Omni");
    f.probe.reverbType().setSelectedId (4, juce::sendNotificationSync);
    EXPECT_EQ (f.processor.apvts.getRawParameterValue ("Reverb type")->load(), 3.0f);
    EXPECT_EQ (f.probe.reverbType().getNumItems(), 4);
    EXPECT_EQ (f.probe.reverbType().getItemText (0), "XY");

    const auto rotary = f.probe.listenerO().getRotaryParameters();
    EXPECT_FLOAT_EQ (rotary.startAngleRadians, -juce::MathConstants<float>::pi);
    EXPECT_FLOAT_EQ (rotary.endAngleRadians, juce::MathConstants<float>::pi);
    EXPECT_TRUE (rotary.stopAtEnd);
    EXPECT_EQ (f.probe.listenerO().getMinimum(), -180.0);
    EXPECT_EQ (f.probe.listenerO().getMaximum(), 180.0);
}

TEST (Editor, RoomSizeKnobsGreyWhileComputingAndManyOpenings)
{
    ReverbAudioProcessor processor;
    testing::internal::CaptureStdout();
    processor.prepareToPlay (96000.0, 512);
    processor.apvts.getParameter ("Damping")->setValueNotifyingHost (0.0f); // the longest room
    processor.apvts.getParameter ("Room Size X")->setValueNotifyingHost (1.0f);
    processor.apvts.getParameter ("Reverb type")->setValueNotifyingHost (1.0f);
    processor.setIrLoader();

    // Opening and closing while the engine computes.
    for (int i = 0; i < 10; ++i)
    {
        auto editor = std::unique_ptr<juce::AudioProcessorEditor> (processor.createEditor());
        juce::Image image (juce::Image::ARGB, 550, 480, true);
        juce::Graphics g (image);
        editor->paintEntireComponent (g, false);
    }

    auto editor = std::unique_ptr<juce::AudioProcessorEditor> (processor.createEditor());
    EditorProbe probe { *static_cast<ReverbAudioProcessorEditor*> (editor.get()) };
    juce::Image image (juce::Image::ARGB, 550, 480, true);
    {
        juce::Graphics g (image);
        editor->paint (g);
    }
    if (processor.roomIr.getCalculatingState())
    {
        EXPECT_FALSE (probe.roomSizeX().isEnabled());
        EXPECT_EQ (probe.roomSizeX().findColour (juce::Slider::thumbColourId), juce::Colours::darkgrey);
    }
    while (! processor.roomIr.isIdle())
        juce::Thread::sleep (20);
    {
        juce::Graphics g (image);
        editor->paint (g);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE (probe.roomSizeX().isEnabled());
    EXPECT_EQ (probe.roomSizeX().findColour (juce::Slider::thumbColourId), juce::Colours::cyan);
}
