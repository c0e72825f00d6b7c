#include "hrtf/HrtfTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
struct Table
{
    const char* name;
    const float* left;
    const float* right;
    int taps;
    double rate;
};

const std::vector<Table>& tables()
{
    static const std::vector<Table> t { { "44.1 kHz", lhrtf44, rhrtf44, hrtf::taps44, 44100.0 },
                                        { "48 kHz", lhrtf48, rhrtf48, hrtf::taps48, 48000.0 },
                                        { "88.2 kHz", lhrtf88, rhrtf88, hrtf::taps88, 88200.0 },
                                        { "96 kHz", lhrtf96, rhrtf96, hrtf::taps96, 96000.0 } };
    return t;
}

// Real directions per ring around the full circle.
constexpr int ringCount[hrtf::numRings] = { 56, 60, 72, 72, 72, 72, 72, 60, 56, 45, 36, 24, 12, 1 };

bool isReal (int slot) { return slot % hrtf::slotsPerRing < ringCount[slot / hrtf::slotsPerRing]; }

const float* row (const float* table, int taps, int slot) { return table + (size_t) slot * (size_t) taps; }

double sum (const float* r, int taps)
{
    double s = 0.0;
    for (int t = 0; t < taps; ++t)
        s += r[t];
    return s;
}

double energy (const float* r, int taps)
{
    double e = 0.0;
    for (int t = 0; t < taps; ++t)
        e += (double) r[t] * r[t];
    return e;
}

int peakTap (const float* r, int taps)
{
    int best = 0;
    for (int t = 1; t < taps; ++t)
        if (std::abs (r[t]) > std::abs (r[best]))
            best = t;
    return best;
}
} // namespace

TEST (Hrtf, TapCountsFollowTheRate)
{
    for (const auto& t : tables())
        EXPECT_EQ (t.taps, (int) std::lround (128.0 * t.rate / 44100.0)) << t.name;
}

TEST (Hrtf, AzimuthGrid)
{
    const std::vector<std::pair<int, float>> expected {
        { 0, 0.0f }, { 1, 6.43f }, { 55, 353.65f }, { 56, 1.0e9f }, { 72 + 59, 354.0f }, { 72 + 60, 1.0e9f },
        { 288, 0.0f }, { 306, 90.0f }, { 342, 270.0f }, { 359, 355.0f }, { 8 * 72 + 55, 353.65f },
        { 9 * 72 + 44, 352.0f }, { 9 * 72 + 45, 1.0e9f }, { 12 * 72 + 11, 330.0f }, { 13 * 72, 0.0f },
        { 13 * 72 + 1, 1.0e9f }, { 1007, 1.0e9f },
    };
    for (auto [slot, azimuth] : expected)
        EXPECT_EQ (azimuths[slot], azimuth) << "slot " << slot;
    for (int slot = 0; slot < hrtf::numSlots; ++slot)
        EXPECT_EQ (isReal (slot), azimuths[slot] < 360.0f) << "slot " << slot;
}

TEST (Hrtf, EmptySlotsSilentRealSlotsStartAtTapZero)
{
    for (const auto& t : tables())
        for (int slot = 0; slot < hrtf::numSlots; ++slot)
            for (const float* table : { t.left, t.right })
            {
                const float* r = row (table, t.taps, slot);
                if (! isReal (slot))
                    ASSERT_EQ (energy (r, t.taps), 0.0) << t.name << " slot " << slot;
                else
                    ASSERT_GT (energy (r, t.taps), 1e-4) << t.name << " slot " << slot;
            }

    // The responses are not padded: the measurements' own noise (a few 16-bit
    // steps, sometimes exactly zero) starts within the first handful of taps.
    for (int slot = 0; slot < hrtf::numSlots; ++slot)
        if (isReal (slot))
            for (const float* table : { lhrtf44, rhrtf44 })
            {
                const float* r = row (table, 128, slot);
                ASSERT_LT (std::find_if (r, r + 128, [] (float v) { return v != 0.0f; }) - r, 8) << "slot " << slot;
            }
}

TEST (Hrtf, RightEarMirrorsLeftEarWithinEachRing)
{
    for (const auto& t : tables())
        for (int ring = 0; ring < hrtf::numRings; ++ring)
        {
            const int c = ringCount[ring];
            for (int k = 0; k < c; ++k)
            {
                const float* r = row (t.right, t.taps, ring * 72 + k);
                const float* l = row (t.left, t.taps, ring * 72 + (c - k) % c);
                for (int tap = 0; tap < t.taps; ++tap)
                    ASSERT_EQ (r[tap], l[tap]) << t.name << " ring " << ring << " position " << k;
            }
            // Straight ahead and straight behind both ears hear the same.
            for (int k : { 0, c % 2 == 0 ? c / 2 : 0 })
                for (int tap = 0; tap < t.taps; ++tap)
                    ASSERT_EQ (row (t.left, t.taps, ring * 72 + k)[tap], row (t.right, t.taps, ring * 72 + k)[tap]);
        }
}

TEST (Hrtf, TableEnergyAtTheMeasuredRate)
{
    double total = 0.0;
    for (int slot = 0; slot < hrtf::numSlots; ++slot)
        total += energy (row (lhrtf44, 128, slot), 128);
    EXPECT_NEAR (total, 1507.3, 0.05);

    double right = 0.0;
    for (int slot = 0; slot < hrtf::numSlots; ++slot)
        right += energy (row (rhrtf44, 128, slot), 128);
    EXPECT_NEAR (right, total, 1e-6 * total);
}

TEST (Hrtf, ResampledResponsesKeepGainAndScaleEnergy)
{
    for (const auto& t : tables())
    {
        if (t.taps == hrtf::taps44)
            continue;
        const double ratio = 44100.0 / t.rate;
        double worstSum = 0.0, worstEnergy = 0.0;
        for (int slot = 0; slot < hrtf::numSlots; ++slot)
        {
            if (! isReal (slot))
                continue;
            for (auto [measuredTable, resampledTable] : { std::pair { lhrtf44, t.left }, std::pair { rhrtf44, t.right } })
            {
                const float* measured = row (measuredTable, 128, slot);
                const float* resampled = row (resampledTable, t.taps, slot);
                worstSum = std::max (worstSum, std::abs (sum (resampled, t.taps) - sum (measured, 128)));
                worstEnergy = std::max (worstEnergy,
                                        std::abs (energy (resampled, t.taps) / energy (measured, 128) / ratio - 1.0));
            }
        }
        EXPECT_LT (worstSum, 0.002) << t.name;
        EXPECT_LT (worstEnergy, 0.0025) << t.name;
    }
}

TEST (Hrtf, EvenTapsAt88kHzAreHalfTheMeasuredTaps)
{
    float worst = 0.0f;
    for (int slot = 0; slot < hrtf::numSlots; ++slot)
        for (int tap = 0; tap < 128; ++tap)
        {
            worst = std::max (worst, std::abs (row (lhrtf88, 256, slot)[2 * tap] - 0.5f * row (lhrtf44, 128, slot)[tap]));
            worst = std::max (worst, std::abs (row (rhrtf88, 256, slot)[2 * tap] - 0.5f * row (rhrtf44, 128, slot)[tap]));
        }
    EXPECT_LE (worst, 6e-8f);
}

TEST (Hrtf, TheNearEarIsLouderAndEarlier)
{
    // 90 degrees is to the right (slot 306), 270 to the left (slot 342).
    struct Case { int slot; const float* nearEar; const float* farEar; const char* what; };
    for (const auto& t : tables())
        for (const auto& c : { Case { 306, t.right, t.left, "right" }, Case { 342, t.left, t.right, "left" } })
        {
            const float* nearRow = row (c.nearEar, t.taps, c.slot);
            const float* farRow = row (c.farEar, t.taps, c.slot);
            EXPECT_GT (energy (nearRow, t.taps), 4.0 * energy (farRow, t.taps)) << t.name << " " << c.what;
            EXPECT_LT (peakTap (nearRow, t.taps) + 10 * t.taps / 128, peakTap (farRow, t.taps)) << t.name << " " << c.what;
        }
}
