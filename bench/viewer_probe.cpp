#include "bench/viewer_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

using clock_type = std::chrono::steady_clock;

static double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

double cpu_seconds(const rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

timing run_program(const std::vector<std::string>& argv, const char* folder, bool with_display)
{
    auto start = clock_type::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (!with_display)
            unsetenv("DISPLAY");
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (!folder || chdir(folder) == 0)
            execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    double elapsed = seconds_since(start);
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1, cpu_seconds(usage),
            double(usage.ru_maxrss) * 1024 / 1e6};
}

std::vector<std::string> corpus_models(const std::string& corpus)
{
    std::vector<std::string> models;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(corpus + "/ase", missing))
        models.push_back(entry.path().string());
    if (missing)
        printf("no corpus at %s: generated models only\n", corpus.c_str());
    std::sort(models.begin(), models.end());
    return models;
}

void write_boxes_model(const std::string& path, const std::vector<std::string>& bitmaps)
{
    std::ofstream out(path);
    out << "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT " << bitmaps.size() << "\n";
    for (size_t m = 0; m < bitmaps.size(); m++)
        out << "*MATERIAL " << m << " {\n*MAP_DIFFUSE {\n*BITMAP \"" << bitmaps[m] << "\"\n}\n}\n";
    out << "}\n";
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (size_t o = 0; o < bitmaps.size(); o++) {
        out << "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 8\n*MESH_NUMFACES 12\n*MESH_VERTEX_LIST {\n";
        for (int v = 0; v < 8; v++)
            out << "*MESH_VERTEX " << v << ' ' << (v & 1) * 10 + o * 15 << ' ' << (v >> 1 & 1) * 10 << ' '
                << (v >> 2 & 1) * 10 << "\n";
        out << "}\n*MESH_FACE_LIST {\n";
        for (int q = 0; q < 6; q++) {
            out << "*MESH_FACE " << 2 * q << ": A: " << quads[q][0] << " B: " << quads[q][1] << " C: " << quads[q][2]
                << "\n";
            out << "*MESH_FACE " << 2 * q + 1 << ": A: " << quads[q][0] << " B: " << quads[q][2]
                << " C: " << quads[q][3] << "\n";
        }
        out << "}\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n*MESH_TVERT 1 1 0 0\n*MESH_TVERT 2 1 1 0\n"
               "*MESH_TVERT 3 0 1 0\n}\n*MESH_TFACELIST {\n";
        for (int f = 0; f < 12; f++)
            out << "*MESH_TFACE " << f << (f % 2 ? " 0 2 3" : " 0 1 2") << "\n";
        out << "}\n}\n*MATERIAL_REF " << o << "\n}\n";
    }
}

double seconds_to_first_frame(const ViewerStart& how)
{
    auto start = clock_type::now();
    RealViewer viewer;
    viewer.start(how);
    return viewer.wait_for_first_frame(120) ? seconds_since(start) : -1;
}

std::string generated_knot(const char* name, int faces, const char* bitmap)
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "aseview_bench";
    std::filesystem::path model = dir / name;
    if (std::filesystem::exists(model))
        return model.string();
    std::filesystem::create_directories(dir);
    printf("generating %s ...\n", model.c_str());
    fflush(stdout);
    std::string texture = bitmap ? std::string(" --texture '") + bitmap + "'" : "";
    std::string command =
        "'" MAKE_KNOT "'" + texture + " '" + model.string() + "' " + std::to_string(faces) + " >/dev/null";
    if (std::system(command.c_str()) != 0) {
        fprintf(stderr, "make_knot failed\n");
        exit(1);
    }
    return model.string();
}

// The file events in the viewer's folder that mark its phases.
static void note_file_events(int watch, const char* model, clock_type::time_point start, start_phases* phases)
{
    alignas(inotify_event) char events[4096];
    ssize_t length;
    while ((length = read(watch, events, sizeof events)) > 0) {
        for (char* p = events; p < events + length; p += sizeof(inotify_event) + ((inotify_event*)p)->len) {
            auto* event = (inotify_event*)p;
            if (event->len == 0)
                continue;
            double t = seconds_since(start);
            bool opened = event->mask & IN_OPEN, closed = event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
            if (strcmp(event->name, model) == 0 && opened && phases->load_begin < 0)
                phases->load_begin = t;
            else if (strcmp(event->name, model) == 0 && closed && phases->load_end < 0)
                phases->load_end = t;
            else if (strncmp(event->name, ".dump.txt.", 10) == 0 && opened && phases->dumps_begin < 0)
                phases->dumps_begin = t;
            else if (strcmp(event->name, "vnorml.txt") == 0 && (event->mask & IN_MOVED_TO))
                phases->dumps_end = t;
        }
    }
}

double process_peak_mb(pid_t pid)
{
    double peak = 0;
    std::string status = "/proc/" + std::to_string(pid) + "/status";
    if (FILE* f = fopen(status.c_str(), "r")) {
        char line[256];
        long kb;
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "VmHWM: %ld", &kb) == 1)
                peak = kb * 1024 / 1e6;
        fclose(f);
    }
    return peak;
}

start_phases viewer_start_phases(const char* dir, const char* model)
{
    start_phases phases = {-1, -1, -1, -1, -1, 0};
    const char* model_name = model ? model : "knot.ase";
    int watch = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(watch, dir, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_MOVED_TO);
    auto start = clock_type::now();
    RealViewer viewer;
    viewer.start({.folder = dir,
                  .args = model ? std::vector<std::string>{model} : std::vector<std::string>{},
                  .program = ASEVIEW_BIN});
    // File events and the X server's reports, each noted as it comes.
    while (phases.first_frame < 0 && viewer.running()) {
        pollfd events[2] = {{watch, POLLIN, 0}, {viewer.x_events_fd(), POLLIN, 0}};
        poll(events, 2, 20);
        note_file_events(watch, model_name, start, &phases);
        if (viewer.frame_presented())
            phases.first_frame = seconds_since(start);
    }
    phases.peak_mb = process_peak_mb(viewer.pid());
    close(watch);
    return phases;
}
