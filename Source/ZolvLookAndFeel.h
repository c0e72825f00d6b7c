#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

namespace zolv
{
// Knobs as a dark disc with a rim light, a short pointer and two arcs; the
// toggle as a tinted rounded box. Every colour is read from the component.
class ZolvLookAndFeel : public juce::LookAndFeel_V4
{
public:
    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool highlighted, bool down) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float pos, float start, float end,
                           juce::Slider&) override;
};

// A rotary slider bound to one parameter, with its name above it.
class ZolvKnob
{
public:
    ZolvKnob (juce::AudioProcessorValueTreeState& state, juce::String name, juce::Colour colour);

    juce::Slider slider;
    juce::Label label;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> attachment;
    juce::FlexBox flexBox;

    JUCE_DECLARE_NON_COPYABLE (ZolvKnob)
};
} // namespace zolv

// A second knob look, with its own slider layout and label drawing.
class ZolvKnobLookAndFeel : public juce::LookAndFeel_V4
{
public:
    void drawLabel (juce::Graphics&, juce::Label&) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float pos, float start, float end,
                           juce::Slider&) override;
    juce::Slider::SliderLayout getSliderLayout (juce::Slider&) override;
};
