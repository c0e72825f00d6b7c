// Images per second of one calculator thread, per receiver and rate, for the
// default room and the largest, least damped one. Prints a table; asserts nothing.
#include "RoomIR2D.h"

#include <chrono>
#include <cstdio>

namespace
{
struct Room
{
    const char* name;
    float x, y, damping;
};

double imagesPerSecond (const Room& room, int type, double rate, int taps, float hrtfRate)
{
    IrBoxCalculatorParams p;
    p.roomX = room.x;
    p.roomY = room.y;
    p.listenerX = 0.5f * room.x;
    p.listenerY = 0.25f * room.y;
    p.sourceX = 0.5f * room.x;
    p.sourceY = 0.75f * room.y;
    p.damping = room.damping;
    p.hfDamping = 0.1f;
    p.reverbType = type;
    p.stereoWidth = 0.5f;
    p.sampleRate = rate;

    const auto plan = BoxRoomIR::planWork (p, 1, taps);
    // A fixed band of rows around the middle, the densest part of the work.
    const int rows = juce::jmin (2 * plan.order - 1, 40);

    std::atomic<bool> busy { false };
    juce::AudioBuffer<float> buffer;
    int size = taps;
    float hrtfRateVar = hrtfRate;
    IrBoxCalculator calc;
    calc.setCalculatingBool (&busy);
    calc.setBuffer (&buffer);
    calc.setHrtfVars (&size, &hrtfRateVar);
    calc.setParams (p);
    calc.order = plan.order;
    calc.rowBegin = -rows / 2;
    calc.rowEnd = calc.rowBegin + rows;
    calc.irLength = plan.reflectionsLength;

    // Repeat until the figure rests on at least half a second of work.
    int runs = 0;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double> seconds {};
    do
    {
        calc.run();
        ++runs;
        seconds = std::chrono::steady_clock::now() - start;
    } while (seconds.count() < 0.5);
    return (double) runs * (double) rows * (double) (2 * plan.order - 1) / seconds.count();
}
} // namespace

int main()
{
    const Room rooms[] = { { "3 x 4.7 m, damping 0.05", 3.0f, 4.7f, 0.05f }, { "10 x 10 m, damping 0.005", 10.0f, 10.0f, 0.005f } };
    const char* types[] = { "XY", "MS with Cardio", "MS with Omni", "Binaural" };
    struct Rate { double hz; int taps; float hrtfRate; };
    const Rate rates[] = { { 48000.0, 139, 48000.0f }, { 96000.0, 279, 96000.0f } };

    std::printf ("%-26s %-16s %10s %16s\n", "room", "receiver", "rate", "images/s");
    for (const auto& room : rooms)
        for (int type = 0; type < 4; ++type)
            for (const auto& rate : rates)
            {
                // Output from the calculator goes to stdout; keep the table readable.
                std::fflush (stdout);
                const double ips = imagesPerSecond (room, type, rate.hz, rate.taps, rate.hrtfRate);
                std::printf ("%-26s %-16s %10.0f %16.0f\n", room.name, types[type], rate.hz, ips);
            }
    return 0;
}
