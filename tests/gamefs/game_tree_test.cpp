// A game's tree as the Quake III family lays it out: shader scripts loose
// and in archives, pk3 and dpk archives that override each other, dpkdir
// folders and the folders of ASEVIEW_GAME_PATH; and hostile archives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "gamefs/archive.h"
#include "gamefs/gamefs.h"
#include "tests/support/files.h"
#include "tests/support/zip_write.h"

namespace fs = std::filesystem;

namespace {

const std::string base = "game/base/", model = base + "models/props/lamp.ase";

void put(const std::string& path, const std::string& text = "")
{
    fs::create_directories(fs::path(path).parent_path());
    write_file(path, text);
}

void make_game_tree()
{
    put(model);
    for (const char* image : {"terminal1_ed.tga", "bark_d.jpg", "screen.png", "lamp_on.tga", "loose_dup.tga"})
        put(base + "models/props/" + image);
    put(base + "scripts/props.shader",
        "// the props\nmodels/props/terminal1 { qer_editorImage models/props/terminal1_ed.tga }\n"
        "models/props/bark { diffuseMap models/props/bark_d }\n"
        "models/props/screen { { map $lightmap } { map models/props/screen.png } }\n"
        "models/props/broken { qer_editorImage models/props/nothere.tga }\n"
        "models/props/dup { qer_editorImage models/props/loose_dup.tga }\n");
    write_zip(base + "pak0.pk3",
              {{"scripts/a.shader", "models/props/dup { qer_editorImage models/props/archive_dup.tga }\n"
                                    "models/props/lamp_on { qer_editorImage models/props/glow }\n"},
               {"models/props/glow.tga", "x"}, {"models/props/archive_dup.tga", "x"},
               {"textures/common/caulk.tga", "old"}, {"Models/Props/Crate.TGA", "x"}});
    write_zip(base + "pak1.pk3", {{"textures/common/caulk.tga", "new"}});
    write_zip(base + "res.dpk", {{"textures/dpk/wall.png", "x"}, {"../evil.tga", "x"}, {"/abs.tga", "x"}});
    put(base + "broken.pk3", "PK\x03\x04 not a zip at all");
    put("shared/common.dpkdir/textures/shared/metal.tga");
    put("shared/textures/shared/stone.webp");
}

std::string first(const std::string& name)
{
    std::vector<game_file> files = texture_candidates(model, name);
    if (files.empty())
        return "";
    const game_file& f = files[0];
    return fs::path(f.path).lexically_relative(fs::current_path()).string() +
           (f.archive ? ":" + f.entry_name : "");
}

TEST(GameTree, ShadersArchivesAndGameFoldersInTheirOrder)
{
    ScratchFolder scratch;
    make_game_tree();
    setenv("ASEVIEW_GAME_PATH", ":shared/common.dpkdir::shared/", 1);
    const struct {
        const char* name;
        std::string first;
    } cases[] = {
        {"models/props/terminal1", base + "models/props/terminal1_ed.tga"},  // qer_editorImage
        {"MODELS/PROPS/BARK.tga", base + "models/props/bark_d.jpg"},         // diffuseMap, any case
        {"models/props/screen", base + "models/props/screen.png"},           // a map after $lightmap
        {"models/props/broken", ""},                          // its image is not there: not found
        {"models/props/dup", base + "models/props/loose_dup.tga"},           // loose scripts first
        {"models/props/lamp_on.tga", base + "pak0.pk3:models/props/glow.tga"},  // a shader beats a file
        {"textures/common/caulk", base + "pak1.pk3:textures/common/caulk.tga"},  // last sorted first
        {"models/props/crate.tga", base + "pak0.pk3:models/props/crate.tga"},    // entries in any case
        {"textures/dpk/wall", base + "res.dpk:textures/dpk/wall.png"},
        {"../evil.tga", ""}, {"textures/shared/metal", "shared/common.dpkdir/textures/shared/metal.tga"},
        {R"(C:\game\textures\shared\stone)", "shared/textures/shared/stone.webp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(first(c.name), c.first) << c.name;
    unsetenv("ASEVIEW_GAME_PATH");
}

// Archives that lie, break or try to climb out: refused, nothing written.
TEST(GameTree, HostileArchivesReadNothing)
{
    ScratchFolder scratch;
    write_zip("zeros.pk3", {{"big.tga", std::string(1 << 20, '\0')}, {"../up.tga", "x"}, {"a/../b.tga", "x"}});
    game_archive* archive = archive_open("zeros.pk3");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->entries.size(), 1u) << "only the entry inside the tree";
    uint64_t entry;
    ASSERT_TRUE(archive_find(archive, "BIG.tga", &entry));
    std::string bytes;
    EXPECT_FALSE(archive_read(archive, entry, (1 << 20) - 1, &bytes)) << "larger than the limit";
    EXPECT_TRUE(archive_read(archive, entry, 1 << 20, &bytes));
    archive_close(archive);

    // The same archive claiming a size of 16 bytes for its 1 MiB entry: the
    // stream that goes on is caught.
    std::string zip = read_file("zeros.pk3");
    for (const char* signature : {"PK\x01\x02", "PK\x03\x04"}) {
        size_t header = zip.find(signature);
        size_t size_at = header + (signature[2] == 1 ? 24 : 22);
        zip.replace(size_at, 4, std::string("\x10\0\0\0", 4));
    }
    write_file("lying.pk3", zip);
    write_file("cut.pk3", zip.substr(0, zip.size() / 2));
    archive = archive_open("lying.pk3");
    ASSERT_NE(archive, nullptr);
    ASSERT_TRUE(archive_find(archive, "big.tga", &entry));
    EXPECT_FALSE(archive_read(archive, entry, 1 << 20, &bytes));
    archive_close(archive);
    EXPECT_EQ(archive_open("cut.pk3"), nullptr);
    fs::create_directory("folder.pk3");
    EXPECT_EQ(archive_open("folder.pk3"), nullptr);
    EXPECT_EQ(archive_open("/dev/zero"), nullptr);
    auto listing = [] {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator("."))
            names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(listing(), (std::vector<std::string>{"./cut.pk3", "./folder.pk3", "./lying.pk3", "./zeros.pk3"}));
}

}  // namespace
