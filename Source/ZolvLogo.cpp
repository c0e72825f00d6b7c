#include "ZolvLogo.h"

#include "BinaryData.h"

ZolvLogo::ZolvLogo (juce::String captionText, bool withCaption)
    : showCaption (withCaption),
      image (juce::ImageCache::getFromMemory (BinaryData::logo686_png, BinaryData::logo686_pngSize)),
      caption (std::move (captionText))
{
}

ZolvLogo::~ZolvLogo() = default;

void ZolvLogo::resized() {}

void ZolvLogo::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    const float x = bounds.getX(), y = bounds.getY(), w = bounds.getWidth(), h = bounds.getHeight();

    if (image.isValid())
    {
        // The largest square in the image area, centred; the mark keeps its own aspect inside it.
        const float k = showCaption ? 0.7f : 1.0f;
        const float s = juce::jmin (k * h, w);
        const float x0 = w > s ? x + (w - s) / 2.0f : x;
        const float y0 = k * h > s ? y + (k * h - s) / 2.0f : y;
        g.drawImage (image, { x0, y0 + 0.09249997f * s, s, s * 0.8438819f }, juce::RectanglePlacement::stretchToFit, false);
    }

    g.setColour (juce::Colours::white);
    if (showCaption)
        g.drawText (caption, juce::Rectangle<float> (x, y + 0.7f * h, w, 0.3f * h), juce::Justification::centred, true);
}
