#pragma once

#include "PluginProcessor.h"
#include "XyPad.h"
#include "ZolvLogo.h"
#include "ZolvLookAndFeel.h"

namespace Gui
{
// A fraction as a bar: red on black while below 1, all green at 1.
class HorizontalBar : public juce::Component,
                      public juce::Timer
{
public:
    explicit HorizontalBar (std::function<float()> supplier);
    ~HorizontalBar() override;

    void paint (juce::Graphics& g) override;
    void timerCallback() override;

private:
    std::function<float()> valueSupplier;
};
} // namespace Gui

class ReverbAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit ReverbAudioProcessorEditor (ReverbAudioProcessor&);
    ~ReverbAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;

    void addController (juce::Slider& slider, juce::Slider::SliderStyle style, juce::Colour thumb, juce::Colour track);
    void bindLinear (juce::Slider& slider, juce::Slider::SliderStyle style, juce::Colour colour,
                     std::unique_ptr<SliderAttachment>& attachment, const juce::String& id);
    void installPauseAndResume (juce::Slider& slider);
    void pause();
    void resume();

    ReverbAudioProcessor& audioProcessor;
    zolv::ZolvLookAndFeel zolvLookAndFeel;

    zolv::ZolvKnob roomSizeXKnob, roomSizeYKnob, dampingKnob, hfDampingKnob, stereoWidthKnob, directLevelKnob,
        reflectionsLevelKnob, listenerOKnob;

    juce::Slider listenerXSlider;
    std::unique_ptr<SliderAttachment> listenerXAttachment;
    juce::Slider listenerYSlider;
    std::unique_ptr<SliderAttachment> listenerYAttachment;
    juce::Slider sourceXSlider;
    std::unique_ptr<SliderAttachment> sourceXAttachment;
    juce::Slider sourceYSlider;
    std::unique_ptr<SliderAttachment> sourceYAttachment;

    juce::ComboBox reverbTypeBox;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ComboBoxAttachment> reverbTypeAttachment;
    juce::Label typeLabel { "typeLabel", "Microphones" };

    Gui::XyPad2h xyPad;

    juce::ToggleButton updateButton;
    juce::FlexBox updateBox;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> updateAttachment;

    ZolvLogo logo { {}, false };
    ZolvKnobLookAndFeel zolvKnobLookAndFeel;
    Gui::HorizontalBar progressBar;

    friend struct EditorProbe;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ReverbAudioProcessorEditor)
};
