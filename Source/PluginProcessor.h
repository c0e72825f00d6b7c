#pragma once

#include "RoomIR2D.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <mutex>

class ReverbAudioProcessor : public juce::AudioProcessor,
                             public juce::Timer
{
public:
    ReverbAudioProcessor();
    ~ReverbAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    void timerCallback() override;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameters();
    // Level in dB to linear gain; -100 dB and below is silence.
    static float decibelsToGain (float decibels);

    // Builds a request from the parameters and offers it to the engine.
    void setIrLoader();
    IrBoxCalculatorParams makeRequest() const;

    bool updateEnabled = true;
    BoxRoomIR roomIr;
    juce::dsp::ProcessSpec processSpec { 0.0, 0, 0 };
    juce::AudioProcessorValueTreeState apvts;

    // Longest an offline render waits for the responses of the current settings.
    static constexpr int offlineWaitMs = 60000;

private:
    bool wantsRecompute() const;

    // Looked up once: a lookup by name builds a string, which allocates.
    std::atomic<float>* directLevel = nullptr;
    std::atomic<float>* reflectionsLevel = nullptr;
    std::atomic<float>* update = nullptr;

    // Serialises engine control between the timer, prepareToPlay and offline
    // rendering; the real-time audio path never takes it.
    std::mutex engineControl;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ReverbAudioProcessor)
};
