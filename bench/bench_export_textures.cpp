// aseview-export's cost in large textures, the real program run on models
// of boxes, each box in a material of its own, in turns with its floor:
//  1. one 4096 x 4096 DXT1 DDS named by the materials of 1, 20 and 80 boxes,
//     processor time beside the same boxes with the texture named by the
//     first material alone (goal: at most 1.2x: the texture is converted
//     once, however many materials name it);
//  2. 1, 2 and 4 distinct 4096 x 4096 Targa textures, one a box, peak
//     memory beside one texture's (goal: four at most 1.5x: the textures
//     are converted one at a time).
// Usage: bench_export_textures [benchmark flags] [EXPORTER]   (another
// build's aseview-export, to compare before and after)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"
#include "tests/support/dds_write.h"
#include "tests/support/targa.h"

namespace fs = std::filesystem;

namespace {

constexpr int side = 4096;
std::string exporter = EXPORT_BIN;
fs::path folder;

// Smooth gradients, shifted by `seed`: their PNGs, which the GLB must hold
// whole, are small beside the pixels, and quick to make.
DdsPicture painted(int seed)
{
    DdsPicture p = {side, side, DdsBytes(size_t(side) * side * 4)};
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            uint8_t* t = &p.rgba[(size_t(y) * side + size_t(x)) * 4];
            t[0] = uint8_t(x * 256 / side + seed * 40);
            t[1] = uint8_t(y * 256 / side);
            t[2] = uint8_t((x + y) * 128 / side);
            t[3] = 255;
        }
    return p;
}

void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!file || fclose(file) != 0 || !written) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

// A 32-bit Targa of the picture, bottom row first as Targa stores it.
void write_targa(const fs::path& path, const DdsPicture& p)
{
    TgaHeader header;
    header.width = header.height = uint16_t(side);
    header.bpp = 32;
    header.descriptor = 8;
    Bytes bgra(p.rgba.size());
    for (size_t i = 0; i < bgra.size(); i += 4) {
        bgra[i] = p.rgba[i + 2];
        bgra[i + 1] = p.rgba[i + 1];
        bgra[i + 2] = p.rgba[i];
        bgra[i + 3] = p.rgba[i + 3];
    }
    write_bytes(path, tga_bytes(header, bgra));
}

// The textures, made once for all the measures.
void write_textures()
{
    write_bytes(folder / "big.dds", dds_file(dds_dxt1, {painted(0)}, 0));
    for (int i = 0; i < 4; i++)
        write_targa(folder / ("big" + std::to_string(i) + ".tga"), painted(i));
}

// A model of boxes whose materials name those bitmaps ("" for none).
std::string boxes(const std::string& name, const std::vector<std::string>& bitmaps)
{
    std::string path = (folder / name).string();
    write_boxes_model(path, bitmaps);
    return path;
}

// Exports the model; the run's measures, or the benchmark failed.
bool exported(benchmark::State& state, const std::string& model, timing* t)
{
    *t = run_program({exporter, model, (folder / "out.glb").string()}, nullptr, false);
    if (t->wall < 0)
        state.SkipWithError(("the export of " + model + " failed").c_str());
    return t->wall >= 0;
}

void dds_named_by(benchmark::State& state)
{
    size_t materials = size_t(state.range(0));
    std::vector<std::string> first_alone(materials, "");
    first_alone[0] = "big.dds";
    std::string model = boxes("named.ase", std::vector<std::string>(materials, "big.dds"));
    std::string floor = boxes("floor.ase", first_alone);
    std::vector<double> cpu, floor_cpu;
    for (auto _ : state) {
        timing named, once;
        if (!exported(state, model, &named) || !exported(state, floor, &once))
            break;
        state.SetIterationTime(named.cpu);
        cpu.push_back(named.cpu);
        floor_cpu.push_back(once.cpu);
    }
    state.counters["floor_s"] = median(floor_cpu);
    state.counters["x_floor"] = median(cpu) / median(floor_cpu);
}
// Processor time of the exporter, the benchmark's own time is its waiting.
BENCHMARK(dds_named_by)
    ->Arg(1)
    ->Arg(20)
    ->Arg(80)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

void targa_textures(benchmark::State& state)
{
    std::vector<std::string> bitmaps;
    for (int i = 0; i < state.range(0); i++)
        bitmaps.push_back("big" + std::to_string(i) + ".tga");
    std::string model = boxes("distinct.ase", bitmaps);
    std::string one = boxes("one.ase", {"big0.tga"});
    std::vector<double> peak, one_peak;
    for (auto _ : state) {
        timing all, single;
        if (!exported(state, model, &all) || !exported(state, one, &single))
            break;
        state.SetIterationTime(all.cpu);
        peak.push_back(all.peak_mb);
        one_peak.push_back(single.peak_mb);
    }
    state.counters["peak_MB"] = median(peak);
    state.counters["x_one"] = median(peak) / median(one_peak);
}
BENCHMARK(targa_textures)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc > 1)
        exporter = fs::absolute(argv[1]).string();
    folder = fs::temp_directory_path() / ("aseview_bench_textures_" + std::to_string(getpid()));
    fs::create_directories(folder);
    write_textures();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(folder);
    return 0;
}
