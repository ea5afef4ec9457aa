// The model view's overlays leave no trace: each one shown and hidden again
// gives back the first frame pixel for pixel, also after the next file and
// a reload, on the real viewer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/render/square_models.h"
#include "tests/support/files.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 60;

TEST(ModelOverlayE2eTest, EveryOverlayOnAndOffGivesBackTheFirstFrame)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    // Faces of one colour, their textures missing (the marks have faces to
    // mark): a frame sets the same colour as the one before, and a material
    // that an overlay changed behind it would show.
    write_file(dir / "a.ase", square_model(2, "0.3 0.7 0.4", ".tga"));
    write_file(dir / "b.ase", square_model(1, "0.8 0.1 0.1"));
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {(dir / "a.ase").string()}, .program = ASEVIEW_BIN,
                  .title = model_view_title("a.ase"), .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    const Pixels first = viewer.settled_screenshot(patience);
    auto shows = [&](const Pixels& picture) { return viewer.settled_screenshot(patience).rgb == picture.rgb; };
    auto differs = [&](const Pixels& picture) {
        Pixels now = viewer.settled_screenshot(patience);
        return !now.rgb.empty() && now.rgb != picture.rgb;
    };

    const struct {
        const char* on;
        const char* off;
    } overlays[] = {{"h", "h"}, {"F1", "F1"}, {"i", "i"}, {"g", "g"},
                    {"m", "m"}, {"w", "w"},   {"h i g m w", "w m g i h"}};
    for (const auto& o : overlays) {
        ASSERT_TRUE(viewer.key(o.on));
        EXPECT_TRUE(differs(first)) << o.on;
        ASSERT_TRUE(viewer.key(o.off));
        EXPECT_TRUE(shows(first)) << o.on << " left a trace";
        // The next file and back, then a reload: each frames the model anew
        // in the state that the model's drawing sets itself.
        ASSERT_TRUE(viewer.key("Next"));
        EXPECT_TRUE(differs(first)) << o.on;
        ASSERT_TRUE(viewer.key("Next"));
        EXPECT_TRUE(shows(first)) << o.on << " left a trace through the next file";
        const size_t said = viewer.console().size();
        ASSERT_TRUE(viewer.key("F5"));
        ASSERT_TRUE(wait_until(patience, [&] { return viewer.console().size() > said; }));
        EXPECT_TRUE(shows(first)) << o.on << " left a trace through a reload";
    }
}

// With the information shown, l writes the other look on it and back, and
// space pauses the clock, which the panel then says, and lets it run again.
TEST(ModelOverlayE2eTest, LookAndClockKeysShowOnTheInformation)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    write_file(dir / "a.ase", square_model(2, "0.3 0.7 0.4"));
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {(dir / "a.ase").string()}, .program = ASEVIEW_BIN,
                  .title = model_view_title("a.ase"), .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    ASSERT_TRUE(viewer.key("i"));
    const Pixels running = viewer.settled_screenshot(patience);
    for (const char* key : {"l", "space"}) {
        ASSERT_TRUE(viewer.key(key));
        Pixels changed = viewer.settled_screenshot(patience);
        EXPECT_FALSE(changed.rgb.empty());
        EXPECT_NE(changed.rgb, running.rgb) << key;
        ASSERT_TRUE(viewer.key(key));
        EXPECT_EQ(viewer.settled_screenshot(patience).rgb, running.rgb) << key << " twice";
    }
    EXPECT_TRUE(viewer.running());
}

}  // namespace
