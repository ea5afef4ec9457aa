// The real viewer driven as a user drives it: keys, drags and the pop-up menu
// through xdotool, judged by measuring screenshots.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const auto patience = 30s;

struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[3 * (y * width + x)]; }
    // The model's colours (blue, green, yellow, times the texture) each leave at
    // least one channel near 0; antialiased wire lines blend into the white
    // background and mostly stay above this.
    bool inked(int x, int y) const { return *std::min_element(at(x, y), at(x, y) + 3) < 64; }
    bool white(int x, int y) const { return *std::min_element(at(x, y), at(x, y) + 3) == 255; }
};

struct Box {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

struct Measure {
    int inked = 0;
    int mixed = 0;  // green and blue together: only smooth shading blends corners so
    Box box;
};

Measure measure(const Shot& s)
{
    Measure m;
    m.box = {s.width, s.height, -1, -1};
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            if (!s.inked(x, y))
                continue;
            m.inked++;
            const unsigned char* p = s.at(x, y);
            if (p[1] > 24 && p[2] > 24 && p[0] < p[1] / 2)
                m.mixed++;
            m.box.x0 = std::min(m.box.x0, x);
            m.box.y0 = std::min(m.box.y0, y);
            m.box.x1 = std::max(m.box.x1, x);
            m.box.y1 = std::max(m.box.y1, y);
        }
    return m;
}

// Share of the first picture's model pixels that the second no longer covers.
double uncovered(const Shot& a, const Shot& b)
{
    int total = 0, lost = 0;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            if (a.inked(x, y)) {
                total++;
                lost += !b.inked(x, y);
            }
    return total ? double(lost) / total : 0;
}

double mask_change(const Shot& a, const Shot& b)
{
    return std::max(uncovered(a, b), uncovered(b, a));
}

std::string describe(const Measure& m)
{
    std::ostringstream s;
    s << m.inked << " model pixels (" << m.mixed << " blended), box " << m.box.width() << " x "
      << m.box.height() << " at " << m.box.x0 << ", " << m.box.y0;
    return s.str();
}

std::string capture(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Every outside tool runs under a time limit, so that a hang fails the test.
bool run(const std::string& command)
{
    return std::system(("timeout 20 " + command + " >/dev/null 2>&1").c_str()) == 0;
}

class Viewer {
public:
    Viewer()
    {
        char pattern[] = "/tmp/aseview_input_XXXXXX";
        dir_ = mkdtemp(pattern);
        for (const char* name : {"knot.ase", "map2.tga"})
            fs::copy_file(fs::path(ASEVIEW_RUN_DIR) / name, dir_ / name);
        pid_ = fork();
        if (pid_ == 0) {
            int log = open((dir_ / "console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (chdir(dir_.c_str()) != 0 || log < 0)
                _exit(126);
            dup2(log, 1);
            dup2(log, 2);
            execl(ASEVIEW_BIN, ASEVIEW_BIN, (char*)nullptr);
            _exit(127);
        }
        std::string id = capture("timeout 30 xdotool search --sync --name "
                                 "'^various stuff- playing with colors$' 2>/dev/null");
        window_ = id.substr(0, id.find('\n'));
    }

    ~Viewer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    bool has_window() const { return !window_.empty(); }
    bool running()
    {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = -1;
        return pid_ > 0;
    }

    Shot shot() const
    {
        Shot s;
        std::string ppm =
            capture("timeout 20 import -window " + window_ + " -depth 8 ppm:- 2>/dev/null");
        std::istringstream in(ppm);
        std::string magic;
        int max = 0;
        in >> magic >> s.width >> s.height >> max;
        in.get();
        size_t size = size_t(s.width) * s.height * 3;
        if (magic != "P6" || max != 255 || ppm.size() - size_t(in.tellg()) < size) {
            s.width = s.height = 0;
            return s;
        }
        s.rgb.assign(ppm.end() - size, ppm.end());
        return s;
    }

    // Takes screenshots until one satisfies the condition; fails the test on timeout.
    Shot wait_for(const char* what, const std::function<bool(const Shot&)>& done) const
    {
        auto end = std::chrono::steady_clock::now() + patience;
        Shot s = shot();
        while (s.width == 0 || !done(s)) {
            if (std::chrono::steady_clock::now() > end) {
                ADD_FAILURE() << "timed out waiting for " << what << "; last picture: "
                              << (s.width ? describe(measure(s)) : "none");
                return s;
            }
            std::this_thread::sleep_for(100ms);
            s = shot();
        }
        return s;
    }

    // The pointer goes to the window first: with no window manager the
    // keyboard follows the pointer.
    void key(const std::string& keys) const
    {
        EXPECT_TRUE(run("xdotool mousemove --window " + window_ + " 5 5 key " + keys));
    }

    void drag(int x0, int y0, int x1, int y1) const
    {
        EXPECT_TRUE(run("xdotool mousemove --window " + window_ + " " + at(x0, y0) +
                        " mousedown 1 mousemove --window " + window_ + " " + at(x1, y1) +
                        " mouseup 1"));
    }

    // A left press and release without motion, with a key held or not.
    void click(int x, int y, const std::string& held_key = "") const
    {
        std::string hold = held_key.empty() ? "" : " keydown " + held_key;
        std::string free = held_key.empty() ? "" : " keyup " + held_key;
        EXPECT_TRUE(run("xdotool mousemove --window " + window_ + " " + at(x, y) + hold +
                        " mousedown 1 mouseup 1" + free));
    }

    // Right press, slide onto the entry (counted from 0), release there.
    void choose(int entry) const
    {
        ASSERT_TRUE(run("xdotool mousemove --window " + window_ + " 40 40 mousedown 3"));
        int x = 0, y = 0, w = 0, h = 0;
        auto end = std::chrono::steady_clock::now() + patience;
        while (!menu_shown(&x, &y, &w, &h)) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "the pop-up menu never showed";
            std::this_thread::sleep_for(50ms);
        }
        // Eight entries of equal height.
        int ex = x + w / 2, ey = y + (2 * entry + 1) * h / 16;
        EXPECT_TRUE(run("xdotool mousemove " + at(ex, ey - 1) + " mousemove " + at(ex, ey) +
                        " mouseup 3"));
        while (menu_shown(&x, &y, &w, &h)) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "the pop-up menu stayed open";
            std::this_thread::sleep_for(50ms);
        }
    }

    // A command by its key or by its menu entry, which carry the same code.
    void command(bool by_menu, char code) const
    {
        static const std::string entries = "yxbwsfr";  // top to bottom
        if (by_menu)
            choose(int(entries.find(code)));
        else
            key(std::string(1, code));
    }

private:
    static std::string at(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }

    static bool menu_shown(int* x, int* y, int* w, int* h)
    {
        std::string info = capture("timeout 20 xwininfo -name 'freeglut menu' 2>/dev/null");
        if (info.find("IsViewable") == std::string::npos)
            return false;
        auto field = [&](const char* name) {
            size_t at = info.find(name);
            return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + strlen(name));
        };
        *x = field("Absolute upper-left X:");
        *y = field("Absolute upper-left Y:");
        *w = field("Width:");
        *h = field("Height:");
        return *w > 0 && *h > 0;
    }

    fs::path dir_;
    pid_t pid_ = -1;
    std::string window_;
};

struct Stretch {
    char key;
    int x, y;       // drag from the centre to here
    double sx, sy;  // expected growth of the model's box
};

class ViewerTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(viewer.has_window()) << "the viewer's window never appeared";
        // Before its first frame the window may show anything; a frame is cleared white.
        first = viewer.wait_for("the first frame", [](const Shot& s) {
            return s.white(0, 0) && s.white(s.width - 1, s.height - 1) && measure(s).inked > 5000;
        });
        ASSERT_FALSE(HasFailure());
        start = measure(first);
    }
    void TearDown() override { EXPECT_TRUE(viewer.running()) << "the viewer died"; }

    bool by_menu() const { return GetParam(); }

    void smear_drag(bool menu, const Stretch& s)
    {
        viewer.command(menu, s.key);
        viewer.drag(320, 240, s.x, s.y);
        const double w = start.box.width(), h = start.box.height();
        Shot shot = viewer.wait_for("the stretched model", [&](const Shot& picture) {
            Box box = measure(picture).box;
            return std::abs(box.width() - w * s.sx) < 0.05 * w &&
                   std::abs(box.height() - h * s.sy) < 0.05 * h;
        });
        // The stretch is about the window's centre, where the model sits.
        Box box = measure(shot).box;
        EXPECT_NEAR(box.x0 + box.x1, start.box.x0 + start.box.x1, 0.1 * w);
        EXPECT_NEAR(box.y0 + box.y1, start.box.y0 + start.box.y1, 0.1 * h);
    }

    Viewer viewer;
    Shot first;
    Measure start;
};

// The knot is finely tessellated, so its antialiased lines still tint much of
// its area, but less than 60 % of it keeps a solid colour.
TEST_P(ViewerTest, WireModeThinsTheModelToLinesAndBack)
{
    viewer.command(by_menu(), 'w');
    viewer.wait_for("the wireframe", [&](const Shot& s) {
        return measure(s).inked < start.inked * 6 / 10;
    });
    viewer.command(by_menu(), 'w');
    Shot filled = viewer.wait_for("the filled model", [&](const Shot& s) {
        return measure(s).inked > start.inked * 95 / 100;
    });
    EXPECT_LT(mask_change(first, filled), 0.02);
}

TEST_P(ViewerTest, ShadingTwiceGivesOneColourPerTriangle)
{
    ASSERT_GT(start.mixed, start.inked / 10) << "smooth shading should blend the corner colours";
    viewer.command(by_menu(), 's');
    viewer.command(by_menu(), 's');
    Shot flat = viewer.wait_for("flat shading", [&](const Shot& s) {
        return measure(s).mixed < start.inked / 200;
    });
    EXPECT_LT(mask_change(first, flat), 0.02) << "only the colours change";
    viewer.command(by_menu(), 's');
    viewer.wait_for("smooth shading again", [&](const Shot& s) {
        return measure(s).mixed > start.inked / 10;
    });
}

// Drags of 192 and 144 pixels from the centre stretch by 1.5.
TEST_P(ViewerTest, SmearXDragStretchesHorizontally)
{
    smear_drag(by_menu(), {'x', 512, 240, 1.5, 1.0});
}

TEST_P(ViewerTest, SmearYDragStretchesVertically)
{
    smear_drag(by_menu(), {'y', 320, 384, 1.0, 1.5});
}

TEST_P(ViewerTest, SmearBothDragStretchesBothWays)
{
    smear_drag(by_menu(), {'b', 512, 384, 1.5, 1.5});
}

TEST_P(ViewerTest, RotationDragTurnsToThePointersAbsoluteAngle)
{
    viewer.command(by_menu(), 'r');
    // 160 pixels right of the centre is a quarter turn about the vertical axis.
    viewer.drag(320, 240, 480, 240);
    Shot turned = viewer.wait_for("the turned model", [&](const Shot& s) {
        return measure(s).box.width() < start.box.width() * 3 / 4;
    });
    EXPECT_GT(mask_change(first, turned), 0.3);
    // Back at the centre the angle is zero again, wherever the drag began.
    viewer.drag(100, 100, 320, 240);
    viewer.wait_for("the unturned model",
                    [&](const Shot& s) { return mask_change(first, s) < 0.02; });
}

TEST_P(ViewerTest, FreeRotationKeepsSpinningAfterTheDrag)
{
    viewer.command(by_menu(), 'f');
    // 200 pixels to the right: two degrees per idle call about the vertical axis.
    viewer.drag(100, 240, 300, 240);
    Shot a = first;
    for (const char* what : {"turning", "more turning", "still more turning"})
        a = viewer.wait_for(what, [&](const Shot& s) { return mask_change(a, s) > 0.2; });
    viewer.command(by_menu(), 'f');
    // Once stopped, two pictures taken a while apart are the same.
    viewer.wait_for("the spin to stop", [&](const Shot& s) {
        std::this_thread::sleep_for(300ms);
        return s.rgb == viewer.shot().rgb;
    });
}

INSTANTIATE_TEST_SUITE_P(ByKeyAndByMenu, ViewerTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "menu" : "key";
                         });

using ViewerOnlyTest = ViewerTest;

// A stray command would show in the wireframe that 'w' brings after it.
TEST_P(ViewerOnlyTest, UpperCaseKeysAndTheCreditEntryDoNothing)
{
    viewer.key("W X Y B R F S");
    viewer.choose(7);
    viewer.key("w");
    viewer.wait_for("the wireframe", [&](const Shot& s) {
        return measure(s).inked < start.inked * 6 / 10;
    });
    // Neither a smear axis nor rotation was switched on: a drag changes nothing.
    viewer.drag(320, 240, 560, 400);
    viewer.key("w");
    Shot filled = viewer.wait_for("the filled model", [&](const Shot& s) {
        return measure(s).inked > start.inked * 95 / 100;
    });
    EXPECT_LT(mask_change(first, filled), 0.02);
    EXPECT_GT(measure(filled).mixed, start.inked / 10) << "still smooth shading";
}

// Shift turns a left press into a middle one, which applies nothing; a plain
// left press stretches at once.
TEST_P(ViewerOnlyTest, ShiftLeftPressDoesNotStretchButAPlainOneDoes)
{
    viewer.key("x");
    viewer.click(480, 240, "shift");
    viewer.key("w");
    Shot wire = viewer.wait_for("the wireframe", [&](const Shot& s) {
        return measure(s).inked < start.inked * 6 / 10;
    });
    EXPECT_NEAR(measure(wire).box.width(), start.box.width(), 0.03 * start.box.width());
    viewer.click(480, 240);
    const double w = start.box.width();
    viewer.wait_for("the stretch of a plain press", [&](const Shot& s) {
        return std::abs(measure(s).box.width() - 1.25 * w) < 0.05 * w;
    });
}

INSTANTIATE_TEST_SUITE_P(Once, ViewerOnlyTest, testing::Values(false),
                         [](const testing::TestParamInfo<bool>&) { return "key"; });

}  // namespace
