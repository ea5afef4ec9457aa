// A game's tree as the Quake III family lays it out: shader scripts loose
// and in archives, pk3 and dpk archives that override each other, dpkdir
// folders and the folders of ASEVIEW_GAME_PATH; and hostile archives.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

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

std::string first_of(const std::vector<game_file>& files)
{
    if (files.empty())
        return "";
    const game_file& f = files[0];
    return fs::path(f.path).lexically_relative(fs::current_path()).string() +
           (f.entry_name.empty() ? "" : ":" + f.entry_name);
}

texture_lookup find_texture(const std::string& model_path, const std::string& name)
{
    return game_fs_find_texture(*game_fs_open(model_path), name);
}

std::string first(const std::string& name)
{
    return first_of(find_texture(model, name).files);
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
    // A stage's image is the file of its name, never the shader's image.
    std::unique_ptr<game_fs> tree = game_fs_open(model);
    auto image = [&](const char* name) { return first_of(game_fs_find_image(*tree, name).files); };
    EXPECT_EQ(image("models/props/lamp_on.tga"), base + "models/props/lamp_on.tga");
    EXPECT_EQ(image("models/props/terminal1"), "");
    EXPECT_EQ(image("models/props/glow"), base + "pak0.pk3:models/props/glow.tga");
}

// An id Tech 4 game: materials loose and in pk4 archives, the dds/ mirror,
// names written after the game's base folder.
void make_id_tech4_tree(const std::string& game)
{
    put(game + "materials/a.mtr",
        "table foo { { 0, 1 } }\n"
        "models/mapobjects/chairs/chair1 { bumpmap models/x_local diffusemap models/mapobjects/chairs/chair1_d.tga }\n"
        "tdm_door_latch_01 { qer_editorimage textures/door/latch_ed\n"
        "  { blend diffusemap map makeIntensity(textures/door/latch.tga) } }\n"
        "shadowed { diffusemap textures/a }\nwhite_mat { { blend diffusemap map _white } }\n"
        "black_mat { diffusemap _black }\ndup { diffusemap textures/first }\n");
    put(game + "materials/b.mtr", "dup { diffusemap textures/second }\n");
    put(game + "scripts/x.shader", "shadowed { qer_editorImage textures/shader_wins }\n");
    for (const char* image : {"textures/door/latch.png", "textures/first.jpg", "textures/second.jpg",
                              "textures/shader_wins.tga", "textures/a.tga", "models/thing.tga",
                              "zz.pk4dir/textures/implicit.tga"})
        put(game + image);
    write_zip(game + "pak000.pk4", {{"materials/pak.mtr", "pakmat { diffusemap textures/pakimg }"},
                                    {"textures/pakimg.tga", "x"}, {"dds/textures/over.dds", "old"},
                                    {"dds/models/mapobjects/chairs/chair1_d.dds", "x"}});
    write_zip(game + "pak001.pk4", {{"dds/textures/over.dds", "new"}});
}

TEST(GameTree, IdTech4MaterialsArchivesAndPrecompressedMirror)
{
    ScratchFolder scratch;
    const std::string game = "d3/base/";
    make_id_tech4_tree(game);
    put(game + "maps/m.ase");
    const struct {
        const char* name;
        std::string first, reported;
        bool white = false;
    } cases[] = {
        {"C:/Doom3/base/models/mapobjects/chairs/chair1.tga",
         game + "pak000.pk4:dds/models/mapobjects/chairs/chair1_d.dds", "models/mapobjects/chairs/chair1"},
        {"//base/tdm_door_latch_01", game + "textures/door/latch.png", "tdm_door_latch_01"},  // diffuse stage
        {R"(\\purgatory\purgatory\doom\base\Shadowed)", game + "textures/shader_wins.tga", "shadowed"},
        {"//base/white_mat", "", "white_mat", true},
        {"//base/black_mat", "", "black_mat"},
        {"//base/dup.tga", game + "textures/first.jpg", "dup"},  // files in name order, the first wins
        {"C:/Doom3/base/textures/implicit.tga", game + "zz.pk4dir/textures/implicit.tga", "textures/implicit"},
        {"//base/textures/over", game + "pak001.pk4:dds/textures/over.dds", "textures/over"},
        {"//base/pakmat", game + "pak000.pk4:textures/pakimg.tga", "pakmat"},
        {"q4base/Models/Thing", game + "models/thing.tga", "models/thing"},
        {"/home/artist/thing.tga", "", "/home/artist/thing.tga"},  // no base folder: no game's name
        {"models/thing", game + "models/thing.tga", "models/thing"},  // the Quake III reading first
    };
    for (const auto& c : cases) {
        texture_lookup lookup = find_texture(game + "maps/m.ase", c.name);
        EXPECT_EQ(first_of(lookup.files), c.first) << c.name;
        EXPECT_EQ(lookup.name, c.reported) << c.name;
        EXPECT_EQ(lookup.white, c.white) << c.name;
    }
    // A stage's image: the file or its dds/ mirror, never a material of its name.
    std::unique_ptr<game_fs> tree = game_fs_open(game + "maps/m.ase");
    auto image = [&](const char* name) { return first_of(game_fs_find_image(*tree, name).files); };
    EXPECT_EQ(image("textures/a"), game + "textures/a.tga");
    EXPECT_EQ(image("textures/over.tga"), game + "pak001.pk4:dds/textures/over.dds");
    EXPECT_EQ(image("pakmat"), "");
    // An installed game's base folder serves a mission that lies elsewhere.
    put("mission/models/m.ase");
    setenv("ASEVIEW_GAME_PATH", game.c_str(), 1);
    EXPECT_EQ(first_of(find_texture("mission/models/m.ase", "//base/pakmat").files),
              game + "pak000.pk4:textures/pakimg.tga");
    unsetenv("ASEVIEW_GAME_PATH");
}

// How the game draws a name, and the loose file whose declaration decided.
TEST(GameTree, NeverDrawnTwoSidedAndWhereDeclared)
{
    ScratchFolder scratch;
    const std::string game = "d3/base/", shaders = game + "scripts/s.shader", mtr = game + "materials/m.mtr";
    put(game + "maps/m.ase");
    put(shaders, "models/fence { cull none { map models/fence.tga } }\nmodels/sky { surfaceparm nodraw }\n"
                 "models/off { CULL Disable qer_editorImage x }\nmodels/both { cull twosided surfaceparm trans "
                 "qer_editorImage x }\ntextures/common/hint { qer_editorImage textures/common/hint_ed }\n"
                 "models/hidden { surfaceparm nodraw qer_editorImage x }\n");
    put(mtr, "textures/editor_only { qer_editorimage textures/e }\ntextures/bump_only { bumpmap textures/b }\n"
             "textures/stage { { map textures/s } }\ntextures/blend_only { { blend add } }\n"
             "textures/glass { twoSided diffusemap textures/g }\ntextures/common/clip { diffusemap textures/c }\n");
    write_zip(game + "pak000.pk4", {{"materials/p.mtr", "textures/pak { twosided }"}});
    const struct {
        const char* name;
        bool never_drawn, two_sided;
        std::string declared_in;
    } cases[] = {
        {"models/fence", false, true, shaders},    {"models/sky", true, false, shaders},
        {"models/off", false, true, shaders},      {"models/both", false, true, shaders},
        {"models/hidden.tga", true, false, shaders}, {"//base/textures/editor_only", true, false, mtr},
        {"//base/textures/bump_only", true, false, mtr}, {"//base/textures/stage", false, false, mtr},
        {"//base/textures/blend_only", false, false, mtr}, {"//base/textures/glass", false, true, mtr},
        {"//base/textures/pak", true, true, ""},  // from an archive: nothing to watch
        // Undeclared editor surfaces of the common folder; declared ones decide.
        {R"(C:\doom3\base\textures\common\shadow.tga)", true, false, ""},
        {"textures/common/caulk", true, false, ""}, {"textures/common/Monster_Clip", true, false, ""},
        {"textures/common/trigger_hurt", true, false, ""}, {"textures/common/nodrawsolid", true, false, ""},
        {"textures/common/hint", false, false, shaders}, {"textures/common/clip", false, false, mtr},
        {"textures/common/clipper", false, false, ""}, {"textures/common/sub/caulk", false, false, ""},
        {"textures/walls/caulk", false, false, ""},
    };
    for (const auto& c : cases) {
        texture_lookup lookup = find_texture(game + "maps/m.ase", c.name);
        EXPECT_EQ(lookup.never_drawn, c.never_drawn) << c.name;
        EXPECT_EQ(lookup.two_sided, c.two_sided) << c.name;
        EXPECT_EQ(lookup.declared_in.empty() ? "" : fs::relative(lookup.declared_in).string(), c.declared_in)
            << c.name;
    }
}

// The edit loop: a texture, a material or an archive added after a tree was
// opened is seen by the tree opened anew, not by the old one.
TEST(GameTree, TreeOpenedAnewSeesWhatWasAdded)
{
    ScratchFolder scratch;
    const std::string game = "q3/baseq3/", ase = game + "models/m.ase";
    put(ase);
    const struct {
        const char* name;
        std::function<void()> add;
        std::string first;
    } cases[] = {
        {"textures/new/wall", [&] { put(game + "textures/new/wall.png"); }, game + "textures/new/wall.png"},
        {"//base/newmat", [&] { put(game + "materials/new.mtr", "newmat { diffusemap textures/new/wall }"); },
         game + "textures/new/wall.png"},
        {"textures/pk/img", [&] { write_zip(game + "zz.pk3", {{"textures/pk/img.tga", "x"}}); },
         game + "zz.pk3:textures/pk/img.tga"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<game_fs> before = game_fs_open(ase);
        EXPECT_EQ(first_of(game_fs_find_texture(*before, c.name).files), "") << c.name;
        c.add();
        EXPECT_EQ(first_of(game_fs_find_texture(*before, c.name).files), "") << c.name;
        EXPECT_EQ(first_of(find_texture(ase, c.name).files), c.first) << c.name;
    }
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

void put_le(std::string& bytes, uint64_t value, int size)
{
    for (int i = 0; i < size; i++)
        bytes += char(value >> (8 * i) & 0xff);
}

// The archive with its end record's counts moved into a zip64 end record,
// as archives of more than 65535 entries or 4 GiB have them.
std::string as_zip64(const std::string& zip)
{
    size_t end = zip.rfind("PK\x05\x06");
    auto field = [&](size_t at, int size) {
        uint64_t value = 0;
        for (int i = size - 1; i >= 0; i--)
            value = value << 8 | (unsigned char)zip[end + at + i];
        return value;
    };
    std::string out = zip.substr(0, end) + "PK\x06\x06";
    put_le(out, 44, 8);
    put_le(out, 45, 2);
    put_le(out, 45, 2);
    put_le(out, 0, 8);
    put_le(out, field(10, 2), 8);
    put_le(out, field(10, 2), 8);
    put_le(out, field(12, 4), 8);
    put_le(out, field(16, 4), 8);
    out += "PK\x06\x07";
    put_le(out, 0, 4);
    put_le(out, end, 8);
    put_le(out, 1, 4);
    out += "PK\x05\x06";
    put_le(out, 0, 4);
    put_le(out, 0xffffffff, 4);
    put_le(out, 0xffffffffffffffff, 8);
    put_le(out, 0, 2);
    return out;
}

// Stored entries, an archive with a zip64 end record, and entries whose
// method, flags or bytes the reader must not trust.
TEST(GameTree, ArchiveEntriesStoredDeflatedAndDamaged)
{
    ScratchFolder scratch;
    write_zip("small.pk4", {{"e/1", ""}, {"e/2", "last"}});
    write_file("zip64.pk4", as_zip64(read_file("small.pk4")));
    game_archive* archive = archive_open("zip64.pk4");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->entries.size(), 2u);
    uint64_t entry;
    std::string bytes;
    EXPECT_TRUE(archive_find(archive, "E/2", &entry) && archive_read(archive, entry, 4, &bytes));
    EXPECT_EQ(bytes, "last");
    archive_close(archive);

    write_zip("stored.pk4", {{"x.tga", "hello world"}}, true);
    const std::string good = read_file("stored.pk4");
    size_t central = good.find("PK\x01\x02"), data = good.find("hello world");
    const struct {
        const char* what;
        size_t at;
        char byte;
    } damages[] = {
        {"nothing", 0, 'P'},
        {"a method other than stored or deflated", central + 10, 12},
        {"the encrypted flag", central + 8, 1},
        {"a byte of its data (checksum)", data + 4, 'X'},
        {"its local header's signature", 0, 'Q'},
    };
    for (const auto& damage : damages) {
        std::string zip = good;
        zip[damage.at] = damage.byte;
        write_file("damaged.pk4", zip);
        archive = archive_open("damaged.pk4");
        ASSERT_NE(archive, nullptr) << damage.what;
        bool read = archive_find(archive, "x.tga", &entry) && archive_read(archive, entry, 100, &bytes);
        EXPECT_EQ(read, damage.at == 0 && damage.byte == 'P') << damage.what;
        archive_close(archive);
    }
}

// Why a file found is not read, for each kind of file and package.
TEST(GameTree, ReadReasons)
{
    ScratchFolder scratch;
    const std::string game = "q3/baseq3/", ase = game + "models/m.ase";
    put(ase);
    put(game + "textures/a.tga", "hello");
    put(game + "textures/gone.tga", "x");
    ASSERT_EQ(mkfifo((game + "textures/fifo.tga").c_str(), 0600), 0);
    write_zip(game + "pak.pk3", {{"textures/big.tga", std::string(100, 'x')}, {"textures/bad.tga", "hello world"}},
              true);
    std::string zip = read_file(game + "pak.pk3");
    zip[zip.find("hello world")] = 'j';
    write_file(game + "pak.pk3", zip);
    std::unique_ptr<game_fs> tree = game_fs_open(ase);
    const struct {
        const char* name;
        size_t limit;
        std::string why;
    } cases[] = {
        {"textures/a", 5, ""}, {"textures/a", 4, "larger than 4 bytes"},
        {"textures/fifo", 5, "not a regular file"}, {"textures/gone", 5, "No such file or directory"},
        {"textures/big", 10, "larger than 10 bytes"}, {"textures/bad", 100, "damaged entry"},
    };
    std::vector<texture_lookup> lookups;
    for (const auto& c : cases)
        lookups.push_back(game_fs_find_texture(*tree, c.name));
    fs::remove(game + "textures/gone.tga");  // found, then taken away
    for (size_t i = 0; i < std::size(cases); i++) {
        const auto& c = cases[i];
        ASSERT_EQ(lookups[i].files.size(), 1u) << c.name;
        std::string bytes, why = "unset";
        EXPECT_EQ(game_fs_read(*tree, lookups[i].files[0], c.limit, &bytes, &why), c.why.empty()) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
    }
}

// Stored empty entries e/0, e/1... with no zip64 record, the end record's
// count as the writer left it.
std::string zip_without_zip64(size_t count, uint16_t end_count)
{
    std::string local, central;
    for (size_t i = 0; i < count; i++) {
        std::string name = "e/" + std::to_string(i);
        uint64_t offset = local.size();
        local += "PK\x03\x04";
        put_le(local, 10, 2);
        local.append(20, '\0');  // flags, method, time, checksum and sizes
        put_le(local, name.size(), 2);
        put_le(local, 0, 2);
        local += name;
        central += "PK\x01\x02";
        put_le(central, 20, 2);
        put_le(central, 10, 2);
        central.append(20, '\0');
        put_le(central, name.size(), 2);
        central.append(12, '\0');  // extra, comment, disk, attributes
        put_le(central, offset, 4);
        central += name;
    }
    std::string end = "PK\x05\x06";
    put_le(end, 0, 4);
    put_le(end, end_count, 2);
    put_le(end, end_count, 2);
    put_le(end, central.size(), 4);
    put_le(end, local.size(), 4);
    put_le(end, 0, 2);
    return local + central + end;
}

TEST(GameTree, ManyEntriesWithoutZip64)
{
    ScratchFolder scratch;
    for (size_t count : {65535, 65536, 70000}) {
        write_file("many.pk3", zip_without_zip64(count, uint16_t(std::min<size_t>(count, 0xffff))));
        write_file("wrapped.pk3", zip_without_zip64(count, uint16_t(count)));
        for (const char* path : {"many.pk3", "wrapped.pk3"}) {
            game_archive* archive = archive_open(path);
            ASSERT_NE(archive, nullptr) << path << " " << count;
            EXPECT_EQ(archive->entries.size(), count);
            uint64_t entry;
            std::string bytes = "x";
            EXPECT_TRUE(archive_find(archive, "e/" + std::to_string(count - 1), &entry) &&
                        archive_read(archive, entry, 0, &bytes) && bytes.empty());
            archive_close(archive);
        }
    }
}

long peak_kib()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// An entry that claims 64 MiB but holds a kilobyte costs about nothing, read
// alone or as a tree's script.
TEST(GameTree, ClaimedSizeCostsNothing)
{
    ScratchFolder scratch;
    put("q3/baseq3/models/m.ase");
    write_zip("q3/baseq3/bomb.pk3", {{"scripts/bomb.shader", std::string(1000, 'a')}});
    std::string zip = read_file("q3/baseq3/bomb.pk3");
    zip.replace(zip.find("PK\x01\x02") + 24, 4, std::string("\0\0\0\x04", 4));
    zip.replace(zip.find("PK\x03\x04") + 22, 4, std::string("\0\0\0\x04", 4));
    write_file("q3/baseq3/bomb.pk3", zip);
    long before = peak_kib();
    game_archive* archive = archive_open("q3/baseq3/bomb.pk3");
    ASSERT_NE(archive, nullptr);
    std::string bytes, why;
    EXPECT_FALSE(archive_read(archive, 0, size_t(128) << 20, &bytes, &why));
    EXPECT_EQ(why, "damaged entry");
    archive_close(archive);
    EXPECT_EQ(capture_stdout([] { game_fs_open("q3/baseq3/models/m.ase"); }), "");
    EXPECT_LT(peak_kib() - before, 16 << 10);
}

// Scripts past 64 MiB in all are skipped with one line; a million ".tga" in
// an image's name are taken out at once.
TEST(GameTree, ScriptTextBudgetAndLongNames)
{
    ScratchFolder scratch;
    const std::string game = "q3/baseq3/", ase = game + "models/m.ase", padding(30 << 20, ' ');
    put(ase);
    put(game + "textures/x.tga");
    std::string tgas;
    for (int i = 0; i < 1000000; i++)
        tgas += ".TgA";
    put(game + "materials/long.mtr", "long { diffusemap textures/x" + tgas + " } seam { diffusemap textures/x.t.tgaga }");
    write_zip(game + "pak0.pk3", {{"scripts/a.shader", "a { surfaceparm nodraw }" + padding},
                                  {"scripts/b.shader", "b { surfaceparm nodraw }" + padding},
                                  {"scripts/c.shader", "c { surfaceparm nodraw }" + padding}});
    write_zip(game + "pak1.pk3", {{"scripts/d.shader", "d { surfaceparm nodraw }"}});
    std::unique_ptr<game_fs> tree;
    std::string out = capture_stdout([&] { tree = game_fs_open(ase); });
    EXPECT_EQ(out, "scripts skipped: over 64 MiB of shader and material text; " + fs::absolute(game).string() +
                       "pak0.pk3: scripts/c.shader and the scripts after it are not read\n");
    for (const char* name : {"d", "a", "b", "c"})
        EXPECT_EQ(game_fs_find_texture(*tree, name).never_drawn, name[0] != 'c') << name;
    for (const char* name : {"//base/long", "//base/seam"})
        EXPECT_EQ(first_of(game_fs_find_texture(*tree, name).files), game + "textures/x.tga") << name;
}

}  // namespace
