#include "PluginEditor.h"

namespace Gui
{
HorizontalBar::HorizontalBar (std::function<float()> supplier) : valueSupplier (std::move (supplier))
{
    startTimerHz (5);
}

HorizontalBar::~HorizontalBar()
{
    stopTimer();
}

void HorizontalBar::timerCallback()
{
    repaint();
}

void HorizontalBar::paint (juce::Graphics& g)
{
    const float v = valueSupplier();
    const auto track = getLocalBounds().reduced (10).toFloat();

    if (juce::approximatelyEqual (v, 1.0f))
    {
        g.setColour (juce::Colours::green);
        g.fillRoundedRectangle (track, 5.0f);
        return;
    }

    g.setColour (juce::Colours::black);
    g.fillRoundedRectangle (track, 5.0f);
    g.setColour (juce::Colours::red);
    g.fillRoundedRectangle (track.withWidth (juce::jmax (0.0f, track.getWidth() * v)), 5.0f);
}
} // namespace Gui

//==============================================================================
ReverbAudioProcessorEditor::ReverbAudioProcessorEditor (ReverbAudioProcessor& p)
    : AudioProcessorEditor (&p),
      audioProcessor (p),
      roomSizeXKnob (p.apvts, "Room Size X", juce::Colours::teal),
      roomSizeYKnob (p.apvts, "Room Size Y", juce::Colours::teal),
      dampingKnob (p.apvts, "Damping", juce::Colours::green),
      hfDampingKnob (p.apvts, "HF Damping", juce::Colours::green),
      stereoWidthKnob (p.apvts, "Stereo Width", juce::Colours::green),
      directLevelKnob (p.apvts, "Direct Level", juce::Colours::darkorange),
      reflectionsLevelKnob (p.apvts, "Reflections Level", juce::Colours::darkorange),
      listenerOKnob (p.apvts, "ListenerO", juce::Colours::darkviolet),
      progressBar ([this] { return audioProcessor.roomIr.getProgress(); })
{
    updateButton.setColour (juce::ToggleButton::tickColourId, juce::Colours::cyan);
    updateButton.setButtonText ("Update");
    updateAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (p.apvts, "Update", updateButton);
    updateBox.flexDirection = juce::FlexBox::Direction::row;
    updateBox.items.add (juce::FlexItem (updateButton).withFlex (1.0f));

    for (auto* knob : { &roomSizeXKnob, &roomSizeYKnob, &dampingKnob, &hfDampingKnob, &stereoWidthKnob,
                        &directLevelKnob, &reflectionsLevelKnob })
    {
        addAndMakeVisible (knob->slider);
        knob->slider.setLookAndFeel (&zolvLookAndFeel);
        installPauseAndResume (knob->slider);
    }

    bindLinear (listenerXSlider, juce::Slider::LinearHorizontal, juce::Colours::darkviolet, listenerXAttachment, "ListenerX");
    bindLinear (listenerYSlider, juce::Slider::LinearVertical, juce::Colours::darkviolet, listenerYAttachment, "ListenerY");

    addAndMakeVisible (listenerOKnob.slider);
    listenerOKnob.slider.setLookAndFeel (&zolvLookAndFeel);
    installPauseAndResume (listenerOKnob.slider);
    // A full turn of the dial, both ends at the bottom, no wrapping from one to the other.
    listenerOKnob.slider.setRotaryParameters (-juce::MathConstants<float>::pi, juce::MathConstants<float>::pi, true);

    bindLinear (sourceXSlider, juce::Slider::LinearHorizontal, juce::Colours::red, sourceXAttachment, "SourceX");
    bindLinear (sourceYSlider, juce::Slider::LinearVertical, juce::Colours::red, sourceYAttachment, "SourceY");

    // The attachment maps choice index i to the i-th item, so the order must be the parameter's.
    reverbTypeBox.addItemList ({ "XY", "MS with Cardio", "MS with Omni", "Binaural" }, 1);
    reverbTypeAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ComboBoxAttachment> (p.apvts, "Reverb type", reverbTypeBox);
    typeLabel.attachToComponent (&reverbTypeBox, false);
    addAndMakeVisible (reverbTypeBox);
    addAndMakeVisible (typeLabel);

    addAndMakeVisible (xyPad);
    xyPad.registerSlider (&listenerXSlider, Gui::XyPad2h::headX);
    xyPad.registerSlider (&listenerYSlider, Gui::XyPad2h::headY);
    xyPad.registerSlider (&sourceXSlider, Gui::XyPad2h::thumbX);
    xyPad.registerSlider (&sourceYSlider, Gui::XyPad2h::thumbY);
    xyPad.registerSlider (&listenerOKnob.slider, Gui::XyPad2h::headOrientation);

    xyPad.head.setColour (juce::Colours::darkviolet);
    xyPad.thumb.setColour (juce::Colours::red);
    xyPad.head.onMouseDown = xyPad.thumb.onMouseDown = [this] { pause(); };
    xyPad.head.onMouseUp = xyPad.thumb.onMouseUp = [this] { resume(); };

    addAndMakeVisible (updateButton);
    updateButton.setLookAndFeel (&zolvLookAndFeel);
    updateButton.onClick = [this] { resume(); };

    addAndMakeVisible (progressBar);
    addAndMakeVisible (logo);

    setSize (550, 480);
    setResizable (true, true);
}

ReverbAudioProcessorEditor::~ReverbAudioProcessorEditor()
{
    for (auto* slider : { &listenerXSlider, &listenerYSlider, &sourceXSlider, &sourceYSlider, &listenerOKnob.slider })
        xyPad.deregisterSlider (slider);

    // A window closed in the middle of a drag never sees the drag end: leave
    // recomputation as the "Update" switch says, not paused until it reopens.
    audioProcessor.updateEnabled = audioProcessor.apvts.getRawParameterValue ("Update")->load() >= 0.5f;
}

void ReverbAudioProcessorEditor::pause()
{
    audioProcessor.updateEnabled = false;
}

void ReverbAudioProcessorEditor::resume()
{
    audioProcessor.updateEnabled = updateButton.getToggleState();
}

void ReverbAudioProcessorEditor::installPauseAndResume (juce::Slider& slider)
{
    slider.onDragStart = [this] { pause(); };
    slider.onDragEnd = [this] { resume(); };
}

void ReverbAudioProcessorEditor::addController (juce::Slider& slider, juce::Slider::SliderStyle style, juce::Colour thumb,
                                                juce::Colour track)
{
    slider.setSliderStyle (style);
    slider.setColour (juce::Slider::thumbColourId, thumb);
    slider.setColour (juce::Slider::rotarySliderFillColourId, thumb);
    slider.setColour (juce::Slider::trackColourId, track);
    slider.setColour (juce::Slider::backgroundColourId, track);
    slider.setColour (juce::Slider::rotarySliderOutlineColourId, track);
    addAndMakeVisible (slider);
}

void ReverbAudioProcessorEditor::bindLinear (juce::Slider& slider, juce::Slider::SliderStyle style, juce::Colour colour,
                                             std::unique_ptr<SliderAttachment>& attachment, const juce::String& id)
{
    addController (slider, style, colour, juce::Colours::black);
    slider.setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
    attachment = std::make_unique<SliderAttachment> (audioProcessor.apvts, id, slider);
    installPauseAndResume (slider);
}

void ReverbAudioProcessorEditor::paint (juce::Graphics& g)
{
    const float w = (float) getWidth(), h = (float) getHeight();
    const float d2 = w * w + h * h;
    const auto base = juce::Colour::fromFloatRGBA (0.15f, 0.15f, 0.25f, 1.0f);
    const auto dark = base.darker (0.4f).darker (0.4f).darker (0.4f);

    // Dark where the top-right corner projects onto the line through the
    // top-left corner across the diagonal, base where the bottom-left does.
    const juce::Point<float> p1 (w * h * h / d2, -w * w * h / d2);
    g.setGradientFill (juce::ColourGradient (dark, p1, base, -p1, false));
    g.fillAll();

    const bool computing = audioProcessor.roomIr.getCalculatingState();
    for (auto* knob : { &roomSizeXKnob, &roomSizeYKnob })
    {
        knob->slider.setEnabled (! computing);
        knob->slider.setColour (juce::Slider::thumbColourId, computing ? juce::Colours::darkgrey : juce::Colours::cyan);
    }
}

void ReverbAudioProcessorEditor::resized()
{
    using Item = juce::FlexItem;
    const auto column = [] { juce::FlexBox b; b.flexDirection = juce::FlexBox::Direction::column; return b; };
    const auto row = [] { juce::FlexBox b; b.flexDirection = juce::FlexBox::Direction::row; return b; };
    const auto spacer = [] (float flex) { return Item().withFlex (flex); }; // takes space, holds nothing

    auto top = row();
    for (auto* knob : { &roomSizeXKnob, &roomSizeYKnob, &dampingKnob, &hfDampingKnob, &stereoWidthKnob })
        top.items.add (Item (knob->flexBox).withFlex (1.0f));

    auto sourceColumn = column();
    sourceColumn.items.add (Item (sourceXSlider).withFlex (0.1f));
    auto sourceRow = row();
    sourceRow.items.addArray ({ spacer (0.2f), Item (sourceColumn).withFlex (1.0f), spacer (0.1f) });
    auto padRow = row();
    padRow.items.addArray ({ Item (sourceYSlider).withFlex (0.1f), Item (xyPad).withFlex (1.0f), Item (listenerYSlider).withFlex (0.1f) });
    auto listenerRow = row();
    listenerRow.items.addArray ({ spacer (0.2f), Item (listenerXSlider).withFlex (1.0f), spacer (0.1f) });
    auto padColumn = column();
    padColumn.items.addArray ({ Item (sourceRow).withFlex (0.2f), Item (padRow).withFlex (1.0f), Item (listenerRow).withFlex (0.1f) });

    auto knobColumn = column();
    knobColumn.items.add (Item (listenerOKnob.flexBox).withFlex (1.0f));
    auto knobRow = row();
    knobRow.items.add (Item (knobColumn).withFlex (1.0f).withMargin ({ 0, 0, 20, 0 }));
    auto middle = column();
    middle.items.addArray ({ Item (knobRow).withFlex (1.0f).withMargin ({ 0, 20, 0, 0 }),
                             Item (reverbTypeBox).withFlex (0.2f).withMargin ({ 25, 0, 0, 0 }),
                             Item (updateBox).withFlex (0.25f).withMargin ({ 20, 20, 0, 20 }),
                             Item (progressBar).withFlex (0.18f) });

    auto right = column();
    right.items.addArray ({ Item (directLevelKnob.flexBox).withFlex (1.0f).withMargin ({ 20, 0, 0, 0 }),
                            Item (reflectionsLevelKnob.flexBox).withFlex (1.0f).withMargin ({ 20, 0, 0, 0 }),
                            Item (logo).withFlex (0.65f).withMargin (5.0f).withAlignSelf (Item::AlignSelf::stretch) });

    auto rightPart = row();
    rightPart.items.addArray ({ Item (middle).withFlex (1.0f).withMargin ({ 20, 0, 0, 0 }), Item (right).withFlex (0.5f) });

    auto bottom = row();
    bottom.items.addArray ({ Item (padColumn).withFlex (1.0f).withMargin ({ 20, 10, 0, 0 }), Item (rightPart).withFlex (1.0f) });

    auto root = column();
    root.items.addArray ({ Item (top).withFlex (0.35f), Item (bottom).withFlex (1.0f) });
    root.performLayout (getLocalBounds());
}
