#pragma once

#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>
#include <limits>

// Equality within the type's own precision: absolutely near zero, relatively elsewhere.
template <typename T>
bool nearlyEqual (T a, T b) noexcept
{
    const auto diff = std::abs (a - b);
    return diff <= std::numeric_limits<T>::min()
           || diff <= std::numeric_limits<T>::epsilon() * std::max (std::abs (a), std::abs (b));
}

// One room impulse-response request: everything a calculation depends on.
struct IrBoxCalculatorParams
{
    float roomX = 0.0f;
    float roomY = 0.0f;
    float listenerX = 0.0f;
    float listenerY = 0.0f;
    float sourceX = 0.0f;
    float sourceY = 0.0f;
    float damping = 0.0f;
    float hfDamping = 0.0f;
    int reverbType = 0;
    float listenerO = 0.0f;
    float stereoWidth = 0.0f;
    double sampleRate = 0.0;

    bool operator== (const IrBoxCalculatorParams& other) const noexcept
    {
        return nearlyEqual (roomX, other.roomX) && nearlyEqual (roomY, other.roomY)
               && nearlyEqual (listenerX, other.listenerX) && nearlyEqual (listenerY, other.listenerY)
               && nearlyEqual (sourceX, other.sourceX) && nearlyEqual (sourceY, other.sourceY)
               && nearlyEqual (damping, other.damping) && nearlyEqual (hfDamping, other.hfDamping)
               && reverbType == other.reverbType && nearlyEqual (listenerO, other.listenerO)
               && nearlyEqual (stereoWidth, other.stereoWidth) && nearlyEqual (sampleRate, other.sampleRate);
    }

    bool operator!= (const IrBoxCalculatorParams& other) const noexcept { return ! (*this == other); }
};
