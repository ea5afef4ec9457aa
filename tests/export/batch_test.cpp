// aseview-export's batch run as a program where batches go wrong: low
// descriptor and process limits, links and shared folders in the output
// folder, outputs that are inputs, and signals to the parent alone.
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

const char triangle[] =
    "*GEOMOBJECT {\n*NODE_NAME \"T\"\n*MESH {\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n"
    "*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 1 2 3\n}\n*MESH_FACE_LIST {\n"
    "*MESH_FACE 0: A: 0 B: 1 C: 2\n}\n}\n}\n";

struct run_result {
    int status;
    std::string out, err;
};

run_result run(const std::string& command)
{
    int status = system((command + " >out.txt 2>err.txt").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file("out.txt"),
            read_file("err.txt")};
}

std::string last_line(const std::string& text)
{
    return text.substr(text.rfind('\n', text.size() - 2) + 1);
}

class BatchTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
};

// As make -j and xargs -P do: a worker that cannot be had leaves the rest
// to those running. Another user's processes are counted apart from root's.
TEST_F(BatchTest, LowLimitsLeaveFewerWorkersNotFailedModels)
{
    fs::create_directory("many");
    for (int i = 0; i < 300; i++)
        write_file("many/m" + std::to_string(i) + ".ase", triangle);
    const std::string as_other_user = "setpriv --reuid=54321 --regid=54321 --clear-groups ";
    struct {
        const char* name;
        std::string limited;
        int status;
        const char* count;
    } cases[] = {
        {"descriptors", "prlimit --nofile=64 " + exporter + " -j 100", 0,
         "exported 300 of 300 models (0 textures not found, 0 failed)\n"},
        {"processes", as_other_user + "prlimit --nproc=3 " + exporter + " -j 8", 0,
         "exported 300 of 300 models (0 textures not found, 0 failed)\n"},
        // The sanitizer's leak check would need a process of its own.
        {"no_process_at_all",
         "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" " + as_other_user + "prlimit --nproc=1 " +
             exporter + " -j 8",
         1, "exported 0 of 300 models (0 textures not found, 300 failed)\n"},
    };
    fs::permissions(".", fs::perms::all);
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        if (t.limited.find("setpriv") != std::string::npos && getuid() != 0) {
            GTEST_SKIP() << "another user's process limit needs root";
        }
        fs::remove_all("out");
        run_result r = run(t.limited + " -o out many");
        EXPECT_EQ(r.status, t.status) << r.err.substr(0, 500);
        EXPECT_EQ(last_line(r.out), t.count) << r.out.substr(0, 500);
    }
}

// A link below the output folder is never written through; one folder
// reached by two names (a bind mount) takes one model's file, not two; an
// input is never an output.
TEST_F(BatchTest, OutputsAreTheirFilesNotTheirNames)
{
    write_file("m.ase", triangle);
    struct {
        const char* name;
        const char* setup;
        const char* args;
        const char* refusal;
        const char* count;
        const char* untouched;  // a file that must stay the model it was, or a folder left empty
    } cases[] = {
        {"link_out_of_it",
         "mkdir -p in/sub out elsewhere && cp m.ase in/sub/x.ase && ln -s ../elsewhere out/sub",
         "-o out in", "in/sub/x.ase: out/sub is a symbolic link, not written through",
         "exported 0 of 1 models (0 textures not found, 1 failed)\n", "elsewhere"},
        {"link_to_a_sibling",
         "mkdir -p in/sub in/other out/other && cp m.ase in/sub/x.ase && cp m.ase in/other/x.ase "
         "&& ln -s other out/sub",
         "-o out in", "in/sub/x.ase: out/sub is a symbolic link, not written through",
         "exported 1 of 2 models (0 textures not found, 1 failed)\n", nullptr},
        {"input_by_name", "cp m.ase a && cp m.ase a.glb", "-j1 -o . a a.glb",
         "a: ./a.glb is the input a.glb",
         "exported 1 of 2 models (0 textures not found, 1 failed)\n", "a.glb"},
        {"input_by_hard_link",
         "mkdir out && cp m.ase x.ase && cp m.ase y.ase && ln y.ase out/x.glb",
         "-o out x.ase y.ase", "x.ase: out/x.glb is the input y.ase",
         "exported 1 of 2 models (0 textures not found, 1 failed)\n", "y.ase"},
        {"bind_mount",
         "mkdir -p in/sub in/other out/sub out/other && cp m.ase in/sub/x.ase && "
         "cp m.ase in/other/x.ase && mount --bind out/other out/sub",
         "-o out in", "in/sub/x.ase: out/sub/x.glb is already the export of in/other/x.ase",
         "exported 1 of 2 models (0 textures not found, 1 failed)\n", nullptr},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        for (const char* made : {"in", "out", "elsewhere", "a", "a.glb", "x.ase", "y.ase"})
            fs::remove_all(made);
        if (system((std::string(t.setup) + " 2>/dev/null").c_str()) != 0) {
            GTEST_SKIP() << "cannot set up " << t.name << " here (a bind mount needs root)";
        }
        run_result r = run(exporter + " " + t.args);
        if (std::string(t.name) == "bind_mount")
            umount2("out/sub", MNT_DETACH);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("aseview-export: " + std::string(t.refusal) + "\n"), std::string::npos)
            << r.err;
        EXPECT_EQ(last_line(r.out), t.count) << r.out;
        if (t.untouched && fs::is_directory(t.untouched)) {
            EXPECT_TRUE(fs::is_empty(t.untouched));
        } else if (t.untouched) {
            EXPECT_EQ(read_file(t.untouched), triangle);
        }
    }
}

// Faces of their own vertices: enough of them for a worker to take a while.
std::string slow_model()
{
    std::string text = "*GEOMOBJECT {\n*NODE_NAME \"Strip\"\n*MESH {\n*MESH_VERTEX_LIST {\n";
    const int faces = 100000;
    for (int v = 0; v < faces * 3; v++)
        text += "*MESH_VERTEX " + std::to_string(v) + " " + std::to_string(v % 3) + " " +
                std::to_string(v / 3) + " 0\n";
    text += "}\n*MESH_FACE_LIST {\n";
    for (int f = 0; f < faces; f++)
        text += "*MESH_FACE " + std::to_string(f) + ": A: " + std::to_string(f * 3) +
                " B: " + std::to_string(f * 3 + 1) + " C: " + std::to_string(f * 3 + 2) + "\n";
    return text + "}\n}\n}\n";
}

std::vector<pid_t> children(pid_t parent)
{
    std::istringstream list(read_file("/proc/" + std::to_string(parent) + "/task/" +
                                      std::to_string(parent) + "/children"));
    std::vector<pid_t> pids;
    for (pid_t pid; list >> pid;)
        pids.push_back(pid);
    return pids;
}

bool reading_a_model(pid_t pid)
{
    std::error_code ignored;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored))
        if (fs::read_symlink(fd.path(), ignored).extension() == ".ase")
            return true;
    return false;
}

// Ended: no such process, or one only waiting to be reaped.
bool ended(pid_t pid)
{
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t name_end = stat.rfind(')');
    return name_end == std::string::npos || stat.compare(name_end + 2, 1, "Z") == 0;
}

std::set<std::string> names_in(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool wait_until(const std::function<bool()>& event, double seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!event()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        usleep(1000);
    }
    return true;
}

// The parent alone signalled while its workers read models: it ends by that
// signal, and no file, whole or temporary, appears after it has gone.
TEST_F(BatchTest, WorkersEndWithTheirParent)
{
    fs::create_directory("in");
    std::string model = slow_model();
    for (int i = 0; i < 6; i++)
        write_file("in/s" + std::to_string(i) + ".ase", model);
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(strsignal(number));
        fs::remove_all("out");
        pid_t batch = fork();
        if (batch == 0) {
            freopen("out.txt", "w", stdout);
            freopen("err.txt", "w", stderr);
            for (int caught : {SIGTERM, SIGINT, SIGHUP})
                signal(caught, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execl(EXPORT_BIN, EXPORT_BIN, "-j", "2", "-o", "out", "in", nullptr);
            _exit(127);
        }
        std::vector<pid_t> workers;
        bool busy = wait_until(
            [&] {
                workers = children(batch);
                return workers.size() == 2 && reading_a_model(workers[0]) &&
                       reading_a_model(workers[1]);
            },
            20);
        kill(batch, number);
        int status;
        ASSERT_EQ(waitpid(batch, &status, 0), batch);
        ASSERT_TRUE(busy) << "the two workers were never seen reading models";
        std::set<std::string> left = names_in("out");
        EXPECT_TRUE(
            wait_until([&] { return std::all_of(workers.begin(), workers.end(), ended); }, 10));
        EXPECT_EQ(names_in("out"), left);
        for (const std::string& name : left)
            EXPECT_NE(name[0], '.') << name;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << status;
        if (number != SIGKILL) {
            EXPECT_EQ(read_file("err.txt").rfind("aseview-export: stopped (", 0), 0u)
                << read_file("err.txt");
        }
    }
}

}  // namespace
