// Frame time of the viewer's drawing under the machine's GL (llvmpipe in CI)
// for the default knot and a 100,000-face knot, and the time from starting
// the real viewer to its first frame on screen. Needs an X display.
#include <benchmark/benchmark.h>

#include <GL/glut.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/viewer_probe.h"
#include "mesh/ase.h"
#include "mesh/store.h"
#include "render/render.h"

namespace fs = std::filesystem;

static void frame_time(benchmark::State& state, const char* model)
{
    reset_ase_reader();
    load_model(model);
    reshape_handler(640, 480);
    for (auto _ : state) {
        display_handler();
        glFinish();
    }
    state.counters["faces"] = MAX_FACES;
}
// Wall time: llvmpipe draws on its own threads.
BENCHMARK_CAPTURE(frame_time, knot, ASEVIEW_RUN_DIR "/knot.ase")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frame_time, knot_100k, ASEVIEW_BENCH_DIR "/knot100k.ase")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

static void start_to_first_frame(benchmark::State& state)
{
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    copy_run_files({"knot.ase", "map2.tga"}, dir);
    for (auto _ : state) {
        double elapsed = viewer_start_phases(dir.c_str(), nullptr).first_frame;
        if (elapsed < 0) {
            state.SkipWithError("the viewer ended before its first frame");
            break;
        }
        state.SetIterationTime(elapsed);
    }
    fs::remove_all(dir);
}
BENCHMARK(start_to_first_frame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    // Beside the viewer's window, which opens at the origin.
    glutInitWindowPosition(640, 0);
    glutCreateWindow("aseview bench");
    // init_scene reads map2.tga from the working directory.
    fs::current_path(ASEVIEW_RUN_DIR);
    init_scene();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
