#include "tools/driver/viewer.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tools/driver/process.h"

namespace fs = std::filesystem;
using Clock = FrameWatch::Clock;

const char* const viewer_title = "various stuff- playing with colors";

std::string model_view_title(const std::string& model_path)
{
    size_t slash = model_path.rfind('/');
    return model_path.substr(slash == std::string::npos ? 0 : slash + 1) + " - aseview";
}

std::string window_property(unsigned long window, const std::string& property)
{
    std::string command = "xprop -id " + std::to_string(window) + " " + property;
    FILE* out = popen(command.c_str(), "r");
    char line[256] = "";
    if (out && !fgets(line, sizeof line, out))
        line[0] = '\0';
    if (out)
        pclose(out);
    return line;
}

bool wait_until(double seconds, const std::function<bool()>& done, std::chrono::milliseconds interval)
{
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

static std::string whole_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A window that vanishes between its look-up and a read raises an X error;
// here it only means "not (yet) there".
static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

bool RealViewer::start(const ViewerStart& how)
{
    static int started = 0;
    if (how.with_display) {
        XSetErrorHandler(ignore_error);
        display_ = XOpenDisplay(nullptr);
        if (!frames_.start(display_, how.title, how.own_pixels))
            return false;
    }
    own_console_files_ = how.console.empty();
    if (own_console_files_) {
        std::string scratch = fs::temp_directory_path() / ("aseview_" + std::to_string(getpid()) + "_" +
                                                           std::to_string(++started));
        out_path_ = scratch + ".out";
        err_path_ = scratch + ".err";
    } else {
        out_path_ = how.console;
    }
    pid_t parent = getpid();
    pid_ = fork();
    frames_.watch_program(pid_);
    if (pid_ != 0)
        return pid_ > 0;
    // A program left behind by a parent that crashed would hold its X server.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
    int out = open(out_path_.c_str(), flags, 0644);
    int err = err_path_.empty() ? out : open(err_path_.c_str(), flags, 0644);
    if (getppid() != parent || chdir(how.folder.c_str()) != 0 || out < 0 || err < 0)
        _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    if (!how.with_display)
        unsetenv("DISPLAY");
    for (const std::string& setting : how.env)
        putenv(const_cast<char*>(setting.c_str()));
    std::vector<char*> argv{const_cast<char*>(how.program.c_str())};
    for (const std::string& a : how.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(how.program.c_str(), argv.data());
    _exit(127);
}

RealViewer::~RealViewer()
{
    stop(SIGKILL);
    if (own_console_files_) {
        unlink(out_path_.c_str());
        unlink(err_path_.c_str());
    }
    if (display_)
        XCloseDisplay(display_);
}

bool RealViewer::running()
{
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        pid_ = -1;
    return pid_ > 0;
}

int RealViewer::stop(int signal)
{
    if (running()) {
        kill(pid_, signal);
        if (!wait_until(10, [&] { return !running(); }, std::chrono::milliseconds(5))) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
    }
    return status_;
}

std::string RealViewer::console() const
{
    return whole_file(out_path_);
}

std::string RealViewer::errors() const
{
    return err_path_.empty() ? "" : whole_file(err_path_);
}

bool RealViewer::frame_presented()
{
    frames_.take_events();
    if (frames_.frames() > 0 && !window_.id)
        window_ = place_of(frames_.window());
    return frames_.frames() > 0;
}

bool RealViewer::wait_for_first_frame(double seconds)
{
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (display_ && !frame_presented()) {
        if (!running()) {
            // A frame it presented just before it ended still counts.
            frames_.catch_up();
            return frame_presented();
        }
        if (Clock::now() > end)
            return false;
        frames_.take_events(20);
    }
    return display_ != nullptr;
}

// Takes the server's reports for that long, waiting for them in between.
static void take_events_for(FrameWatch* frames, double seconds, const std::function<void()>& each)
{
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        frames->take_events(std::max<int>(1, left));
        each();
    }
}

int RealViewer::frames_within(double seconds)
{
    frames_.catch_up();
    int before = frames_.frames();
    take_events_for(&frames_, seconds, [] {});
    return frames_.frames() - before;
}

bool RealViewer::frames_reach(int count, Clock::time_point end)
{
    while (frames_.frames() < count) {
        if (!running() || Clock::now() > end)
            return false;
        frames_.take_events(20);
    }
    return true;
}

bool RealViewer::wait_for_frames(int count, double seconds)
{
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    frames_.catch_up();
    return frames_reach(frames_.frames() + count, end);
}

double RealViewer::ms_per_frame(double seconds)
{
    frames_.catch_up();
    int before = frames_.frames(), first = -1;
    Clock::time_point first_at;
    take_events_for(&frames_, seconds, [&] {
        if (first < 0 && frames_.frames() > before) {
            first = frames_.frames();
            first_at = frames_.last_frame_at();
        }
    });
    int after_first = first < 0 ? 0 : frames_.frames() - first;
    if (after_first == 0)
        return -1;
    return std::chrono::duration<double, std::milli>(frames_.last_frame_at() - first_at).count() / after_first;
}

double RealViewer::seconds_to_frame_after(const std::function<void()>& act, double seconds)
{
    frames_.catch_up();
    int before = frames_.frames();
    auto start = Clock::now(), end = start + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(seconds));
    act();
    while (frames_.frames() == before) {
        if (Clock::now() > end)
            return -1;
        frames_.take_events(20);
    }
    return std::chrono::duration<double>(frames_.last_frame_at() - start).count();
}

// GLUT's main loop waits for events in select(), which reaches the kernel as
// pselect6; Xlib's own waits for replies use poll(). Once the server has
// handled every request sent to it so far (a round trip), the events it gave
// the program are in its socket: a program still sleeping in select() after
// that has read them, as their arrival would have woken it.
static bool waits_in_select(long call)
{
#ifdef SYS_select
    if (call == SYS_select)
        return true;
#endif
    return call == SYS_pselect6;
}

bool RealViewer::wait_until_at_rest(double seconds)
{
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    frames_.catch_up();
    for (;;) {
        if (waits_in_select(blocked_syscall(pid_)))
            return true;
        if (!running() || Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool RealViewer::frame_on_request(double seconds)
{
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    WindowPlace w = place_of(window_.id);
    if (!w.id)
        return false;
    frames_.catch_up();
    int before = frames_.frames();
    frames_.ask_for_a_frame(w.id, w.width, w.height);
    return frames_reach(before + 1, end);
}

Pixels RealViewer::settled_screenshot(double seconds)
{
    if (!frame_on_request(seconds) || !frame_on_request(seconds))
        return {};
    return screenshot();
}

int RealViewer::x_events_fd() const
{
    return display_ ? ConnectionNumber(display_) : -1;
}

double RealViewer::core_share(double seconds) const
{
    auto cpu_seconds = [this] {
        std::vector<long> stat = process_stat(pid_);
        return stat.size() > 15 ? double(stat[14] + stat[15]) / sysconf(_SC_CLK_TCK) : 0.0;  // utime, stime
    };
    double before = cpu_seconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (cpu_seconds() - before) / seconds;
}
