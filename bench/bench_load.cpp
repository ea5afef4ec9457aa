// What a user waits for before the first frame of a big model: the ASE
// reader and the dumps, each the program's way and the reference way
// (fscanf, fprintf), Assimp's ASE import of the same file, the peak memory
// while loading, and the real viewer's time from start to first frame.
// Usage: bench_load [MODEL]   (default: a 1,000,000-face knot, generated
// into the temp directory if absent)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"
#include "mesh/ase.h"
#include "mesh/dump.h"
#include "mesh/store.h"
#include "render/render.h"
#include "mesh/store_snapshot.h"

namespace fs = std::filesystem;

constexpr int runs = 3;  // each time is the best of this many runs

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static double own_cpu_seconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return cpu_seconds(usage);
}

static void keep_best(timing* best, timing t)
{
    best->wall = std::min(best->wall, t.wall);
    best->cpu = std::min(best->cpu, t.cpu);
}

static timing time_once(void (*run)(const char*), const char* arg)
{
    auto start = std::chrono::steady_clock::now();
    double cpu = own_cpu_seconds();
    run(arg);
    return {seconds_since(start), own_cpu_seconds() - cpu};
}

static void load_with(void (*parse)(FILE*), const char* path)
{
    reset_ase_reader();
    FILE* stream = fopen(path, "r");
    if (!stream) {
        perror(path);
        exit(1);
    }
    parse(stream);
    fclose(stream);
}

static void load_scanf(const char* path) { load_with(parse_ase_scanf, path); }
static void load_fast(const char* path) { load_with(parse_ase, path); }

static size_t store_bytes()
{
    return size_t(vertex_count) * sizeof(d_data) + size_t(MAX_FACES) * (sizeof(face_data) + sizeof(tface_data)) +
           size_t(tvert_count) * sizeof(tvert_data);
}

static void dumps_printf(const char*)
{
    dump_vert_printf();
    dump_norm_printf();
    dump_vnorm_printf();
}

static void dumps_fast(const char*)
{
    dump_vert();
    dump_norm();
    dump_vnorm();
}

static std::string file_text(const char* path)
{
    std::string text;
    if (FILE* f = fopen(path, "rb")) {
        char block[1 << 16];
        for (size_t n; (n = fread(block, 1, sizeof block, f)) > 0;)
            text.append(block, n);
        fclose(f);
    }
    return text;
}

static std::string all_dumps()
{
    return file_text("dump.txt") + file_text("norm.txt") + file_text("vnorml.txt");
}

// Times both ways of dumping the loaded store in `dir`, with the console
// lines sent away; checks that they wrote the same files.
static void time_dumps(const fs::path& dir, timing* printf_time, timing* fast_time, bool* same)
{
    fs::path home = fs::current_path();
    fs::current_path(dir);
    fflush(stdout);
    int console = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    *printf_time = *fast_time = {1e9, 1e9};
    *same = true;
    for (int i = 0; i < runs; i++) {
        keep_best(printf_time, time_once(dumps_printf, nullptr));
        std::string reference = all_dumps();
        keep_best(fast_time, time_once(dumps_fast, nullptr));
        *same = *same && all_dumps() == reference;
    }
    fflush(stdout);
    dup2(console, 1);
    close(console);
    fs::current_path(home);
}

// The child that only loads, with the viewer's start-up memory setting:
// prints its peak resident size before and after loading, in KiB, and the
// store's size in bytes.
static int load_only(const char* reader, const char* path)
{
    keep_frame_memory();
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    long before = usage.ru_maxrss;
    (strcmp(reader, "fast") == 0 ? load_fast : load_scanf)(path);
    getrusage(RUSAGE_SELF, &usage);
    printf("%ld %ld %zu\n", before, usage.ru_maxrss, store_bytes());
    return 0;
}

struct peak_memory {
    long before_kb, peak_kb;
    size_t store;
};

static peak_memory measure_peak(const char* reader, const char* path)
{
    peak_memory m = {};
    std::string command =
        fs::read_symlink("/proc/self/exe").string() + " --load-only " + reader + " '" + path + "'";
    if (FILE* child = popen(command.c_str(), "r")) {
        if (fscanf(child, "%ld %ld %zu", &m.before_kb, &m.peak_kb, &m.store) != 3)
            m = {};
        pclose(child);
    }
    return m;
}

// Starts the real viewer on the model in `dir` (which holds its texture)
// and prints the way to its first frame, phase by phase.
static void print_start_phases(const fs::path& dir, const char* model)
{
    start_phases p = viewer_start_phases(dir.c_str(), model);
    if (p.first_frame < 0 || p.load_begin < 0 || p.load_end < 0 || p.dumps_begin < 0 || p.dumps_end < 0) {
        printf("\naseview, start to first frame: the viewer ended or never drew\n");
        return;
    }
    printf("\naseview, start to first frame: %.3f s (peak memory %.1f MB)\n", p.first_frame, p.peak_mb);
    printf("  start to model opened      %.3f s\n", p.load_begin);
    printf("  model read                 %.3f s\n", p.load_end - p.load_begin);
    printf("  window and texture         %.3f s\n", p.dumps_begin - p.load_end);
    printf("  dumps                      %.3f s\n", p.dumps_end - p.dumps_begin);
    printf("  first frame                %.3f s\n", p.first_frame - p.dumps_end);
}

static void row(const char* what, timing reference, timing ours, double target)
{
    double wall = reference.wall / ours.wall, cpu = reference.cpu / ours.cpu;
    printf("%-32s %7.3f s %7.3f s %6.1fx %7.3f s %7.3f s %6.1fx   %gx: %s\n", what, reference.wall, ours.wall, wall,
           reference.cpu, ours.cpu, cpu, target, wall >= target ? "met" : cpu >= target ? "met in CPU time" : "NOT met");
}

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "--load-only") == 0)
        return load_only(argv[2], argv[3]);
    std::string model = argc > 1 ? argv[1] : generated_knot("knot1m.ase", 1000000);
    const char* path = model.c_str();
    size_t file_size = fs::file_size(model);

    // The readers take turns, so that a machine that speeds up or slows
    // down during the run favours none of them.
    timing scanf_time = {1e9, 1e9}, fast_time = {1e9, 1e9}, assimp_time = {1e9, 1e9};
    bool same_store = true;
    for (int i = 0; i < runs; i++) {
        keep_best(&scanf_time, time_once(load_scanf, path));
        store_snapshot reference = snapshot_store();
        keep_best(&fast_time, time_once(load_fast, path));
        same_store = same_store && snapshot_store() == reference;
        if (assimp_time.wall > 0)
            keep_best(&assimp_time, run_program({"assimp", "info", model}));
    }
    printf("model %s: %d vertices, %d faces, %.1f MB; stores identical: %s\n\n", path, vertex_count, MAX_FACES,
           file_size / 1e6, same_store ? "yes" : "NO");

    fs::path dir = fs::temp_directory_path() / ("aseview_bench_load_" + std::to_string(getpid()));
    fs::create_directories(dir);
    timing printf_time = {}, dump_time = {};
    bool same_dumps = false;
    time_dumps(dir, &printf_time, &dump_time, &same_dumps);

    printf("best of %d runs        %25s %30s   target\n", runs, "wall time", "processor time");
    printf("%-32s %9s %9s %7s %9s %9s %7s\n", "", "reference", "program", "ratio", "reference", "program", "ratio");
    row("ASE reader: fscanf -> fast", scanf_time, fast_time, 5);
    if (assimp_time.wall > 0)
        row("ASE import: assimp info -> fast", assimp_time, fast_time, 8);
    else
        printf("%-34s skipped: 'assimp info' did not run (Debian's assimp-utils)\n", "ASE import: assimp");
    row("dumps: fprintf -> fast", printf_time, dump_time, 3);
    printf("dump files identical: %s\n\n", same_dumps ? "yes" : "NO");

    for (const char* reader : {"scanf", "fast"}) {
        peak_memory m = measure_peak(reader, path);
        double peak = m.peak_kb * 1024 / 1e6, limit = (m.store + file_size) / 1e6;
        printf("peak memory, %-5s reader: %7.1f MB (%.1f MB before loading); store %.1f MB + file %.1f MB = "
               "%.1f MB: %s\n",
               reader, peak, m.before_kb * 1024 / 1e6, m.store / 1e6, file_size / 1e6, limit,
               peak > 0 && peak <= limit ? "within" : "OVER");
    }

    if (use_private_display()) {
        // The viewer reads the model from its own folder, where its opening
        // and closing can be watched.
        copy_run_files({"map2.tga"}, dir);
        std::error_code linked;
        fs::create_hard_link(model, dir / "model.ase", linked);
        if (linked)
            fs::copy_file(model, dir / "model.ase");
        print_start_phases(dir, "model.ase");
    } else {
        printf("\naseview, start to first frame: skipped, no X server of its own (Xvfb) could be started\n");
    }
    fs::remove_all(dir);
    return same_store && same_dumps ? 0 : 1;
}
