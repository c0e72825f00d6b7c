#include "XyPad.h"
#include "ZolvLookAndFeel.h"

#include <gtest/gtest.h>

namespace
{
juce::Image render (juce::Component& c)
{
    juce::Image image (juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
    juce::Graphics g (image);
    c.paintEntireComponent (g, false);
    return image;
}

juce::MouseEvent mouse (juce::Component& target, juce::Point<float> inParent, juce::Point<float> downInParent, int clicks = 1)
{
    const auto local = inParent - target.getPosition().toFloat();
    const auto downLocal = downInParent - target.getPosition().toFloat();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), local, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                             &target, &target, juce::Time::getCurrentTime(), downLocal, juce::Time::getCurrentTime(),
                             clicks, false);
}

// Drags a handle of a pad from its centre to `to` (pad coordinates), step by step.
template <typename Handle>
void drag (Handle& handle, juce::Point<float> to)
{
    const auto from = handle.getBounds().getCentre().toFloat();
    handle.mouseDown (mouse (handle, from, from));
    for (int step = 1; step <= 4; ++step)
    {
        const auto at = from + (to - from) * (float) step / 4.0f;
        handle.mouseDrag (mouse (handle, at, from));
    }
    handle.mouseUp (mouse (handle, to, from));
}

void setUp (juce::Slider& s, double min, double max, double value)
{
    s.setRange (min, max);
    s.setValue (value, juce::dontSendNotification);
}

// The pad of the editor's default layout: listener head and source thumb.
struct PadRig
{
    juce::Slider headX, headY, thumbX, thumbY, orientation;
    Gui::XyPad2h pad;
    int downs = 0, ups = 0;

    PadRig()
    {
        for (auto [s, v] : { std::pair { &headX, 0.5 }, { &headY, 0.25 }, { &thumbX, 0.5 }, { &thumbY, 0.75 } })
        {
            s->setRange (0.01, 0.99);
            s->setValue (v, juce::dontSendNotification);
        }
        orientation.setRange (-180.0, 180.0);
        orientation.setValue (0.0, juce::dontSendNotification);
        for (auto* h : { &pad.head.onMouseDown, &pad.thumb.onMouseDown })
            *h = [this] { ++downs; };
        for (auto* h : { &pad.head.onMouseUp, &pad.thumb.onMouseUp })
            *h = [this] { ++ups; };
        pad.head.setColour (juce::Colours::darkviolet);
        pad.thumb.setColour (juce::Colours::red);
        pad.registerSlider (&headX, Gui::XyPad2h::headX);
        pad.registerSlider (&headY, Gui::XyPad2h::headY);
        pad.registerSlider (&thumbX, Gui::XyPad2h::thumbX);
        pad.registerSlider (&thumbY, Gui::XyPad2h::thumbY);
        pad.registerSlider (&orientation, Gui::XyPad2h::headOrientation);
        pad.setSize (225, 258);
    }

    ~PadRig()
    {
        for (auto* s : { &headX, &headY, &thumbX, &thumbY, &orientation })
            pad.deregisterSlider (s);
    }
};

bool near (juce::Colour a, juce::Colour b, int tolerance = 0)
{
    return std::abs (a.getRed() - b.getRed()) <= tolerance && std::abs (a.getGreen() - b.getGreen()) <= tolerance
           && std::abs (a.getBlue() - b.getBlue()) <= tolerance && std::abs (a.getAlpha() - b.getAlpha()) <= tolerance;
}
} // namespace

//==============================================================================
TEST (Pad, LayoutPlacesHandlesFromTheirSliders)
{
    PadRig rig;
    EXPECT_EQ (rig.pad.thumb.getBounds(), juce::Rectangle<int> (100, 57, 25, 25));
    EXPECT_EQ (rig.pad.head.getBounds(), juce::Rectangle<int> (97, 172, 30, 30));

    // A handle with no slider on an axis stays centred on it; nothing divides by zero.
    Gui::XyPad2 two;
    juce::Slider x, empty;
    setUp (x, 0.0, 1.0, 1.0);
    setUp (empty, 0.5, 0.5, 0.5);
    two.registerSlider (&x, Gui::XyPad2::thumb1X);
    two.registerSlider (&empty, Gui::XyPad2::thumb2Y);
    two.setSize (100, 80);
    EXPECT_EQ (two.thumb1.getPosition(), juce::Point<int> (75, (80 - 25) / 2));
    EXPECT_EQ (two.thumb2.getPosition(), juce::Point<int> ((100 - 25) / 2, 55));
    two.setSize (20, 20); // smaller than a handle
    EXPECT_EQ (two.thumb1.getX(), 0);
    two.deregisterSlider (&x);
    two.deregisterSlider (&empty);
}

TEST (Pad, DraggingWritesTheMappedValuesClampedInside)
{
    PadRig rig;
    struct Case { juce::Point<float> to; double x, y; juce::Point<int> at; };
    const Case cases[] = {
        { { -500.0f, -500.0f }, 0.01, 0.99, { 0, 0 } },        // top-left: horizontal minimum, vertical maximum
        { { 900.0f, 900.0f }, 0.99, 0.01, { 200, 233 } },      // bottom-right: the opposite
        { { 112.0f, 69.0f }, 0.5, 0.7503, { 100, 57 } },       // back where the layout put it
    };
    for (const auto& c : cases)
    {
        drag (rig.pad.thumb, c.to);
        EXPECT_EQ (rig.pad.thumb.getPosition(), c.at);
        EXPECT_NEAR (rig.thumbX.getValue(), c.x, 1e-4);
        EXPECT_NEAR (rig.thumbY.getValue(), c.y, 1e-4);
    }
    EXPECT_EQ (rig.downs, 3);
    EXPECT_EQ (rig.ups, 3);
    EXPECT_EQ (rig.headX.getValue(), 0.5) << "the other handle's sliders are untouched";

    // Dragging the head writes the orientation it shows, too.
    rig.pad.head.setOrientation (juce::MathConstants<float>::halfPi);
    drag (rig.pad.head, { 0.0f, 0.0f });
    EXPECT_NEAR (rig.orientation.getValue(), 90.0, 1e-3);
    EXPECT_NEAR (rig.headX.getValue(), 0.01, 1e-9);

    // Missing mouse callbacks are skipped.
    rig.pad.thumb.onMouseDown = nullptr;
    rig.pad.thumb.onMouseUp = nullptr;
    drag (rig.pad.thumb, { 0.0f, 0.0f });
    EXPECT_NEAR (rig.thumbX.getValue(), 0.01, 1e-9);
}

TEST (Pad, SlidersMoveHandlesAndTurnTheHead)
{
    PadRig rig;
    rig.thumbX.setValue (0.99, juce::sendNotificationSync);
    EXPECT_EQ (rig.pad.thumb.getX(), 200);
    rig.headY.setValue (0.99, juce::sendNotificationSync);
    EXPECT_EQ (rig.pad.head.getY(), 0);

    const struct { double degrees; float radians; } turns[] = { { 90.0, 1.5707964f }, { 0.0, 0.0f }, { -180.0, -3.1415927f }, { 180.0, 3.1415927f } };
    for (const auto& t : turns)
    {
        rig.orientation.setValue (t.degrees, juce::sendNotificationSync);
        EXPECT_NEAR (rig.pad.head.orientation, t.radians, 1e-5f) << t.degrees;
    }

    // A slider on two axes moves only the first handle in the search order; both drags write it.
    juce::Slider shared;
    setUp (shared, 0.0, 1.0, 0.0);
    rig.pad.registerSlider (&shared, Gui::XyPad2h::thumbX);
    rig.pad.registerSlider (&shared, Gui::XyPad2h::headX);
    const auto thumbBefore = rig.pad.thumb.getPosition();
    shared.setValue (1.0, juce::sendNotificationSync);
    EXPECT_EQ (rig.pad.head.getX(), 225 - 30);
    EXPECT_EQ (rig.pad.thumb.getPosition(), thumbBefore);
    drag (rig.pad.thumb, { 0.0f, 0.0f });
    EXPECT_EQ (shared.getValue(), 0.0);

    // Deregistered: no longer written, no longer followed.
    rig.pad.deregisterSlider (&shared);
    drag (rig.pad.head, { 500.0f, 500.0f });
    EXPECT_EQ (shared.getValue(), 0.0);
    shared.setValue (0.5, juce::sendNotificationSync);
    EXPECT_EQ (rig.pad.head.getX(), 225 - 30);
}

TEST (Pad, DoubleClickPointsTheNoseUpAndWheelIsSwallowed)
{
    PadRig rig;
    rig.orientation.setValue (90.0, juce::sendNotificationSync);
    const auto centre = rig.pad.head.getBounds().getCentre().toFloat();
    rig.pad.head.mouseDoubleClick (mouse (rig.pad.head, centre, centre, 2));
    EXPECT_EQ (rig.pad.head.orientation, 0.0f);
    EXPECT_EQ (rig.orientation.getValue(), 90.0) << "the slider is not told";
    drag (rig.pad.head, centre);
    EXPECT_NEAR (rig.orientation.getValue(), 0.0, 1e-3) << "the next drag writes the nose's direction";
}

TEST (Handles, TheNosePointsWhereTheHeadFaces)
{
    Gui::Head head (30);
    head.setSize (30, 30);
    head.setColour (juce::Colours::darkviolet);
    const float pi = juce::MathConstants<float>::pi;
    struct Case { float orientation; juce::Point<int> nose, away; };
    const Case cases[] = { { 0.0f, { 15, 2 }, { 15, 27 } }, { pi / 2, { 27, 15 }, { 2, 15 } },
                           { pi, { 15, 27 }, { 15, 2 } },  { -pi / 2, { 2, 15 }, { 27, 15 } } };
    for (const auto& c : cases)
    {
        head.setOrientation (c.orientation);
        const auto image = render (head);
        EXPECT_EQ (image.getPixelAt (c.nose.x, c.nose.y), juce::Colours::darkviolet) << c.orientation;
        EXPECT_EQ (image.getPixelAt (c.away.x, c.away.y).getAlpha(), 0) << c.orientation;
        EXPECT_EQ (image.getPixelAt (15, 15), juce::Colours::darkviolet);
    }

    // A thumb is a ring; never coloured, it draws nothing.
    Gui::Thumb thumb (25);
    thumb.setSize (25, 25);
    auto blank = render (thumb);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x)
            ASSERT_EQ (blank.getPixelAt (x, y).getAlpha(), 0);
    thumb.setColour (juce::Colours::red);
    const auto ring = render (thumb);
    EXPECT_EQ (ring.getPixelAt (12, 4), juce::Colours::red);
    EXPECT_EQ (ring.getPixelAt (12, 12).getAlpha(), 0) << "the middle is open";
}

//==============================================================================
TEST (Looks, KnobValueArcEndsAtThePosition)
{
    zolv::ZolvLookAndFeel look;
    juce::Slider slider;
    slider.setColour (juce::Slider::rotarySliderFillColourId, juce::Colours::black);
    slider.setColour (juce::Slider::thumbColourId, juce::Colours::teal);
    slider.setColour (juce::Slider::trackColourId, juce::Colours::yellow);
    slider.setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colours::blue);
    const float start = juce::MathConstants<float>::pi * 1.2f, end = juce::MathConstants<float>::pi * 2.8f;

    const auto pixelAt = [] (const juce::Image& image, float angle)
    {
        // On the arcs' centre line: radius 0.85 x 200 / 2.
        const float r = 85.0f;
        return image.getPixelAt (juce::roundToInt (100.0f + r * std::sin (angle)), juce::roundToInt (100.0f - r * std::cos (angle)));
    };
    for (float pos : { 0.0f, 0.5f, 1.0f })
    {
        juce::Image image (juce::Image::ARGB, 200, 200, true);
        juce::Graphics g (image);
        look.drawRotarySlider (g, 0, 0, 200, 200, pos, start, end, slider);
        const float a = start + pos * (end - start);
        if (pos > 0.0f)
            EXPECT_TRUE (near (pixelAt (image, a - 0.3f), juce::Colours::yellow, 2)) << pos;
        if (pos < 1.0f)
            EXPECT_TRUE (near (pixelAt (image, a + 0.3f), juce::Colours::blue, 2)) << pos;
        // The black body and its grey rim light.
        EXPECT_EQ (image.getPixelAt (100, 130), juce::Colours::black);
        EXPECT_EQ (juce::Colours::black.brighter (2.0f), juce::Colour (0xffaaaaaa));
    }

    // Degenerate areas draw nothing and do not fail.
    juce::Image tiny (juce::Image::ARGB, 10, 10, true);
    juce::Graphics g (tiny);
    look.drawRotarySlider (g, 0, 0, 0, 10, 0.5f, start, end, slider);
    EXPECT_EQ (tiny.getPixelAt (5, 5).getAlpha(), 0);
}

TEST (Looks, ToggleColoursFollowTheState)
{
    zolv::ZolvLookAndFeel look;
    juce::ToggleButton button ("Update");
    button.setLookAndFeel (&look);
    button.setColour (juce::ToggleButton::tickColourId, juce::Colours::cyan);
    button.setSize (200, 100); // unit 10: inner box (20, 20, 160, 60)

    struct Case { bool on; juce::uint32 outline, fill, text; };
    for (const auto& c : { Case { true, 0xff99ffff, 0xff69ffff, 0xff007f7f }, Case { false, 0xff00ffff, 0xff009595, 0xff7fffff } })
    {
        button.setToggleState (c.on, juce::dontSendNotification);
        const auto image = render (button);
        EXPECT_EQ (image.getPixelAt (100, 19), juce::Colour (c.outline)) << c.on;
        EXPECT_EQ (image.getPixelAt (30, 50), juce::Colour (c.fill)) << c.on;
        bool lettered = false;
        for (int y = 40; y < 60 && ! lettered; ++y)
            for (int x = 60; x < 140 && ! lettered; ++x)
                lettered = image.getPixelAt (x, y) == juce::Colour (c.text);
        EXPECT_TRUE (lettered) << c.on;
    }
    button.setLookAndFeel (nullptr);
}

TEST (Looks, SecondKnobLookLayout)
{
    ZolvKnobLookAndFeel look;
    juce::Slider slider;
    slider.setSize (80, 100);
    const auto layout = look.getSliderLayout (slider);
    EXPECT_EQ (layout.sliderBounds, juce::Rectangle<int> (5, 5, 70, 90));
    EXPECT_EQ (layout.textBoxBounds, juce::Rectangle<int> (0, 81, 80, 22));
}

//==============================================================================
TEST (Knob, BindsLabelsColoursAndLaysOut)
{
    struct Dummy final : juce::AudioProcessor
    {
        Dummy() : AudioProcessor (BusesProperties().withOutput ("Out", juce::AudioChannelSet::stereo())) {}
        const juce::String getName() const override { return "dummy"; }
        void prepareToPlay (double, int) override {}
        void releaseResources() override {}
        void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override {}
        double getTailLengthSeconds() const override { return 0; }
        bool acceptsMidi() const override { return false; }
        bool producesMidi() const override { return false; }
        juce::AudioProcessorEditor* createEditor() override { return nullptr; }
        bool hasEditor() const override { return false; }
        int getNumPrograms() override { return 1; }
        int getCurrentProgram() override { return 0; }
        void setCurrentProgram (int) override {}
        const juce::String getProgramName (int) override { return {}; }
        void changeProgramName (int, const juce::String&) override {}
        void getStateInformation (juce::MemoryBlock&) override {}
        void setStateInformation (const void*, int) override {}
    } processor;
    juce::AudioProcessorValueTreeState state (
        processor, nullptr, "Parameters",
        { std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { "ListenerO", 0 }, "ListenerO",
                                                       juce::NormalisableRange<float> (-180.0f, 180.0f, 1.0f), 0.0f) });

    juce::Component parent;
    zolv::ZolvKnob knob (state, "ListenerO", juce::Colours::teal);
    parent.addAndMakeVisible (knob.slider);
    EXPECT_EQ (knob.label.getText(), "ListenerO");
    EXPECT_EQ (knob.slider.findColour (juce::Slider::rotarySliderOutlineColourId), juce::Colour (0xff002a2a));
    EXPECT_EQ (knob.slider.findColour (juce::Slider::thumbColourId), juce::Colours::teal);
    EXPECT_EQ (knob.slider.getSliderStyle(), juce::Slider::RotaryHorizontalVerticalDrag);
    EXPECT_EQ (knob.slider.getTextBoxPosition(), juce::Slider::TextBoxBelow);
    EXPECT_TRUE (knob.slider.isTextBoxEditable());
    EXPECT_EQ (knob.slider.getMinimum(), -180.0);

    // The slider writes the parameter; the parameter moves the slider.
    knob.slider.setValue (90.0, juce::sendNotificationSync);
    EXPECT_EQ (state.getRawParameterValue ("ListenerO")->load(), 90.0f);

    knob.flexBox.performLayout (juce::Rectangle<int> (0, 0, 100, 120));
    EXPECT_EQ (knob.slider.getBounds(), juce::Rectangle<int> (0, 20, 100, 100));
    EXPECT_EQ (knob.label.getBounds().getBottom(), 20) << "the label sits right above the slider";
}
