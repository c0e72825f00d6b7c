// Turns the MIT KEMAR compact set (as shipped in Debian's pd-earplug) into the
// head-related response tables the calculator reads: 14 rings x 72 slots per
// table, four sample rates, both ears. Writes one binary blob and an assembler
// file that places the tables into read-only data with .incbin.
//
// usage: HrtfTableGenerator <earplug_data.txt> <out.bin> <out.S>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{
constexpr int rings = 14;
constexpr int slotsPerRing = 72;
constexpr int slots = rings * slotsPerRing;
constexpr int measuredTaps = 128;
constexpr double tableEnergy44 = 1507.3;
constexpr float emptyAzimuth = 1.0e9f;

struct Ring
{
    int elevation;
    int directions; // around the whole circle, after mirroring
    double step;    // degrees, as the azimuth table holds it
};

// Directions per ring around the full circle; the data holds 0..180 degrees.
const Ring ringGrid[rings] = {
    { -40, 56, 6.43 }, { -30, 60, 6.0 }, { -20, 72, 5.0 }, { -10, 72, 5.0 }, { 0, 72, 5.0 },
    { 10, 72, 5.0 },   { 20, 72, 5.0 },  { 30, 60, 6.0 },  { 40, 56, 6.43 }, { 50, 45, 8.0 },
    { 60, 36, 10.0 },  { 70, 24, 15.0 }, { 80, 12, 30.0 }, { 90, 1, 0.0 },
};

struct Rate
{
    const char* suffix;
    double hz;
    int taps;
};

const Rate rates[] = { { "44", 44100.0, 128 }, { "48", 48000.0, 139 }, { "88", 88200.0, 256 }, { "96", 96000.0, 279 } };

[[noreturn]] void fail (const std::string& message)
{
    std::fprintf (stderr, "HrtfTableGenerator: %s\n", message.c_str());
    std::exit (1);
}

using Response = std::vector<double>;

struct Measured
{
    std::vector<Response> left { (size_t) slots }, right { (size_t) slots };
    std::vector<bool> present = std::vector<bool> (slots, false);
};

Measured readMeasurements (const char* path)
{
    std::ifstream in (path);
    if (! in)
        fail (std::string ("cannot read ") + path + ": run scripts/setup.sh to fetch the KEMAR data");

    std::stringstream whole;
    whole << in.rdbuf();
    const auto text = whole.str();

    const std::regex header (R"(\*\* Impulse Index: *(\d+), *Sub Index: *(\d+), *File: *H(-?\d+)e(\d+)a\.wav *\*\*)");
    Measured m;
    int blocks = 0;

    auto it = std::sregex_iterator (text.begin(), text.end(), header);
    for (; it != std::sregex_iterator(); ++it)
    {
        const auto& match = *it;
        const int position = std::stoi (match[2]);
        const int elevation = std::stoi (match[3]);
        int ring = -1;
        for (int r = 0; r < rings; ++r)
            if (ringGrid[r].elevation == elevation)
                ring = r;
        if (ring < 0)
            fail ("unexpected elevation " + std::to_string (elevation));
        if (position < 0 || position > ringGrid[ring].directions / 2)
            fail ("unexpected position " + std::to_string (position) + " at elevation " + std::to_string (elevation));

        const auto bodyStart = (size_t) (match.position() + match.length());
        const auto next = text.find ("**", bodyStart);
        std::istringstream body (text.substr (bodyStart, next == std::string::npos ? std::string::npos : next - bodyStart));
        Response l, r;
        double a, b;
        while (body >> a >> b)
        {
            l.push_back (a);
            r.push_back (b);
        }
        if (l.size() != measuredTaps || ! body.eof())
            fail ("direction " + match[0].str() + " does not hold 128 left/right pairs");

        const int slot = ring * slotsPerRing + position;
        if (m.present[(size_t) slot])
            fail ("direction measured twice: " + match[0].str());
        m.left[(size_t) slot] = l;
        m.right[(size_t) slot] = r;
        m.present[(size_t) slot] = true;
        ++blocks;
    }

    for (int r = 0; r < rings; ++r)
        for (int k = 0; k <= ringGrid[r].directions / 2; ++k)
            if (! m.present[(size_t) (r * slotsPerRing + k)])
                fail ("missing direction at elevation " + std::to_string (ringGrid[r].elevation) + ", position "
                      + std::to_string (k));
    if (blocks != 368)
        fail ("expected 368 measured directions, found " + std::to_string (blocks));
    return m;
}

// Left ear: measured on the near half, the other ear's measurement mirrored onto the far half.
std::vector<Response> buildLeftEar (const Measured& m)
{
    std::vector<Response> left ((size_t) slots, Response (measuredTaps, 0.0));
    for (int r = 0; r < rings; ++r)
    {
        const int c = ringGrid[r].directions;
        for (int k = 0; k < c; ++k)
        {
            const bool near = k <= c / 2;
            const int source = r * slotsPerRing + (near ? k : c - k);
            left[(size_t) (r * slotsPerRing + k)] = near ? m.left[(size_t) source] : m.right[(size_t) source];
        }
    }
    return left;
}

// The right ear is the left ear seen from the other side of the head.
int mirrorSlot (int slot)
{
    const int r = slot / slotsPerRing, k = slot % slotsPerRing, c = ringGrid[r].directions;
    return k < c ? r * slotsPerRing + (c - k) % c : slot;
}

// Band-limited periodic interpolation of one whole response to n taps.
Response resample (const Response& x, int n, double gain)
{
    using C = std::complex<double>;
    const int m = (int) x.size();
    std::vector<C> spectrum ((size_t) m), wide ((size_t) n);
    for (int k = 0; k < m; ++k)
        for (int t = 0; t < m; ++t)
            spectrum[(size_t) k] += x[(size_t) t] * std::polar (1.0, -2.0 * M_PI * k * t / m);

    const int half = m / 2;
    for (int k = 0; k < half; ++k)
        wide[(size_t) k] = spectrum[(size_t) k];
    for (int k = 1; k < half; ++k)
        wide[(size_t) (n - k)] = spectrum[(size_t) (m - k)];
    // The Nyquist bin stands for both signs of that frequency once the spectrum is wider.
    if (n > m)
    {
        wide[(size_t) half] += 0.5 * spectrum[(size_t) half];
        wide[(size_t) (n - half)] += 0.5 * spectrum[(size_t) half];
    }
    else
        wide[(size_t) half] = spectrum[(size_t) half];

    Response y ((size_t) n);
    const double scale = gain / m; // 1/m undoes the forward transform at the old length
    for (int t = 0; t < n; ++t)
    {
        C sum = 0.0;
        for (int k = 0; k < n; ++k)
            sum += wide[(size_t) k] * std::polar (1.0, 2.0 * M_PI * k * t / n);
        y[(size_t) t] = sum.real() * scale;
    }
    return y;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 4)
        fail ("usage: HrtfTableGenerator <earplug_data.txt> <out.bin> <out.S>");

    const auto measured = readMeasurements (argv[1]);
    auto left = buildLeftEar (measured);

    double energy = 0.0;
    for (const auto& response : left)
        for (auto v : response)
            energy += v * v;
    const double gain = std::sqrt (tableEnergy44 / energy);
    for (auto& response : left)
        for (auto& v : response)
            v *= gain;

    std::vector<float> blob;
    std::ostringstream symbols;
    const auto place = [&] (const std::string& name, const std::vector<float>& values)
    {
        symbols << "    .balign 16\n    .globl " << name << "\n    .hidden " << name << "\n    .type " << name
                << ", @object\n    .size " << name << ", " << values.size() * sizeof (float) << "\n"
                << name << ":\n    .incbin \"" << argv[2] << "\", " << blob.size() * sizeof (float) << ", "
                << values.size() * sizeof (float) << "\n";
        blob.insert (blob.end(), values.begin(), values.end());
        while (blob.size() % 4 != 0)
            blob.push_back (0.0f);
    };

    std::vector<float> azimuths ((size_t) slots, emptyAzimuth);
    for (int r = 0; r < rings; ++r)
        for (int k = 0; k < ringGrid[r].directions; ++k)
            azimuths[(size_t) (r * slotsPerRing + k)] = (float) (k * ringGrid[r].step);
    place ("azimuths", azimuths);

    for (const auto& rate : rates)
    {
        std::vector<float> l ((size_t) slots * (size_t) rate.taps, 0.0f), r (l.size(), 0.0f);
        for (int s = 0; s < slots; ++s)
        {
            const int ring = s / slotsPerRing;
            if (s % slotsPerRing >= ringGrid[ring].directions)
                continue; // empty slots stay zero
            const auto y = rate.taps == measuredTaps ? left[(size_t) s]
                                                     : resample (left[(size_t) s], rate.taps, 44100.0 / rate.hz);
            for (int t = 0; t < rate.taps; ++t)
                l[(size_t) (s * rate.taps + t)] = (float) y[(size_t) t];
        }
        for (int s = 0; s < slots; ++s)
            for (int t = 0; t < rate.taps; ++t)
                r[(size_t) (s * rate.taps + t)] = l[(size_t) (mirrorSlot (s) * rate.taps + t)];
        place (std::string ("lhrtf") + rate.suffix, l);
        place (std::string ("rhrtf") + rate.suffix, r);
    }

    std::ofstream bin (argv[2], std::ios::binary);
    bin.write (reinterpret_cast<const char*> (blob.data()), (std::streamsize) (blob.size() * sizeof (float)));
    std::ofstream asmFile (argv[3]);
    asmFile << "# Generated by HrtfTableGenerator.\n    .section .rodata\n" << symbols.str()
            << "    .section .note.GNU-stack,\"\",@progbits\n";
    if (! bin || ! asmFile)
        fail ("cannot write the output files");

    std::printf ("HRTF tables: gain %.6f, %zu floats\n", gain, blob.size());
    return 0;
}
