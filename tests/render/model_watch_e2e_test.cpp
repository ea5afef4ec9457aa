// The real viewer follows every place its textures were looked for, found
// or not: a texture removed and put back, or one whose folder comes later,
// shows as found without the model being saved.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/render/square_models.h"
#include "tests/support/files.h"
#include "tests/support/targa.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 60;

TEST(ModelWatchE2eTest, TexturesPutBackOrMadeLateAreFound)
{
    ScratchFolder scratch;
    const fs::path dir = scratch.path(), model = dir / "t.ase";
    const Bytes texture = tga_bytes({}, {0, 0, 255});
    std::string text = square_model(2, "0.5 0.5 0.5", ".tga");
    text.replace(text.find("\"1.tga\""), 7, "\"1/late.tga\"");
    write_file(model, text);
    write_file(dir / "0.tga", texture);
    const std::string loaded = "Loading file " + model.string() + "\nmodel: 2 objects, 4 faces, 2 textures ";
    const std::string late_missing = "(1 not found)\ntexture not found: 1/late.tga\n";
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model.string()}, .program = ASEVIEW_BIN,
                  .title = model_view_title(model), .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    ASSERT_NE(viewer.console().find(late_missing), std::string::npos) << viewer.console();
    const struct {
        const char* what;
        std::function<void()> change;
        std::string console;  // the lines it adds
    } changes[] = {
        {"removed", [&] { fs::remove(dir / "0.tga"); },
         loaded + "(2 not found)\ntexture not found: 0.tga\ntexture not found: 1/late.tga\n"},
        {"put back", [&] { write_file(dir / "0.tga", texture); }, loaded + late_missing},
        {"its folder made late", [&] { fs::create_directory(dir / "1"); }, loaded + late_missing},
        {"made late in it", [&] { write_file(dir / "1/late.tga", texture); }, loaded + "(0 not found)\n"},
    };
    // A change that comes while the search is watched anew may be read
    // twice: what counts is what the last read shows.
    for (const auto& c : changes) {
        const size_t before = viewer.console().size();
        c.change();
        EXPECT_TRUE(wait_until(patience, [&] {
            std::string now = viewer.console();
            return now.size() >= before + c.console.size() && now.ends_with(c.console);
        })) << c.what << "\n" << viewer.console().substr(before);
    }
}

}  // namespace
