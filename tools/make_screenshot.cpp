// Shows a model in the real viewer, on the display or on an X server of its
// own, and saves the window's first frame as a PNG; prints the PNG's path.
// Usage: make_screenshot [--view default|fit|model | --fit] [--look game|editor]
//                        [--time SECONDS] [--size N] [--offscreen]
//                        [--max-model MIB] [--keep DIR] MODEL OUT.png
//        make_screenshot -h | --help
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/driver/display.h"
#include "tools/driver/viewer.h"
#include "tools/save_png.h"
#include "tools/scale_picture.h"

namespace fs = std::filesystem;

static const char* const usage =
    "usage: make_screenshot [--keep DIR] MODEL OUT.png\n"
    "       make_screenshot [--view VIEW | --fit] [--look LOOK] [--time SECONDS] [--size N]\n"
    "                       [--offscreen] [--max-model MIB] [--keep DIR] MODEL OUT.png\n"
    "       make_screenshot -h | --help\n"
    "Shows MODEL in aseview on DISPLAY, or on an Xvfb of its own when no display is usable,\n"
    "saves the window's first frame as OUT.png and prints the PNG's path. The viewer runs in\n"
    "a scratch folder, removed at the end, or with --keep in DIR, which keeps its dumps and\n"
    "console.txt.\n"
    "  --view VIEW      the viewer's view: default, fit (ASEVIEW_VIEW=fit, the model framed) or\n"
    "                   model (ASEVIEW_VIEW=model, every object with its own textures); in fit\n"
    "                   and model a frame showing nothing of the model is refused\n"
    "  --fit            the same as --view fit; of the two, the last one given counts\n"
    "  --look LOOK      the model view's look: game (the default, the materials as the game\n"
    "                   draws them) or editor (ASEVIEW_LOOK)\n"
    "  --time SECONDS   the model view's material clock, stopped at SECONDS (0 or more;\n"
    "                   ASEVIEW_TIME); by default 0, so that the same model gives the same picture\n"
    "  --size N         the PNG scaled, by area averaging, so that its longer side is N (1 to 4096)\n"
    "  --offscreen      always on an Xvfb of its own, never on DISPLAY\n"
    "  --max-model MIB  a model larger than MIB mebibytes is refused at once\n";

// Seconds from the viewer's start: a small model shows within a second even
// on a loaded machine, a big one takes a while to load and dump (a million
// faces, 345 MB, in 1.5 s on an idle machine; this allows 60 times that).
static double first_frame_limit(const fs::path& model)
{
    std::error_code e;
    uintmax_t size = fs::file_size(model, e);
    return 10 + (e ? 0 : double(size) / 4e6);
}

static volatile sig_atomic_t stop_signal = 0;

static void note_signal(int signal)
{
    stop_signal = signal;
}

static int fail(int status, const std::string& message)
{
    fprintf(stderr, "make_screenshot: %s\n", message.c_str());
    return status;
}

constexpr int largest_size = 4096;

struct Arguments {
    bool help = false, wrong = false;
    std::string keep;
    std::string view;  // ASEVIEW_VIEW for the viewer; empty: unset, the default view
    std::string look;  // ASEVIEW_LOOK; empty: unset, the game's look
    std::string time;  // ASEVIEW_TIME; empty: 0 in the model view, else unset
    bool offscreen = false;
    int size = 0;        // 0: as the window is
    long max_model = 0;  // MiB; 0: no limit
    std::vector<std::string> operands;  // MODEL, OUT.png
};

// A whole decimal number from 1 to `most`; 0 when it is anything else.
static long count_in(const char* text, long most)
{
    long n = 0;
    const char* end = text + strlen(text);
    auto [stop, error] = std::from_chars(text, end, n);
    return error == std::errc() && stop == end && n >= 1 && n <= most ? n : 0;
}

// A finite number of seconds, 0 or more, as the viewer reads ASEVIEW_TIME.
static bool is_time(const char* text)
{
    char* end = nullptr;
    double seconds = strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(seconds) && seconds >= 0;
}

static Arguments parse(int argc, char** argv)
{
    Arguments a;
    bool kept = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool valued = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            a.help = true;
        } else if (arg == "--keep" && valued && !kept && argv[i + 1][0]) {
            a.keep = argv[++i];
            kept = true;
        } else if (arg == "--fit") {
            a.view = "fit";
        } else if (arg == "--view" && valued) {
            std::string view = argv[++i];
            a.wrong = a.wrong || (view != "default" && view != "fit" && view != "model");
            a.view = view == "default" ? "" : view;
        } else if (arg == "--look" && valued) {
            a.look = argv[++i];
            a.wrong = a.wrong || (a.look != "game" && a.look != "editor");
        } else if (arg == "--time" && valued) {
            a.time = argv[++i];
            a.wrong = a.wrong || !is_time(a.time.c_str());
        } else if (arg == "--offscreen") {
            a.offscreen = true;
        } else if (arg == "--size" && valued && !a.size) {
            a.size = int(count_in(argv[++i], largest_size));
            a.wrong = a.wrong || !a.size;
        } else if (arg == "--max-model" && valued && !a.max_model) {
            // Up to a tebibyte: past that the limit means nothing.
            a.max_model = count_in(argv[++i], 1L << 20);
            a.wrong = a.wrong || !a.max_model;
        } else if (arg[0] == '-') {
            a.wrong = true;
        } else {
            a.operands.push_back(arg);
        }
    }
    a.wrong = a.wrong || a.operands.size() != 2;
    return a;
}

// The folder that holds the path's last component.
static fs::path folder_of(fs::path path)
{
    if (!path.has_filename())  // "a/b/" names b
        path = path.parent_path();
    return path.parent_path().empty() ? fs::path(".") : path.parent_path();
}

// Why the paths cannot be used, or the model is over max_model_mib (0: no
// limit), naming the path; empty when they can.
static std::string refusal(const std::string& model, const std::string& out,
                           const std::string& keep, long max_model_mib)
{
    // Only a regular file is opened: a FIFO's writer may never come, and
    // opening a device may do something.
    struct stat s;
    if (stat(model.c_str(), &s) != 0)
        return "cannot read " + model + ": " + strerror(errno);
    if (S_ISDIR(s.st_mode))
        return "cannot read " + model + ": it is a directory";
    if (!S_ISREG(s.st_mode))
        return "cannot read " + model + ": it is not a regular file";
    // Declined before anything starts: a file manager must never stall.
    if (max_model_mib && s.st_size > max_model_mib << 20)
        return model + " is larger than " + std::to_string(max_model_mib) + " MiB";
    int fd = open(model.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "cannot read " + model + ": " + strerror(errno);
    close(fd);
    std::error_code e;
    if (!fs::is_directory(folder_of(out), e))
        return "no folder " + folder_of(out).string() + " to write " + out + " into";
    if (!replaceable(out))
        return "cannot write " + out + ": it is there and not a regular file";
    if (!keep.empty() && !fs::is_directory(folder_of(keep), e))
        return "no folder " + folder_of(keep).string() + " to make " + keep + " in";
    if (!keep.empty() && fs::exists(keep, e) && !fs::is_directory(keep, e))
        return "cannot run in " + keep + ": it is not a directory";
    return "";
}

static fs::path beside_me(const char* name)
{
    std::error_code e;
    return fs::read_symlink("/proc/self/exe", e).parent_path() / name;
}

// Its exit status, with its output sent away; -1 when it did not exit.
static int run_quietly(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR)
        continue;
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The run in progress, for as long as it lasts: the viewer's working
// directory (a scratch folder removed at the end, or the kept one) and the
// viewer, which is ended first.
struct Run {
    fs::path folder;
    bool scratch = false;
    RealViewer viewer;

    static Run* current;
    Run() { current = this; }
    ~Run()
    {
        current = nullptr;
        viewer.stop();
        remove_scratch();
    }
    void remove_scratch()
    {
        std::error_code e;
        if (scratch)
            fs::remove_all(folder, e);
        scratch = false;
    }
};

Run* Run::current = nullptr;

// A lost X server would otherwise end the process at once, leaving the
// scratch folder behind.
static void lost_display()
{
    if (Run::current) {
        Run::current->viewer.stop(SIGKILL);
        Run::current->remove_scratch();
    }
    if (stop_signal) {
        signal(stop_signal, SIG_DFL);
        raise(stop_signal);
    }
    fail(1, "lost the connection to the X server");
    _exit(1);
}

static std::string make_run_folder(const std::string& keep, Run* run)
{
    std::error_code e;
    if (!keep.empty()) {
        run->folder = fs::absolute(keep, e);
        fs::create_directory(run->folder, e);
        return e ? "cannot make " + keep + ": " + e.message() : "";
    }
    // A TMPDIR of the caller's that a sandbox does not show falls back to /tmp.
    fs::path temp = fs::temp_directory_path(e);
    std::string pattern = ((e ? fs::path("/tmp") : temp) / "make_screenshot_XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return "cannot make a scratch folder " + pattern + ": " + strerror(errno);
    run->folder = pattern;
    run->scratch = true;
    return "";
}

// map2.tga in the run folder: the working directory's, which aseview would
// read if started here, or the default one, made by make_texture. Files in a
// kept folder are replaced, never written through a link.
static std::string put_texture(const fs::path& run)
{
    fs::path texture = run / "map2.tga";
    std::error_code e;
    bool here = fs::is_regular_file("map2.tga", e);
    if (here && fs::equivalent("map2.tga", texture, e))
        return "";
    unlink(texture.c_str());
    if (!here && run_quietly({beside_me("make_texture"), texture}) != 0)
        return "make_texture could not write " + texture.string();
    if (here && !fs::copy_file("map2.tga", texture, e))
        return "cannot copy map2.tga to " + texture.string() + ": " + e.message();
    return "";
}

static std::string new_console(const fs::path& path)
{
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return "cannot write " + path.string() + ": " + strerror(errno);
    close(fd);
    return "";
}

// The viewer's status passed on when it ended before its first frame.
static int passed_on(int status)
{
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status) != 0 ? WEXITSTATUS(status)
                                    : fail(1, "aseview ended before its first frame");
}

// Whether more than a speck of the picture (a thousandth) differs from the
// viewer's white clear colour: a model with no face still leaves a few
// pixels at the centre.
static bool shows_something(const Pixels& picture)
{
    size_t marked = 0;
    for (size_t i = 0; i < picture.rgb.size(); i += 3)
        marked += picture.rgb[i] != 255 || picture.rgb[i + 1] != 255 || picture.rgb[i + 2] != 255;
    return marked > picture.rgb.size() / 3 / 1000;
}

// What the viewer is told: the view, and in the model view its look and a
// clock stopped, at 0 unless asked otherwise.
static std::vector<std::string> viewer_environment(const Arguments& a)
{
    std::vector<std::string> env;
    if (!a.view.empty())
        env.push_back("ASEVIEW_VIEW=" + a.view);
    if (!a.look.empty())
        env.push_back("ASEVIEW_LOOK=" + a.look);
    if (!a.time.empty() || a.view == "model")
        env.push_back("ASEVIEW_TIME=" + (a.time.empty() ? std::string("0") : a.time));
    return env;
}

// Everything but the refusals and the printed path; exit status.
static int shoot(const Arguments& a, const fs::path& model, const fs::path& out)
{
    const std::string& keep = a.keep;
    fs::path aseview = beside_me("aseview");
    if (access(aseview.c_str(), X_OK) != 0)
        return fail(1, "no aseview beside make_screenshot: " + aseview.string());
    if (a.offscreen && !use_own_display())
        return stop_signal ? 1 : fail(1, "Xvfb did not start");
    if (!a.offscreen && !use_display())
        return stop_signal ? 1 : fail(1, "no usable X display, and Xvfb did not start");
    on_lost_display(lost_display);
    Run run;
    std::string problem = make_run_folder(keep, &run);
    if (problem.empty())
        problem = put_texture(run.folder);
    if (problem.empty())
        problem = new_console(run.folder / "console.txt");
    if (!problem.empty())
        return fail(1, problem);
    if (stop_signal)
        return 1;

    // -geometry +0+0 is the toolkit's: without a window manager the window
    // would sit at (-1, -1), partly off the screen. The model view names its
    // window after the model's file.
    RealViewer& viewer = run.viewer;
    if (!viewer.start({.folder = run.folder,
                       .args = {model, "-geometry", "+0+0"},
                       .program = aseview,
                       .title = a.view == "model" ? model_view_title(model) : viewer_title,
                       .env = viewer_environment(a),
                       .console = run.folder / "console.txt",
                       // Another program's window, such as a second run's,
                       // may lie over it.
                       .own_pixels = true}))
        return fail(1, "cannot start aseview and watch its frames (the X server needs the Damage "
                       "extension)");
    double limit = first_frame_limit(model);
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    bool shown = false;
    while (!stop_signal && !(shown = viewer.wait_for_first_frame(0.1)) && viewer.running() &&
           std::chrono::steady_clock::now() < end)
        continue;
    if (stop_signal)
        return 1;
    if (!shown && viewer.running())
        return fail(1, "aseview presented no frame within " +
                           std::to_string(int(limit)) + " s");
    if (!shown) {
        int status = viewer.stop();
        fputs(viewer.console().c_str(), stderr);
        return passed_on(status);
    }
    Pixels shot = viewer.screenshot();
    viewer.stop();
    if (shot.rgb.empty())
        return fail(1, "cannot read the viewer's window");
    // The fitted and model views bring every model that has a face into the
    // frame: a blank one means an empty, binary or broken model, and no
    // picture of it.
    if (!a.view.empty() && !shows_something(shot))
        return fail(1, model.string() + " shows nothing: no face to draw");
    if (a.size)
        shot = scale_picture(shot, a.size);
    problem = save_png(out, shot);
    return problem.empty() ? 0 : fail(1, problem);
}

int main(int argc, char** argv)
{
    Arguments a = parse(argc, argv);
    if (a.help) {
        fputs(usage, stdout);
        return 0;
    }
    if (a.wrong) {
        fputs(usage, stderr);
        return 2;
    }
    std::string problem = refusal(a.operands[0], a.operands[1], a.keep, a.max_model);
    if (!problem.empty())
        return fail(2, problem);

    // The view, look and clock are the options' alone: a caller's setting
    // would reach the default view, or make a picture that differs.
    for (const char* name : {"ASEVIEW_VIEW", "ASEVIEW_LOOK", "ASEVIEW_TIME"})
        unsetenv(name);

    struct sigaction action = {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::error_code e;
    fs::path out = fs::weakly_canonical(fs::absolute(a.operands[1], e), e);
    int status = shoot(a, fs::absolute(a.operands[0], e), out);
    if (stop_signal) {
        signal(stop_signal, SIG_DFL);
        raise(stop_signal);
    }
    if (status == 0)
        printf("%s\n", out.c_str());
    return status;
}
