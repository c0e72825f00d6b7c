#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

namespace Gui
{
// A draggable handle on a pad: reports each drag step with its new top-left
// corner, and mouse-down and mouse-up, so its owner can hold back work meanwhile.
class Thumb : public juce::Component
{
public:
    explicit Thumb (int size);

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;

    void setColour (juce::Colour newColour) { colour = newColour; }

    std::function<void (juce::Point<double>)> onMove;
    std::function<void()> onMouseUp;
    std::function<void()> onMouseDown;
    int size;

protected:
    juce::ComponentDragger dragger;
    juce::ComponentBoundsConstrainer constrainer;
    juce::Colour colour { 0x00000000 };

    JUCE_DECLARE_NON_COPYABLE (Thumb)
};

// A handle that also shows a direction: a disc with a nose, 0 radians up,
// clockwise positive.
class Head : public juce::Component
{
public:
    explicit Head (int size);

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void mouseDoubleClick (const juce::MouseEvent& e) override;
    void mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override;
    void paint (juce::Graphics& g) override;

    void setColour (juce::Colour newColour) { colour = newColour; }
    void setOrientation (float radians) { orientation = radians; }

    std::function<void (juce::Point<double>)> onMove;
    std::function<void()> onMouseUp;
    std::function<void()> onMouseDown;
    int size;
    float orientation = 0.0f;

private:
    juce::ComponentDragger dragger;
    juce::ComponentBoundsConstrainer constrainer;
    juce::Colour colour { 0x00000000 };

    JUCE_DECLARE_NON_COPYABLE (Head)
};

// What the three pads share: handles bound both ways to sliders, per axis.
// Handle k has its horizontal axis at 2k and its vertical at 2k + 1; a pad
// with a head has the head's orientation axis last.
class XyPadBase : public juce::Component,
                  private juce::Slider::Listener
{
public:
    ~XyPadBase() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

protected:
    XyPadBase() = default;

    // Handles in construction order; the head, if any, comes first.
    void addHandle (juce::Component& handle, int size, std::function<void (std::function<void (juce::Point<double>)>)> setOnMove);
    void setHead (Head& h) { head = &h; }
    void registerOnAxis (juce::Slider* slider, int axis);
    void deregister (juce::Slider* slider);

private:
    struct Handle
    {
        juce::Component* component;
        int size;
        std::vector<juce::Slider*> horizontal, vertical;
    };

    void sliderValueChanged (juce::Slider* slider) override;
    void handleMoved (size_t index, juce::Point<double> position);
    void place (Handle& handle, juce::Slider* horizontal, juce::Slider* vertical);
    int xFor (const Handle& handle, const juce::Slider& slider) const;
    int yFor (const Handle& handle, const juce::Slider& slider) const;

    std::vector<Handle> handles;
    std::vector<juce::Slider*> orientationSliders;
    Head* head = nullptr;
};

class XyPad2 : public XyPadBase
{
public:
    enum Axis { thumb1X = 0, thumb1Y = 1, thumb2X = 2, thumb2Y = 3 };

    XyPad2();
    void registerSlider (juce::Slider* slider, Axis axis) { registerOnAxis (slider, axis); }
    void deregisterSlider (juce::Slider* slider) { deregister (slider); }

    Thumb thumb1 { 25 };
    Thumb thumb2 { 25 };
};

class XyPad2h : public XyPadBase
{
public:
    enum Axis { headX = 0, headY = 1, thumbX = 2, thumbY = 3, headOrientation = 4 };

    XyPad2h();
    void registerSlider (juce::Slider* slider, Axis axis) { registerOnAxis (slider, axis); }
    void deregisterSlider (juce::Slider* slider) { deregister (slider); }

    Head head { 30 };
    Thumb thumb { 25 };
};

class XyPad3h : public XyPadBase
{
public:
    enum Axis { headX = 0, headY = 1, thumb1X = 2, thumb1Y = 3, thumb2X = 4, thumb2Y = 5, headOrientation = 6 };

    XyPad3h();
    void registerSlider (juce::Slider* slider, Axis axis) { registerOnAxis (slider, axis); }
    void deregisterSlider (juce::Slider* slider) { deregister (slider); }

    Head head { 30 };
    Thumb thumb1 { 25 };
    Thumb thumb2 { 25 };
};
} // namespace Gui
