// The thumbnailer as GNOME runs it: installed (into a staging folder whose
// /usr/local is laid over the real one), its .thumbnailer Exec line with %i,
// %o and %s filled in, inside bubblewrap with what GNOME's sandbox gives:
// /usr read-only with the usrmerge links, /proc, /dev, a private /tmp that
// holds the input read-only and receives the output, no network, no home,
// the working directory /, and the caller's environment, whose DISPLAY (the
// test's live one) cannot be reached from there. Run as an ordinary user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "tests/support/files.h"
#include "tests/support/png_read.h"

namespace fs = std::filesystem;

namespace {

const std::string input = "/tmp/gnome-desktop-file-to-thumbnail.ase";
const std::string output = "/tmp/gnome-desktop-thumbnailer.png";

// The value of a key of the installed .thumbnailer.
std::string entry(const fs::path& file, const std::string& key)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return "";
}

std::string replaced(std::string text, const std::string& what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

std::vector<std::string> listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

class Thumbnailer : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string install = "DESTDIR='" + stage_.string() + "' '" CMAKE_BIN "' --install '" ASEVIEW_BUILD_DIR
                              "' --prefix /usr/local >/dev/null";
        ASSERT_EQ(std::system(install.c_str()), 0);
        fs::path file = stage_ / "usr/local/share/thumbnailers/aseview.thumbnailer";
        ASSERT_EQ(entry(file, "MimeType"), "model/x-ase;");
        ASSERT_EQ(entry(file, "TryExec"), "/usr/local/bin/make_screenshot");
        exec_ = entry(file, "Exec");
        ASSERT_NE(exec_.find("%i"), std::string::npos);
    }

    // Runs the Exec line for a model of that content in a fresh private /tmp
    // (box); its exit status.
    int thumbnail(const std::string& model, int size, mode_t mode = 0644, uintmax_t grown_to = 0)
    {
        fs::remove_all(box_);
        fs::create_directory(box_);
        fs::permissions(box_, fs::perms::all);
        write_file(box_ / fs::path(input).filename(), model);
        chmod((box_ / fs::path(input).filename()).c_str(), mode);
        if (grown_to)
            fs::resize_file(box_ / fs::path(input).filename(), grown_to);
        // Root maps to an ordinary user in the sandbox, for whom a file's
        // permission bits hold.
        std::string uid = getuid() == 0 ? "1000" : std::to_string(getuid());
        std::string command =
            "bwrap --unshare-all --unshare-user --uid " + uid + " --die-with-parent"
            " --ro-bind /usr /usr --ro-bind '" + (stage_ / "usr/local").string() + "' /usr/local"
            " --symlink usr/bin /bin --symlink usr/lib /lib --symlink usr/lib64 /lib64"
            " --symlink usr/sbin /sbin --proc /proc --dev /dev"
            " --bind '" + box_.string() + "' /tmp --ro-bind '" + (box_ / fs::path(input).filename()).string() +
            "' " + input + " --chdir / --setenv TMPDIR /run/user/1000 " +
            replaced(replaced(replaced(exec_, "%i", input), "%o", output), "%s", std::to_string(size)) +
            " >/dev/null 2>'" + (scratch_.path() / "stderr").string() + "'";
        int status = std::system(command.c_str());
        errors_ = read_file(scratch_.path() / "stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchFolder scratch_;
    const fs::path stage_ = scratch_.path() / "stage", box_ = scratch_.path() / "box";
    std::string exec_, errors_;
    const std::vector<std::string> input_only = {fs::path(input).filename()};
    const std::vector<std::string> input_and_output = {fs::path(input).filename(), fs::path(output).filename()};
};

// The default knot at the sizes file managers ask for; nothing is left in
// /tmp but the input and the thumbnail: no X socket or lock file, no
// scratch folder.
TEST_F(Thumbnailer, WritesThePictureAtTheSizeAskedForAndNothingElse)
{
    std::string knot = read_file(ASEVIEW_BUILD_DIR "/run/knot.ase");
    for (int size : {128, 256, 512}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(thumbnail(knot, size), 0) << errors_;
        EXPECT_EQ(listing(box_), input_and_output);
        Png png = read_png(box_ / fs::path(output).filename(), PNG_FORMAT_RGB);
        EXPECT_EQ(png.width, size);
        EXPECT_EQ(png.height, size * 3 / 4);
        EXPECT_EQ(errors_, "");
    }
}

// Models it makes no picture of: a non-zero status, one line on standard
// error, and no output file.
TEST_F(Thumbnailer, DeclinesModelsWithoutAPicture)
{
    std::string knot = read_file(ASEVIEW_BUILD_DIR "/run/knot.ase");
    const struct {
        const char* name;
        std::string model;
        mode_t mode;
        uintmax_t grown_to;  // 0: as it is
        const char* said;
    } cases[] = {
        {"empty", "", 0644, 0, "shows nothing"},
        {"binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0", 20), 0644, 0,
         "shows nothing"},
        {"no_faces", "*3DSMAX_ASCIIEXPORT\t200\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 0\n", 0644, 0,
         "shows nothing"},
        {"unreadable", knot, 0, 0, "cannot read"},
        // The knot followed by blank lines, sparse.
        {"over_100_MiB", knot, 0644, (100 << 20) + 1, "larger than 100 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(thumbnail(c.model, 256, c.mode, c.grown_to), 0);
        EXPECT_EQ(listing(box_), input_only);
        EXPECT_EQ(std::count(errors_.begin(), errors_.end(), '\n'), 1) << errors_;
        EXPECT_NE(errors_.find(c.said), std::string::npos) << errors_;
    }
}

}  // namespace
