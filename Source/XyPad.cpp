#include "XyPad.h"

namespace Gui
{
namespace
{
constexpr float pi = 3.1415927f;

// The handles' shared mouse behaviour: drag inside the parent, report each step.
template <typename Handle>
void beginDrag (Handle& handle, juce::ComponentDragger& dragger, const juce::MouseEvent& e)
{
    dragger.startDraggingComponent (&handle, e);
    if (handle.onMouseDown)
        handle.onMouseDown();
}

template <typename Handle>
void continueDrag (Handle& handle, juce::ComponentDragger& dragger, juce::ComponentBoundsConstrainer& constrainer,
                   const juce::MouseEvent& e)
{
    dragger.dragComponent (&handle, e, &constrainer);
    if (handle.onMove)
        handle.onMove (handle.getPosition().toDouble());
}

template <typename Handle>
void endDrag (Handle& handle)
{
    if (handle.onMouseUp)
        handle.onMouseUp();
}

// The whole handle stays inside its parent.
void keepInside (juce::ComponentBoundsConstrainer& constrainer, int size)
{
    constrainer.setMinimumOnscreenAmounts (size, size, size, size);
}

// A slider with an empty range counts as sitting at its minimum.
double span (const juce::Slider& s) { return s.getMaximum() - s.getMinimum(); }
} // namespace

//==============================================================================
Thumb::Thumb (int sizeInPixels) : size (sizeInPixels) { keepInside (constrainer, size); }

void Thumb::mouseDown (const juce::MouseEvent& e) { beginDrag (*this, dragger, e); }
void Thumb::mouseDrag (const juce::MouseEvent& e) { continueDrag (*this, dragger, constrainer, e); }
void Thumb::mouseUp (const juce::MouseEvent&) { endDrag (*this); }

void Thumb::paint (juce::Graphics& g)
{
    g.setColour (colour);
    g.drawEllipse (getLocalBounds().reduced (5).toFloat(), 5.0f);
}

//==============================================================================
Head::Head (int sizeInPixels) : size (sizeInPixels) { keepInside (constrainer, size); }

void Head::mouseDown (const juce::MouseEvent& e) { beginDrag (*this, dragger, e); }
void Head::mouseDrag (const juce::MouseEvent& e) { continueDrag (*this, dragger, constrainer, e); }
void Head::mouseUp (const juce::MouseEvent&) { endDrag (*this); }

// Points the nose up again; the bound slider is not told until it next changes.
void Head::mouseDoubleClick (const juce::MouseEvent&)
{
    orientation = 0.0f;
    repaint();
}

// Swallowed: the wheel over the head must not scroll anything behind it.
void Head::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) {}

void Head::paint (juce::Graphics& g)
{
    g.setColour (colour);
    g.fillEllipse (getLocalBounds().reduced (5).toFloat());

    juce::Path nose;
    nose.addRectangle (0.0f, 0.0f, 5.0f, (float) (int) (0.5 * size));
    nose.applyTransform (juce::AffineTransform::translation (-2.5f, 0.0f)
                             .rotated (pi + orientation)
                             .translated ((float) (size / 2), (float) (size / 2)));
    g.fillPath (nose);
}

//==============================================================================
XyPadBase::~XyPadBase() = default;

void XyPadBase::addHandle (juce::Component& handle, int size,
                           std::function<void (std::function<void (juce::Point<double>)>)> setOnMove)
{
    const auto index = handles.size();
    handles.push_back ({ &handle, size, {}, {} });
    addAndMakeVisible (handle);
    setOnMove ([this, index] (juce::Point<double> position) { handleMoved (index, position); });
}

void XyPadBase::registerOnAxis (juce::Slider* slider, int axis)
{
    slider->addListener (this);
    const auto handle = (size_t) (axis / 2);
    if (axis >= 0 && handle < handles.size())
        (axis % 2 == 0 ? handles[handle].horizontal : handles[handle].vertical).push_back (slider);
    else if (head != nullptr && axis == (int) (2 * handles.size()))
        orientationSliders.push_back (slider);
}

void XyPadBase::deregister (juce::Slider* slider)
{
    slider->removeListener (this);
    const auto removeFrom = [slider] (std::vector<juce::Slider*>& list)
    { list.erase (std::remove (list.begin(), list.end(), slider), list.end()); };
    for (auto& handle : handles)
    {
        removeFrom (handle.horizontal);
        removeFrom (handle.vertical);
    }
    removeFrom (orientationSliders);
}

void XyPadBase::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::black);
    g.fillRoundedRectangle (getLocalBounds().toFloat(), 10.0f);
}

int XyPadBase::xFor (const Handle& handle, const juce::Slider& slider) const
{
    if (span (slider) <= 0.0)
        return 0;
    return (int) ((slider.getValue() - slider.getMinimum()) * juce::jmax (0, getWidth() - handle.size) / span (slider));
}

// Maximum at the top, minimum at the bottom.
int XyPadBase::yFor (const Handle& handle, const juce::Slider& slider) const
{
    const int travel = juce::jmax (0, getHeight() - handle.size);
    if (span (slider) <= 0.0)
        return travel;
    return (int) (-travel * (slider.getValue() - slider.getMinimum()) / span (slider) + travel);
}

void XyPadBase::place (Handle& handle, juce::Slider* horizontal, juce::Slider* vertical)
{
    auto position = handle.component->getPosition();
    if (horizontal != nullptr)
        position.x = xFor (handle, *horizontal);
    if (vertical != nullptr)
        position.y = yFor (handle, *vertical);
    handle.component->setTopLeftPosition (position);
}

void XyPadBase::resized()
{
    for (auto& handle : handles)
        handle.component->setBounds ((getWidth() - handle.size) / 2, (getHeight() - handle.size) / 2, handle.size, handle.size);
    // A handle with no slider on an axis stays centred on it.
    for (auto& handle : handles)
        place (handle, handle.horizontal.empty() ? nullptr : handle.horizontal.front(),
               handle.vertical.empty() ? nullptr : handle.vertical.front());
}

void XyPadBase::handleMoved (size_t index, juce::Point<double> position)
{
    const auto& handle = handles[index];
    const double travelX = getWidth() - handle.size, travelY = getHeight() - handle.size;
    // Left edge gives the minimum; the vertical axis points up. A pad no larger
    // than its handle has nowhere to go: the handle stands for the minimum.
    const double fractionX = travelX > 0.0 ? position.x / travelX : 0.0;
    const double fractionY = travelY > 0.0 ? (travelY - position.y) / travelY : 0.0;

    const auto write = [] (juce::Slider* s, double fraction)
    { s->setValue (s->getMinimum() + (s->getMaximum() - s->getMinimum()) * fraction, juce::sendNotificationAsync); };
    for (auto* s : handle.horizontal)
        write (s, fractionX);
    for (auto* s : handle.vertical)
        write (s, fractionY);
    if (head != nullptr && handle.component == head)
        for (auto* s : orientationSliders)
            s->setValue ((double) ((pi + head->orientation) * 0.15915494f * (float) span (*s) + (float) s->getMinimum()),
                         juce::sendNotificationAsync);
}

void XyPadBase::sliderValueChanged (juce::Slider* slider)
{
    // The pad's own drag writes sliders asynchronously; their echo must not move
    // the handle under the mouse.
    for (const auto& handle : handles)
        if (handle.component->isMouseOverOrDragging())
            return;

    for (auto& handle : handles)
    {
        if (std::find (handle.horizontal.begin(), handle.horizontal.end(), slider) != handle.horizontal.end())
        {
            place (handle, slider, nullptr);
            repaint();
            return;
        }
        if (std::find (handle.vertical.begin(), handle.vertical.end(), slider) != handle.vertical.end())
        {
            place (handle, nullptr, slider);
            repaint();
            return;
        }
    }

    if (head != nullptr)
    {
        const float range = (float) span (*slider);
        head->setOrientation (range > 0.0f ? (float) (slider->getValue() - slider->getMinimum()) * 6.2831855f / range - pi : -pi);
        repaint();
    }
    else if (! handles.empty())
    {
        // A two-thumb pad takes any other slider as the last thumb's vertical one.
        place (handles.back(), nullptr, slider);
        repaint();
    }
}

//==============================================================================
XyPad2::XyPad2()
{
    addHandle (thumb1, thumb1.size, [this] (auto f) { thumb1.onMove = std::move (f); });
    addHandle (thumb2, thumb2.size, [this] (auto f) { thumb2.onMove = std::move (f); });
}

XyPad2h::XyPad2h()
{
    setHead (head);
    addHandle (head, head.size, [this] (auto f) { head.onMove = std::move (f); });
    addHandle (thumb, thumb.size, [this] (auto f) { thumb.onMove = std::move (f); });
}

XyPad3h::XyPad3h()
{
    setHead (head);
    addHandle (head, head.size, [this] (auto f) { head.onMove = std::move (f); });
    addHandle (thumb1, thumb1.size, [this] (auto f) { thumb1.onMove = std::move (f); });
    addHandle (thumb2, thumb2.size, [this] (auto f) { thumb2.onMove = std::move (f); });
}
} // namespace Gui
