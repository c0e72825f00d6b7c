#pragma once

// Head-related impulse responses of the MIT KEMAR compact set (Gardner and Martin,
// MIT Media Lab, 1994), generated at build time by tools/HrtfTableGenerator.cpp.
// 14 elevation rings (-40..+90 degrees) of 72 slots; slot = ring * 72 + position.
// Each table is slot-major: the response of slot s starts at s * taps.

namespace hrtf
{
constexpr int numRings = 14;
constexpr int slotsPerRing = 72;
constexpr int numSlots = numRings * slotsPerRing;
constexpr int horizontalRing = 4;
constexpr int taps44 = 128, taps48 = 139, taps88 = 256, taps96 = 279;
} // namespace hrtf

extern "C"
{
extern const float azimuths[hrtf::numSlots];
extern const float lhrtf44[hrtf::numSlots * hrtf::taps44];
extern const float rhrtf44[hrtf::numSlots * hrtf::taps44];
extern const float lhrtf48[hrtf::numSlots * hrtf::taps48];
extern const float rhrtf48[hrtf::numSlots * hrtf::taps48];
extern const float lhrtf88[hrtf::numSlots * hrtf::taps88];
extern const float rhrtf88[hrtf::numSlots * hrtf::taps88];
extern const float lhrtf96[hrtf::numSlots * hrtf::taps96];
extern const float rhrtf96[hrtf::numSlots * hrtf::taps96];
}
