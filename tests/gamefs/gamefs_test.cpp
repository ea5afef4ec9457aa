#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "gamefs/gamefs.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

static const std::string tree = "game/baseq3/models/mapobjects/tree/", model = tree + "tree.ase";
static const std::string bark = tree + "bark.tga", leaf = "game/baseq3/textures/common/leaf.PNG";
static const std::string stone = "game/baseq3/models/mapobjects/Rock/Stone.JPG";
static const std::string skies = "game/baseq3/textures/skies/";

// A game's folders around a model, in the scratch folder.
static void make_game_tree()
{
    for (const std::string& file :
         {model, bark, tree + "trunk.01.jpg", tree + "cloud.jpg", leaf, stone, skies + "Cloud.png",
          skies + "cloud.PNG", skies + "cloud.jpeg",
          std::string("game/textures/skies/cloud.tga")}) {
        fs::create_directories(fs::path(file).parent_path());
        write_file(file, "");
    }
    fs::create_directory_symlink(".", tree + "here");
    fs::create_symlink("loop.tga", tree + "loop.tga");
}

// The candidates as paths below the scratch folder.
static Paths found(game_fs& tree, const std::string& name)
{
    Paths paths;
    for (const game_file& file : game_fs_find_texture(tree, name).files)
        paths.push_back(fs::path(file.path).lexically_relative(fs::current_path()).string() +
                        (file.entry_name.empty() ? "" : ":" + file.entry_name));
    return paths;
}

static Paths found(const std::string& model_path, const std::string& name)
{
    return found(*game_fs_open(model_path), name);
}

TEST(Gamefs, FirstCandidateOfEachKindOfName)
{
    ScratchFolder scratch;
    make_game_tree();
    std::string climbs, here_chain;
    for (int i = 0; i < 30000; ++i)
        climbs += "../";
    for (int i = 0; i < 100; ++i)
        here_chain += "here/";
    const struct { std::string name, first; } cases[] = {
        {"bark.tga", bark}, {"BARK", bark}, {"bark.TGA", bark}, {"C:bark", bark},
        {R"(C:\q3\baseq3\textures\common\leaf.png)", leaf},
        {R"(q:\Q3\BASEQ3\Textures\Common\LEAF)", leaf},
        {"//server/share/MODELS/mapobjects/rock/stone.jpg", stone},
        {"../../textures/common/leaf.png", leaf}, {"./textures/common/leaf.png", leaf},
        {"mapobjects/rock/stone", stone}, {R"(..\..\..\elsewhere\bark)", bark},
        {"D:/art/maps/bark.png", bark}, {"textures/gone/bark.tga", bark},
        {"trunk.01", tree + "trunk.01.jpg"}, {"loop.tga", ""}, {"loop.tga/bark.tga", bark},
        {here_chain + "bark", bark}, {"models/../../../../../../../../etc/passwd", ""},
        {climbs + "etc/passwd", ""}, {"/dev/zero", ""}, {std::string(100000, 'x'), ""},
        {std::string("bark.tga\0", 9), ""}, {std::string("bark\0/x", 7), ""}, {"", ""},
        {"////", ""}, {R"(C:\)", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 80));
        Paths paths = found(model, c.name);
        EXPECT_EQ(paths.empty() ? "" : paths[0], c.first);
    }
    // A NUL in the model's path would name another folder to the system.
    EXPECT_EQ(found(tree + std::string("\0/tree.ase", 10), "bark"), Paths{});
    // Listings are read once per tree: a file that comes later is seen by
    // the tree opened anew only.
    std::unique_ptr<game_fs> opened = game_fs_open(model);
    EXPECT_EQ(found(*opened, "bark"), Paths{bark});
    write_file(tree + "late.tga", "");
    EXPECT_EQ(found(*opened, "late"), Paths{});
    EXPECT_EQ(found(model, "late"), Paths{tree + "late.tga"});
}

TEST(Gamefs, CandidatesComeInPlaceThenExtensionOrderEachOnce)
{
    ScratchFolder scratch;
    make_game_tree();
    std::string lexical = (scratch.path() / "game/baseq3/maps/../models/mapobjects/tree/tree.ase");
    EXPECT_EQ(found(lexical, "textures/skies/cloud.PNG"),
              (Paths{skies + "cloud.PNG", skies + "Cloud.png", skies + "cloud.jpeg",
                     "game/textures/skies/cloud.tga", tree + "cloud.jpg"}));
    EXPECT_EQ(found(lexical, "tree/BARK.TGA"), Paths{bark});
}

// Every place a search looked, found or not, down to the first folder not
// there; and whether one of them came or went since.
TEST(Gamefs, SearchedPlacesAndWhatCameSince)
{
    ScratchFolder scratch;
    make_game_tree();
    const std::string base = (scratch.path() / "game/baseq3/").string(), skies_at = base + "textures/skies";
    std::unique_ptr<game_fs> opened = game_fs_open(base + "models/mapobjects/tree/tree.ase");
    EXPECT_EQ(found(*opened, "textures/skies/late"), Paths{});
    EXPECT_NE(found(*opened, "textures/skies/cloud"), Paths{});
    std::set<std::string> asked;
    for (const auto& [folder, listing] : opened->listings.by_folder)
        for (const std::string& name : listing.asked)
            asked.insert(folder + "/" + name);
    for (const std::string& place : {skies_at + "/late.tga", skies_at + "/late.webp", base + "textures",
                                     (scratch.path() / "textures").string(), base + "models/mapobjects/tree/late.png"})
        EXPECT_TRUE(asked.count(place)) << place;
    const struct {
        std::function<void()> change;
        bool changed;
    } changes[] = {
        {[&] { write_file(skies_at + "/other.tga", ""); }, false},
        {[&] { write_file(skies_at + "/LATE.tga", ""); }, true},
        {[&] { fs::remove(skies_at + "/LATE.tga"); }, false},
        {[&] { fs::remove(skies_at + "/cloud.jpeg"); }, true},
    };
    for (size_t i = 0; i < std::size(changes); i++) {
        changes[i].change();
        EXPECT_EQ(asked_names_changed(opened->listings), changes[i].changed) << i;
    }
}
