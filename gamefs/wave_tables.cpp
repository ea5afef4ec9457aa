// Quake III waves, read as the game reads them: from 1024-entry tables of
// one period each, indexed by the wave's argument in 1/1024ths of a period.
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "gamefs/stages.h"

namespace {

constexpr int table_size = 1024;
using wave_table = std::array<float, table_size>;

struct wave_tables {
    wave_table sin, square, triangle, sawtooth, inverse_sawtooth;

    wave_tables()
    {
        for (int i = 0; i < table_size; i++) {
            // 1023, not 1024: the game's sine does not quite close its period.
            sin[i] = float(std::sin(2.0 * std::numbers::pi * i / (table_size - 1)));
            square[i] = i < table_size / 2 ? 1.0f : -1.0f;
            sawtooth[i] = float(i) / table_size;
            inverse_sawtooth[i] = 1.0f - sawtooth[i];
        }
        const int quarter = table_size / 4;
        for (int i = 0; i < table_size / 2; i++)
            triangle[i] = i < quarter ? float(i) / quarter : 1.0f - triangle[i - quarter];
        for (int i = table_size / 2; i < table_size; i++)
            triangle[i] = -triangle[i - table_size / 2];
    }
};

const wave_tables& tables()
{
    static const wave_tables built;
    return built;
}

// The entry for an argument in periods. Whole periods are dropped before the
// index is made, so a negative or huge argument reads the table like any
// other; one that is not finite reads its start.
int table_index(float periods)
{
    double position = std::floor(double(periods) * table_size);
    if (!std::isfinite(position))
        return 0;
    return int(position - table_size * std::floor(position / table_size)) & (table_size - 1);
}

// A lattice value in [-1, 1] for each whole number, repeating every 256.
float lattice(int64_t n)
{
    uint32_t h = uint32_t(n & 255) * 0x9E3779B1u;
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return float(h & 0xFFFF) / 32767.5f - 1.0f;
}

// The game's noise is seeded at random at start-up; this one is the same
// kind of noise, lattice values joined by straight lines, but the same on
// every run.
float noise(float x)
{
    if (!std::isfinite(x))
        return 0.0f;
    double cell = std::floor(double(x));
    double fraction = double(x) - cell;
    int64_t n = int64_t(cell - 256.0 * std::floor(cell / 256.0));
    return float(lattice(n) + (lattice(n + 1) - lattice(n)) * fraction);
}

const wave_table& table_of(wave_function function)
{
    switch (function) {
    case wave_function::square:
        return tables().square;
    case wave_function::triangle:
        return tables().triangle;
    case wave_function::sawtooth:
        return tables().sawtooth;
    case wave_function::inverse_sawtooth:
        return tables().inverse_sawtooth;
    default:
        return tables().sin;
    }
}

}  // namespace

float wave_value(const material_wave& wave, float time)
{
    if (wave.function == wave_function::noise)
        return wave.base + wave.amplitude * noise((time + wave.phase) * wave.frequency);
    return wave.base + wave.amplitude *
                           table_of(wave.function)[table_index(wave.phase + time * wave.frequency)];
}
