// The real viewer in the model view follows its file: rewritten in place,
// renamed over, caught half written, turned to garbage, removed and back;
// and Page Down, Page Up and F5 step through the folder and reload.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "mesh/model_files.h"
#include "tests/render/square_models.h"
#include "tests/support/files.h"
#include "tests/support/targa.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 60;

std::string dumps(const fs::path& dir)
{
    return read_file(dir / "dump.txt") + read_file(dir / "norm.txt") + read_file(dir / "vnorml.txt");
}

// Writes half the text, lets it lie for several quiet spans with the file
// still open, and checks that nothing was read meanwhile; then the rest.
void write_in_two_halves(const fs::path& path, const std::string& text, const RealViewer& viewer)
{
    std::string before = viewer.console();
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    size_t half = text.size() / 2;
    ASSERT_EQ(write(fd, text.data(), half), ssize_t(half));
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * model_quiet_ms));
    EXPECT_EQ(viewer.console(), before) << "read while half written";
    ASSERT_EQ(write(fd, text.data() + half, text.size() - half), ssize_t(text.size() - half));
    close(fd);
}

TEST(ModelFilesE2eTest, WatchedFileAndKeysFollowTheFolder)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.path(), model = dir / "w.ase";
    const std::string shown = "Loading file " + model.string() + "\n";
    write_file(model, square_model(1));
    write_file(dir / "a.ase", square_model(5, "0.1 0.1 0.8"));
    write_file(dir / "z.ase", square_model(6, "0.1 0.8 0.1"));
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model.string()}, .program = ASEVIEW_BIN,
                  .title = model_view_title(model), .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    ASSERT_TRUE(wait_until(patience, [&] { return fs::exists(dir / "vnorml.txt"); }));
    const std::string first_dumps = dumps(dir);

    const struct {
        const char* what;
        std::function<void()> change;
        std::string console;  // the lines it adds
        bool picture_changes;
    } changes[] = {
        {"in place", [&] { write_file(model, square_model(2, "0.1 0.8 0.1")); },
         shown + "model: 2 objects, 4 faces, 0 textures (0 not found)\n", true},
        {"renamed over",
         [&] {
             write_file(dir / "w.tmp", square_model(3, "0.1 0.1 0.8"));
             fs::rename(dir / "w.tmp", model);
         },
         shown + "model: 3 objects, 6 faces, 0 textures (0 not found)\n", true},
        {"half written", [&] { write_in_two_halves(model, square_model(4, "0.8 0.8 0.1"), viewer); },
         shown + "model: 4 objects, 8 faces, 0 textures (0 not found)\n", true},
        {"garbage", [&] { write_file(model, "*GEOMOBJECT {\n\x01\x02"); },
         "reload failed: " + model.string() + ": no faces to draw\n", false},
        {"removed", [&] { fs::remove(model); },
         "reload failed: " + model.string() + ": No such file or directory\n", false},
        {"back", [&] { write_file(model, square_model(1)); },
         shown + "model: 1 objects, 2 faces, 0 textures (0 not found)\n", true},
        {"page down", [&] { viewer.key("Next"); },
         "Loading file " + (dir / "z.ase").string() + "\nmodel: 6 objects, 12 faces, 0 textures (0 not found)\n",
         true},
        {"followed after the step", [&] { write_file(dir / "z.ase", square_model(2, "0.8 0.1 0.8")); },
         "Loading file " + (dir / "z.ase").string() + "\nmodel: 2 objects, 4 faces, 0 textures (0 not found)\n",
         true},
        {"page up twice", [&] { viewer.key("Prior Prior"); },
         shown + "model: 1 objects, 2 faces, 0 textures (0 not found)\n" + "Loading file " +
             (dir / "a.ase").string() + "\nmodel: 5 objects, 10 faces, 0 textures (0 not found)\n",
         true},
        {"F5", [&] { viewer.key("F5"); },
         "Loading file " + (dir / "a.ase").string() + "\nmodel: 5 objects, 10 faces, 0 textures (0 not found)\n",
         false},
    };
    for (const auto& c : changes) {
        Pixels before = viewer.settled_screenshot(patience);
        std::string expected = viewer.console() + c.console;
        c.change();
        EXPECT_TRUE(wait_until(patience, [&] { return viewer.console().size() >= expected.size(); })) << c.what;
        EXPECT_EQ(viewer.console(), expected) << c.what;
        // What was read is drawn by the next frame.
        Pixels after = viewer.settled_screenshot(patience);
        ASSERT_FALSE(after.rgb.empty()) << c.what;
        EXPECT_EQ(after.rgb != before.rgb, c.picture_changes) << c.what;
    }
    EXPECT_EQ(window_property(viewer.window().id, "WM_NAME"), "WM_NAME(STRING) = \"a.ase - aseview\"\n");
    EXPECT_EQ(dumps(dir), first_dumps) << "the dumps stay those of the first model";
    // The watch's thread ends with the viewer, without a report.
    ASSERT_TRUE(viewer.key("Escape"));
    EXPECT_TRUE(wait_until(patience, [&] { return !viewer.running(); }));
    EXPECT_EQ(viewer.stop(), 0) << viewer.errors();
}

// A texture repainted while the viewer runs is read afresh and shown.
TEST(ModelFilesE2eTest, RepaintedTextureIsShownAnew)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    auto paint = [&](uint8_t r, uint8_t g, uint8_t b) {
        Bytes pixels;
        for (int i = 0; i < 16 * 16; i++)
            pixels.insert(pixels.end(), {b, g, r, 255});
        write_file(dir / "0.tga", tga_bytes({.width = 16, .height = 16, .bpp = 32, .descriptor = 0x28}, pixels));
    };
    auto mostly = [](const Pixels& picture, int channel) {
        int n = 0;
        for (int y = 0; y < picture.height; y++)
            for (int x = 0; x < picture.width; x++) {
                const unsigned char* p = picture.at(x, y);
                n += p[channel] > 100 && p[(channel + 1) % 3] < 60 && p[(channel + 2) % 3] < 60;
            }
        return n;
    };
    paint(255, 0, 0);
    write_file(dir / "t.ase", square_model(1, "0.5 0.5 0.5", ".tga"));
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {(dir / "t.ase").string()}, .program = ASEVIEW_BIN,
                  .title = model_view_title("t.ase"), .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    ASSERT_GT(mostly(viewer.settled_screenshot(patience), 0), 1000);
    paint(0, 0, 255);
    EXPECT_TRUE(wait_until(patience, [&] { return mostly(viewer.screenshot(), 2) > 1000; })) << viewer.console();
    EXPECT_EQ(mostly(viewer.screenshot(), 0), 0);
}

}  // namespace
