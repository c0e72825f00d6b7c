#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    // The test thread is the message thread, as a host's would be for state and editor calls.
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
