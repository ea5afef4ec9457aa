// aseview-export's batch run as a program where batches go wrong: low
// limits, links and shared folders in the output folder, outputs that are
// inputs, and signals to the parent alone.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>

#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

const std::string exporter = "'" EXPORT_BIN "'";

const std::string triangle = "*GEOMOBJECT {\n*MESH {\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n"
                             "*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 1 2 3\n}\n*MESH_FACE_LIST {\n"
                             "*MESH_FACE 0: A: 0 B: 1 C: 2\n}\n}\n}\n";

// The command's last line on standard output, and its standard error.
std::pair<std::string, std::string> run(const std::string& command)
{
    [[maybe_unused]] int status = system((command + " >out.txt 2>err.txt").c_str());
    std::string out = read_file("out.txt");
    return {out.substr(out.rfind('\n', out.size() - 2) + 1), read_file("err.txt")};
}

class BatchTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
};

// A worker that cannot be had leaves its models to those running. Another
// user's processes are counted apart from root's.
TEST_F(BatchTest, LowLimitsLeaveFewerWorkersNotFailedModels)
{
    fs::create_directory("many");
    for (int i = 0; i < 300; i++)
        write_file("many/m" + std::to_string(i) + ".ase", triangle);
    fs::permissions(".", fs::perms::all);
    for (std::string limited :
         {"prlimit --nofile=64 " + exporter + " -j 100",
          "setpriv --reuid=54321 --regid=54321 --clear-groups prlimit --nproc=3 " + exporter +
              " -j 8"}) {
        SCOPED_TRACE(limited);
        if (limited.starts_with("setpriv") && getuid() != 0) {
            GTEST_SKIP() << "another user's process limit needs root";
        }
        // A checkout below a folder closed to others (mktemp -d's) keeps the
        // exporter from that user.
        if (limited.starts_with("setpriv") &&
            system(("setpriv --reuid=54321 --regid=54321 --clear-groups test -x " + exporter).c_str()) != 0)
            GTEST_SKIP() << "another user cannot reach " << exporter;
        fs::remove_all("out");
        EXPECT_EQ(run(limited + " -o out many").first,
                  "exported 300 of 300 models (0 textures not found, 0 failed)\n");
    }
}

// Never through a link below the output folder, one model's file for one
// folder reached by two names (a bind mount), and never over an input.
TEST_F(BatchTest, OutputsAreTheirFilesNotTheirNames)
{
    write_file("m.ase", triangle);
    struct {
        const char *setup, *args, *refusal, *count;
        const char* untouched;  // a folder left empty, or a file left the model it was
    } cases[] = {
        {"mkdir -p in/sub out elsewhere && cp m.ase in/sub/x.ase && ln -s ../elsewhere out/sub",
         "-o out in", "in/sub/x.ase: out/sub is a symbolic link, not written through", "0 of 1",
         "elsewhere"},
        {"mkdir -p in/sub in/other out/other && cp m.ase in/sub/x.ase && cp m.ase in/other/x.ase "
         "&& "
         "ln -s other out/sub",
         "-o out in", "in/sub/x.ase: out/sub is a symbolic link, not written through", "1 of 2",
         nullptr},
        {"cp m.ase a && cp m.ase a.glb", "-j1 -o . a a.glb", "a: ./a.glb is the input a.glb",
         "1 of 2", "a.glb"},
        {"mkdir -p in/sub in/other out/sub out/other && cp m.ase in/sub/x.ase && "
         "cp m.ase in/other/x.ase && mount --bind out/other out/sub",
         "-o out in", "in/sub/x.ase: out/sub/x.glb is already the export of in/other/x.ase",
         "1 of 2", nullptr},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.setup);
        for (const char* made : {"in", "out", "elsewhere", "a", "a.glb"})
            fs::remove_all(made);
        if (system((std::string(t.setup) + " 2>/dev/null").c_str()) != 0) {
            GTEST_SKIP() << "cannot be set up here (a bind mount needs root)";
        }
        auto [count, err] = run(exporter + " " + t.args);
        umount2("out/sub", MNT_DETACH | UMOUNT_NOFOLLOW);
        EXPECT_NE(err.find("aseview-export: " + std::string(t.refusal) + "\n"), std::string::npos)
            << err;
        EXPECT_EQ(count, "exported " + std::string(t.count) +
                             " models (0 textures not found, 1 failed)\n");
        if (t.untouched) {
            EXPECT_TRUE(fs::is_directory(t.untouched) ? fs::is_empty(t.untouched)
                                                      : read_file(t.untouched) == triangle);
        }
    }
}

std::string proc(pid_t pid, const std::string& what)
{
    return "/proc/" + std::to_string(pid) + "/" + what;
}

// The batch's workers that have a model open.
std::vector<pid_t> reading_workers(pid_t batch)
{
    std::istringstream children(
        read_file(proc(batch, "task/" + std::to_string(batch) + "/children")));
    std::vector<pid_t> reading;
    std::error_code ignored;
    for (pid_t pid; children >> pid;)
        for (const auto& fd : fs::directory_iterator(proc(pid, "fd"), ignored))
            if (fs::read_symlink(fd.path(), ignored).extension() == ".ase" &&
                std::find(reading.begin(), reading.end(), pid) == reading.end())
                reading.push_back(pid);
    return reading;
}

// Gone, or only waiting to be reaped.
bool ended(pid_t pid)
{
    std::string stat = read_file(proc(pid, "stat"));
    return stat.empty() || stat.compare(stat.rfind(')') + 2, 1, "Z") == 0;
}

std::set<std::string> names_in(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool wait_until(const std::function<bool()>& event, int seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!event() && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    return event();
}

// The parent alone signalled while both workers read models: it ends by that
// signal, and no file, whole or temporary, appears after it has gone.
TEST_F(BatchTest, WorkersEndWithTheirParent)
{
    std::string faces, model = triangle;
    for (int f = 0; f < 300000; f++)
        faces += "*MESH_FACE " + std::to_string(f) + ": A: 0 B: 1 C: 2\n";
    model.replace(model.find("*MESH_FACE 0"), 29, faces);
    fs::create_directory("in");
    for (int i = 0; i < 6; i++)
        write_file("in/s" + std::to_string(i) + ".ase", model);
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(strsignal(number));
        fs::remove_all("out");
        pid_t batch = fork();
        if (batch == 0) {
            if (!freopen("/dev/null", "w", stdout) || !freopen("err.txt", "w", stderr))
                _exit(126);
            for (int caught : {SIGTERM, SIGINT, SIGHUP})
                signal(caught, SIG_DFL);
            execl(EXPORT_BIN, EXPORT_BIN, "-j", "2", "-o", "out", "in", nullptr);
            _exit(127);
        }
        std::vector<pid_t> workers;
        bool busy = wait_until([&] { return (workers = reading_workers(batch)).size() == 2; }, 20);
        kill(batch, number);
        int status;
        ASSERT_EQ(waitpid(batch, &status, 0), batch);
        ASSERT_TRUE(busy) << "the two workers were never seen reading models";
        std::set<std::string> left = names_in("out");
        EXPECT_TRUE(
            wait_until([&] { return std::all_of(workers.begin(), workers.end(), ended); }, 10));
        EXPECT_EQ(names_in("out"), left);
        EXPECT_TRUE(
            std::none_of(left.begin(), left.end(), [](auto& name) { return name[0] == '.'; }));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << status;
        EXPECT_EQ(read_file("err.txt").starts_with("aseview-export: stopped ("), number != SIGKILL);
    }
}

}  // namespace
