// The ASE type as the desktop sees it: our MIME package compiled into a
// scratch data folder by update-mime-database and asked of through GIO, as
// file managers ask.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

// The type `gio info` reports for the file, with the scratch database.
std::string content_type(const fs::path& data, const std::string& file)
{
    std::string command = "XDG_DATA_HOME='" + data.string() + "' gio info -a standard::content-type '" +
                          file + "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char line[512];
        while (fgets(line, sizeof line, p))
            out += line;
        pclose(p);
    }
    const std::string key = "standard::content-type: ";
    size_t at = out.find(key);
    return at == std::string::npos ? "(none) " + out : out.substr(at + key.size(), out.find('\n', at) - at - key.size());
}

void install_packages(const fs::path& data, const std::vector<std::string>& packages)
{
    fs::create_directories(data / "mime/packages");
    for (const std::string& p : packages)
        fs::copy_file(p, data / "mime/packages" / fs::path(p).filename());
    ASSERT_EQ(std::system(("update-mime-database '" + (data / "mime").string() + "'").c_str()), 0);
}

const std::string header = "*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"x\"\n";
// A sprite editor's binary file: its magic word 0xA5E0 at offset 4.
const std::string sprite("\x20\x00\x00\x00\xe0\xa5\x01\x00\x40\x00\x40\x00\x20\x00\x00\x00\x00\x01\x02", 19);

// A sprite type that claims *.ase too, as newer databases have one.
const char* const sprite_package = R"(<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="image/x-test-sprite">
    <comment>sprite</comment>
    <glob pattern="*.ase"/>
    <magic priority="50"><match type="little16" offset="4" value="0xA5E0"/></magic>
  </mime-type>
</mime-info>
)";

struct Case {
    const char* name;
    std::string content;
    const char* alone;       // with our package alone
    const char* beside_sprite;  // with a sprite type that also claims *.ase
};

TEST(MimeType, NameOrHeaderMakeAnAseModel)
{
    ScratchFolder scratch;
    write_file("sprite.xml", sprite_package);
    install_packages("alone", {ASEVIEW_MIME_PACKAGE});
    install_packages("both", {ASEVIEW_MIME_PACKAGE, "sprite.xml"});
    fs::create_directory("files");
    // A lone match by name is taken without reading the file: where no
    // other type claims *.ase, a binary one is called an ASE model too (the
    // thumbnailer then declines it); beside a type that claims the name as
    // well, the content decides.
    const Case cases[] = {
        {"x.ase", header, "model/x-ase", "model/x-ase"},
        {"X.ASE", header, "model/x-ase", "model/x-ase"},
        {"Mixed.Ase", "*MESH_NUMVERTEX 0\n", "model/x-ase", "model/x-ase"},
        {"model", header, "model/x-ase", "model/x-ase"},
        {"notes.txt", header, "text/plain", "text/plain"},
        {"notes", "just some words\n", "text/plain", "text/plain"},
        {"sprite.ase", sprite, "model/x-ase", "image/x-test-sprite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = "files/" + std::string(c.name);
        write_file(file, c.content);
        EXPECT_EQ(content_type(scratch.path() / "alone", file), c.alone);
        EXPECT_EQ(content_type(scratch.path() / "both", file), c.beside_sprite);
    }
}

}  // namespace
