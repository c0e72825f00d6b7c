#include "ZolvLookAndFeel.h"

namespace
{
struct KnobGeometry
{
    float diameter, radius, cx, cy, rx, ry, angle;
};

KnobGeometry geometry (int x, int y, int width, int height, float scale, float pos, float start, float end)
{
    const float d = scale * (float) juce::jmin (width, height);
    const float r = d / 2.0f;
    const float cx = (float) x + (float) width / 2.0f, cy = (float) y + (float) height / 2.0f;
    return { d, r, cx, cy, cx - r, cy - r, start + pos * (end - start) };
}

juce::Path arc (const KnobGeometry& k, float from, float to)
{
    juce::Path p;
    p.addArc (k.rx, k.ry, k.diameter, k.diameter, from, to, true);
    return p;
}
} // namespace

namespace zolv
{
void ZolvLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float pos, float start,
                                        float end, juce::Slider& slider)
{
    const auto k = geometry (x, y, width, height, 0.85f, pos, start, end);
    const float w = k.diameter / 15.0f;
    const float inner = juce::jmax (k.diameter - 2.0f * w, 0.0f);
    const juce::PathStrokeType stroke (w, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);
    const auto fill = slider.findColour (juce::Slider::rotarySliderFillColourId);

    // The rim light sits a little higher than the body, so its bright edge shows most at the top.
    g.setColour (fill.brighter (2.0f));
    g.drawEllipse (k.rx + w, k.ry + w - 0.12f * w, inner, inner, 0.36f * w);
    g.setColour (fill);
    g.fillEllipse (k.rx + w, k.ry + w, inner, inner);

    juce::Path pointer;
    pointer.addRectangle (0.25f * w, -k.radius + 2.0f * w, 0.5f * w, 0.2f * k.radius);
    g.setColour (slider.findColour (juce::Slider::thumbColourId));
    g.fillPath (pointer, juce::AffineTransform::rotation (k.angle).translated (k.cx, k.cy));

    g.setColour (slider.findColour (juce::Slider::rotarySliderOutlineColourId));
    g.strokePath (arc (k, start, end), stroke);
    g.setColour (slider.findColour (juce::Slider::trackColourId));
    g.strokePath (arc (k, start, k.angle), stroke);
}

void ZolvLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    const auto bounds = button.getLocalBounds();
    const float m = 0.1f * (float) juce::jmin (bounds.getWidth(), bounds.getHeight());
    const float corner = 2.0f * m;
    const auto inner = bounds.reduced ((int) (2.0f * m));
    const auto innerF = inner.toFloat();
    const auto tick = button.findColour (juce::ToggleButton::tickColourId);
    const bool on = button.getToggleState();

    g.setColour (on ? tick.brighter (1.5f) : tick);
    g.drawRoundedRectangle (innerF, corner, 0.5f * m);
    g.setColour (on ? tick.brighter (0.7f) : tick.darker (0.7f));
    g.fillRoundedRectangle (innerF.translated (0.1f * m, 0.1f * m), corner);
    g.setColour (on ? tick.darker (1.0f) : tick.brighter (1.0f));
    g.drawText (button.getButtonText(), inner, juce::Justification::centred, true);
}

//==============================================================================
ZolvKnob::ZolvKnob (juce::AudioProcessorValueTreeState& state, juce::String name, juce::Colour colour)
{
    slider.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    slider.setTextBoxStyle (juce::Slider::TextBoxBelow, true, 80, 15);
    slider.setTextBoxIsEditable (true);

    slider.setColour (juce::Slider::thumbColourId, colour);
    slider.setColour (juce::Slider::rotarySliderFillColourId, juce::Colours::black);
    slider.setColour (juce::Slider::trackColourId, colour);
    slider.setColour (juce::Slider::backgroundColourId, juce::Colours::transparentBlack);
    slider.setColour (juce::Slider::rotarySliderOutlineColourId, colour.darker (2.0f));

    label.setJustificationType (juce::Justification::centred);
    label.attachToComponent (&slider, false);
    label.setText (name, juce::sendNotification);

    attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, name, slider);

    flexBox.flexDirection = juce::FlexBox::Direction::column;
    flexBox.items.add (juce::FlexItem (label).withFlex (0.2f));
    flexBox.items.add (juce::FlexItem (slider).withFlex (1.0f));
}
} // namespace zolv

//==============================================================================
void ZolvKnobLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float pos,
                                            float start, float end, juce::Slider& slider)
{
    const auto k = geometry (x, y, width, height, 1.0f, pos, start, end);
    const float w = k.diameter / 12.0f;
    const float inner = juce::jmax (k.diameter - 2.0f * w, 0.0f);
    const auto thumb = slider.findColour (juce::Slider::thumbColourId);

    g.setColour (juce::Colours::black);
    g.fillEllipse (k.rx + w, k.ry + w, inner, inner);
    g.setColour (thumb.darker (0.4f));
    g.drawEllipse (k.rx + w, k.ry + w, inner, inner, w / 6.0f);

    juce::Path pointer;
    pointer.addRectangle (0.0f, (float) (int) -k.radius, (float) (int) w, (float) (int) (0.4f * k.radius));
    g.setColour (thumb.brighter (0.5f));
    g.fillPath (pointer, juce::AffineTransform::rotation (k.angle).translated (k.cx, k.cy));

    g.setColour (thumb.darker (3.0f));
    g.strokePath (arc (k, start, end), juce::PathStrokeType (w));
    g.setColour (thumb);
    g.strokePath (arc (k, start, k.angle), juce::PathStrokeType (w, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

juce::Slider::SliderLayout ZolvKnobLookAndFeel::getSliderLayout (juce::Slider& slider)
{
    const auto bounds = slider.getLocalBounds();
    const int h = juce::jmax (bounds.getHeight() - 10, 0);
    juce::Slider::SliderLayout layout;
    layout.sliderBounds = bounds.reduced (5);
    layout.textBoxBounds = { bounds.getX(), bounds.getY() + (int) (0.9 * h), bounds.getWidth(), juce::jmax ((int) (0.25 * h), 0) };
    return layout;
}

void ZolvKnobLookAndFeel::drawLabel (juce::Graphics& g, juce::Label& label)
{
    g.setColour (juce::Colours::white);
    g.setFont ((float) label.getHeight() * 0.7f);
    const auto bounds = label.getLocalBounds().toFloat();
    const float cx = bounds.getX() + bounds.getWidth() / 2.0f, cy = bounds.getY() + bounds.getHeight() / 2.0f;
    const auto font = g.getCurrentFont();
    g.drawSingleLineText (label.getText (false), juce::roundToInt (cx + font.getHorizontalScale()),
                          juce::roundToInt (cy + 1.4f * font.getDescent()), juce::Justification::horizontallyCentred);
}
