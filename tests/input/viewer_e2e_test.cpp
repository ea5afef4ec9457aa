// The real viewer driven as a user drives it: keys, drags and the pop-up menu
// through xdotool, judged by measuring screenshots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/support/files.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

using namespace std::chrono_literals;

namespace {

const double patience = 30;

// The model's colours (blue, green, yellow, times the texture) each leave at
// least one channel near 0; antialiased wire lines blend into the white
// background and mostly stay above this.
bool inked(const Pixels& s, int x, int y)
{
    return *std::min_element(s.at(x, y), s.at(x, y) + 3) < 64;
}

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

Measure measure(const Pixels& s)
{
    Measure m{.box = {s.width, s.height, -1, -1}};
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            if (!inked(s, x, y))
                continue;
            m.inked++;
            const unsigned char* p = s.at(x, y);
            if (p[1] > 24 && p[2] > 24 && p[0] < p[1] / 2)
                m.mixed++;
            m.box = {std::min(m.box.x0, x), std::min(m.box.y0, y), std::max(m.box.x1, x),
                     std::max(m.box.y1, y)};
        }
    return m;
}

// Share of the first picture's model pixels that the second no longer covers.
double uncovered(const Pixels& a, const Pixels& b)
{
    int total = 0, lost = 0;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            if (inked(a, x, y)) {
                total++;
                lost += !inked(b, x, y);
            }
    return total ? double(lost) / total : 0;
}

double mask_change(const Pixels& a, const Pixels& b)
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

// The viewer of the default knot in a scratch folder.
class ViewerTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        copy_run_files({"knot.ase", "map2.tga"});
        viewer.start({.program = ASEVIEW_BIN});
        ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << "the viewer presented no frame";
        // A frame is cleared white around the model.
        first = wait_for("the first frame", [](const Pixels& s) {
            return s.white(0, 0) && s.white(s.width - 1, s.height - 1) && measure(s).inked > 5000;
        });
        ASSERT_FALSE(HasFailure());
        start = measure(first);
    }
    void TearDown() override { EXPECT_TRUE(viewer.running()) << "the viewer died"; }

    // Takes screenshots until one satisfies the condition; fails the test on timeout.
    Pixels wait_for(const char* what, const std::function<bool(const Pixels&)>& done)
    {
        Pixels s;
        auto shown = [&] { return (s = viewer.screenshot()).width && done(s); };
        if (!wait_until(patience, shown, 100ms))
            ADD_FAILURE() << "timed out waiting for " << what
                          << "; last picture: " << (s.width ? describe(measure(s)) : "none");
        return s;
    }

    Pixels wait_for_wire()
    {
        return wait_for("the wireframe",
                        [&](const Pixels& s) { return measure(s).inked < start.inked * 6 / 10; });
    }
    Pixels wait_for_filled()
    {
        return wait_for("the filled model",
                        [&](const Pixels& s) { return measure(s).inked > start.inked * 95 / 100; });
    }

    void key(const std::string& keys) { EXPECT_TRUE(viewer.key(keys)); }
    void drag(int x0, int y0, int x1, int y1) { EXPECT_TRUE(viewer.drag(x0, y0, x1, y1)); }
    void choose(int entry)
    {
        ASSERT_TRUE(viewer.choose(entry)) << "the pop-up menu did not come and go";
    }

    // A command by its key or by its menu entry, which carry the same code.
    void command(char code)
    {
        static const std::string entries = "yxbwsfr";  // top to bottom
        if (GetParam())  // by menu
            choose(int(entries.find(code)));
        else
            key(std::string(1, code));
    }

    // Smear command, a drag from the centre to (x, y), and the model's box
    // grown by sx and sy.
    void smear_drag(char key, int x, int y, double sx, double sy)
    {
        command(key);
        drag(320, 240, x, y);
        const double w = start.box.width(), h = start.box.height();
        Pixels shot = wait_for("the stretched model", [&](const Pixels& picture) {
            Box box = measure(picture).box;
            return std::abs(box.width() - w * sx) < 0.05 * w &&
                   std::abs(box.height() - h * sy) < 0.05 * h;
        });
        // The stretch is about the window's centre, where the model sits.
        Box box = measure(shot).box;
        EXPECT_NEAR(box.x0 + box.x1, start.box.x0 + start.box.x1, 0.1 * w);
        EXPECT_NEAR(box.y0 + box.y1, start.box.y0 + start.box.y1, 0.1 * h);
    }

    ScratchFolder folder;
    RealViewer viewer;
    Pixels first;
    Measure start;
};

// The knot is finely tessellated, so its antialiased lines still tint much of
// its area, but less than 60 % of it keeps a solid colour.
TEST_P(ViewerTest, WireModeThinsTheModelToLinesAndBack)
{
    command('w');
    wait_for_wire();
    command('w');
    EXPECT_LT(mask_change(first, wait_for_filled()), 0.02);
}

TEST_P(ViewerTest, ShadingTwiceGivesOneColourPerTriangle)
{
    ASSERT_GT(start.mixed, start.inked / 10) << "smooth shading should blend the corner colours";
    command('s');
    command('s');
    Pixels flat = wait_for("flat shading",
                           [&](const Pixels& s) { return measure(s).mixed < start.inked / 200; });
    EXPECT_LT(mask_change(first, flat), 0.02) << "only the colours change";
    command('s');
    wait_for("smooth shading again",
             [&](const Pixels& s) { return measure(s).mixed > start.inked / 10; });
}

// Drags of 192 and 144 pixels from the centre stretch by 1.5.
TEST_P(ViewerTest, SmearXDragStretchesHorizontally)
{
    smear_drag('x', 512, 240, 1.5, 1.0);
}

TEST_P(ViewerTest, SmearYDragStretchesVertically)
{
    smear_drag('y', 320, 384, 1.0, 1.5);
}

TEST_P(ViewerTest, SmearBothDragStretchesBothWays)
{
    smear_drag('b', 512, 384, 1.5, 1.5);
}

TEST_P(ViewerTest, RotationDragTurnsToThePointersAbsoluteAngle)
{
    command('r');
    // 160 pixels right of the centre is a quarter turn about the vertical axis.
    drag(320, 240, 480, 240);
    Pixels turned = wait_for("the turned model", [&](const Pixels& s) {
        return measure(s).box.width() < start.box.width() * 3 / 4;
    });
    EXPECT_GT(mask_change(first, turned), 0.3);
    // Back at the centre the angle is zero again, wherever the drag began.
    drag(100, 100, 320, 240);
    wait_for("the unturned model", [&](const Pixels& s) { return mask_change(first, s) < 0.02; });
}

TEST_P(ViewerTest, FreeRotationKeepsSpinningAfterTheDrag)
{
    command('f');
    // 200 pixels to the right: two degrees per idle call about the vertical axis.
    drag(100, 240, 300, 240);
    Pixels a = first;
    for (const char* what : {"turning", "more turning", "still more turning"})
        a = wait_for(what, [&](const Pixels& s) { return mask_change(a, s) > 0.2; });
    command('f');
    EXPECT_TRUE(viewer.wait_until_at_rest(patience)) << "the spin stopped";
}

TEST_P(ViewerTest, RestsWhileNothingMovesAndDrawsWhileFree)
{
    ASSERT_TRUE(viewer.wait_until_at_rest(patience)) << "at rest after start-up";
    EXPECT_LT(viewer.core_share(2), 0.02) << "at rest after start-up";
    command('f');
    EXPECT_TRUE(viewer.wait_for_frames(6, patience)) << "free rotation presents frame after frame";
    EXPECT_TRUE(viewer.wait_for_frames(6, patience)) << "and goes on doing so";
    EXPECT_FALSE(viewer.wait_until_at_rest(0.5)) << "free rotation rests";
    command('f');
    ASSERT_TRUE(viewer.wait_until_at_rest(patience));
    EXPECT_LT(viewer.core_share(2), 0.02) << "back at rest once free rotation is off";
    EXPECT_EQ(viewer.frames_within(1), 0);
}

INSTANTIATE_TEST_SUITE_P(ByKeyAndByMenu, ViewerTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "menu" : "key";
                         });

using ViewerOnlyTest = ViewerTest;

// A stray command would show in the wireframe that 'w' brings after it.
TEST_P(ViewerOnlyTest, UpperCaseKeysAndTheCreditEntryDoNothing)
{
    key("W X Y B R F S");
    choose(7);
    key("w");
    wait_for_wire();
    // Neither a smear axis nor rotation was switched on: a drag changes nothing.
    drag(320, 240, 560, 400);
    key("w");
    Pixels filled = wait_for_filled();
    EXPECT_LT(mask_change(first, filled), 0.02);
    EXPECT_GT(measure(filled).mixed, start.inked / 10) << "still smooth shading";
}

// Shift turns a left press into a middle one, which applies nothing; a plain
// left press stretches at once.
TEST_P(ViewerOnlyTest, ShiftLeftPressDoesNotStretchButAPlainOneDoes)
{
    key("x");
    EXPECT_TRUE(viewer.click(480, 240, "shift"));
    key("w");
    EXPECT_NEAR(measure(wait_for_wire()).box.width(), start.box.width(), 0.03 * start.box.width());
    EXPECT_TRUE(viewer.click(480, 240));
    const double w = start.box.width();
    wait_for("the stretch of a plain press", [&](const Pixels& s) {
        return std::abs(measure(s).box.width() - 1.25 * w) < 0.05 * w;
    });
}

INSTANTIATE_TEST_SUITE_P(Once, ViewerOnlyTest, testing::Values(false),
                         [](const testing::TestParamInfo<bool>&) { return "key"; });

}  // namespace
