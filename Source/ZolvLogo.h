#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The maker's mark, from the embedded PNG, with an optional caption below it.
class ZolvLogo : public juce::Component
{
public:
    ZolvLogo (juce::String caption, bool showCaption);
    ~ZolvLogo() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    bool showCaption;
    juce::Image image;
    juce::String caption;
};
