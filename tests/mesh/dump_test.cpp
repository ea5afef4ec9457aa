// The program's dumps: what they write for small stores, and against the
// fprintf dumps they replace the same three files byte for byte and the
// same console, over stores full of arbitrary float bit patterns; written
// whole or not at all.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>

#include "mesh/dump.h"
#include "mesh_support.h"

struct dump_output {
    std::string console, dump, norm, vnorm;
    bool operator==(const dump_output&) const = default;
};

// Each test writes its dumps in a scratch folder of its own.
class MeshDump : public testing::Test {
protected:
    void TearDown() override { reset_ase_reader(); }
    ScratchFolder scratch;

    static std::string console_of_dumps(void (*vert)(), void (*norm)(), void (*vnorm)())
    {
        return capture_stdout([&] { vert(), norm(), vnorm(); });
    }
    static std::string dump_all() { return console_of_dumps(dump_vert, dump_norm, dump_vnorm); }
    static void fill_dump_files(const std::string& content)
    {
        for (const char* name : {"dump.txt", "norm.txt", "vnorml.txt"})
            std::ofstream(name) << content;
    }
    static dump_output dump_with(void (*vert)(), void (*norm)(), void (*vnorm)())
    {
        fill_dump_files("earlier content");
        std::string console = console_of_dumps(vert, norm, vnorm);
        return {console, read_file("dump.txt"), read_file("norm.txt"), read_file("vnorml.txt")};
    }
    static void expect_same_dumps()
    {
        dump_output reference = dump_with(dump_vert_printf, dump_norm_printf, dump_vnorm_printf);
        dump_output program = dump_with(dump_vert, dump_norm, dump_vnorm);
        EXPECT_EQ(program.console, reference.console);
        EXPECT_EQ(program.dump, reference.dump);
        EXPECT_EQ(program.norm, reference.norm);
        EXPECT_EQ(program.vnorm, reference.vnorm);
    }
};
using MeshDumpVsPrintf = MeshDump;

TEST_F(MeshDump, SmallMeshByteForByte)
{
    fill_dump_files(std::string(5000, 'z'));  // earlier content goes
    parse_text("*MESH_NUMVERTEX 3\n*MESH_NUMFACES 2\n*MESH_VERTEX 0 1.5 -2 0\n*MESH_VERTEX 1 0.25 0.5 0.75\n"
               "*MESH_VERTEX 2 -1 1e-7 123456.5\n*MESH_FACENORMAL 1 0 0.5 -1\n*MESH_VERTEXNORMAL 2 0 1 0\n");
    EXPECT_EQ(dump_all(), "************ vertex dump *********\nv_pos = 2\n****** face data *********\n");
    EXPECT_EQ(read_file("dump.txt"),
              "HEEEEEEEEELLLLO\n-----MAX_FACES = 2\n"
              "vertex pos = 0\n X=1.500000\n\t\t\t\tY=-2.000000\n\tZ=0.000000\n"
              "vertex pos = 1\n X=0.250000\n\t\t\t\tY=0.500000\n\tZ=0.750000\n"
              "vertex pos = 2\n X=-1.000000\n\t\t\t\tY=0.000000\n\tZ=123456.500000\n");
    EXPECT_EQ(read_file("norm.txt"),
              "face num=0\nX Comp = 0.000000\tY Comp = 0.000000\tZ Comp 0.000000\n\n"
              "face num=1\nX Comp = 0.000000\tY Comp = 0.500000\tZ Comp -1.000000\n\n");
    EXPECT_EQ(read_file("vnorml.txt"),
              "position = 0\t x = 0.000000\t y = 0.000000\t z = 0.000000\n"
              "position = 1\t x = 0.000000\t y = 0.000000\t z = 0.000000\n"
              "position = 2\t x = 0.000000\t y = 1.000000\t z = 0.000000\n");
}

TEST_F(MeshDump, EmptyStore)
{
    reset_ase_reader();
    EXPECT_EQ(dump_all(), "************ vertex dump *********\nv_pos = 0\n****** face data *********\n");
    EXPECT_EQ(read_file("dump.txt"), "HEEEEEEEEELLLLO\n-----MAX_FACES = 0\n");
    EXPECT_EQ(read_file("norm.txt"), "");
    EXPECT_EQ(read_file("vnorml.txt"), "");
}

// v_pos comes from the file: the list stops at it and at the array's end.
TEST_F(MeshDump, VertexListStaysInsideTheArray)
{
    const struct { const char* text; int blocks; } cases[] = {
        {"*MESH_NUMVERTEX 2\n*MESH_VERTEX 9 1 1 1\n", 2}, {"*MESH_NUMVERTEX 2\n*MESH_VERTEX -3 1 1 1\n", 0},
        {"*MESH_NUMVERTEX 4\n*MESH_VERTEX 1 1 1 1\n", 2}, {"*MESH_VERTEX 5 1 1 1\n*MESH_NUMFACES 3\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        parse_text(c.text);
        dump_all();
        std::string text = read_file("dump.txt");
        size_t blocks = 0;
        for (size_t at = text.find("vertex pos"); at != std::string::npos; at = text.find("vertex pos", at + 1))
            blocks++;
        EXPECT_EQ(blocks, size_t(c.blocks));
    }
}

TEST_F(MeshDump, UnwritableDumpTxtGoesOn)
{
    parse_text("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n*MESH_VERTEX 0 1 2 3\n");
    std::filesystem::create_directory("dump.txt");
    std::filesystem::create_directory("vnorml.txt");
    EXPECT_EQ(dump_all(), "************ vertex dump *********\nPROBLEM\nv_pos = 0\n****** face data *********\n");
    EXPECT_EQ(read_file("norm.txt"), "face num=0\nX Comp = 0.000000\tY Comp = 0.000000\tZ Comp 0.000000\n\n");
}

// Fatal in both dumps alike, before the vertex normals.
TEST_F(MeshDump, UnwritableNormTxtIsFatal)
{
    parse_text("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n");
    std::filesystem::create_directory("norm.txt");
    EXPECT_EQ(fatal_stdout([] { dump_norm_printf(); }), "error in dump_norm()\n");
    EXPECT_EQ(fatal_stdout([] { dump_norm(); dump_vnorm(); }), "error in dump_norm()\n");
    EXPECT_FALSE(std::filesystem::exists("vnorml.txt"));
}

static float float_of(uint32_t bits)
{
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

// Values whose printing is easy to get wrong: signed zeros, NaNs with either
// sign and any payload, infinities, the extremes, subnormals, and halfway
// cases of the sixth decimal (k/128 are exact binary ties).
static const float special_values[] = {
    0.0f, -0.0f, NAN, -NAN, float_of(0x7f800001), float_of(0xffc00123), INFINITY, -INFINITY,
    FLT_MAX, -FLT_MAX, FLT_MIN, -FLT_MIN, float_of(1), float_of(0x80000001), 1.0f / 128, 3.0f / 128,
    -5.0f / 128, 0.0000005f, 0.0000015f, -0.0000025f, 999999.9375f, 16777216.0f, 1e-7f, 0.5f, 1.5f,
    123456.5f, 1e20f, 1e38f,
};

// Fills every float the dumps print with `pick`, sized `vertices` and `faces`.
static void fill_store(int vertices, int faces, const std::function<float()>& pick)
{
    reset_ase_reader();
    alloc_vertices(vertices);
    alloc_faces(faces);
    for (int i = 0; i < vertices; i++)
        for (int k = 0; k < 3; k++) {
            vertex_list[i].xyz[k] = pick();
            vertex_list[i].norm[k] = pick();
        }
    for (int i = 0; i < faces; i++)
        for (int k = 0; k < 3; k++)
            face_list[i].norm[k] = pick();
}

TEST_F(MeshDumpVsPrintf, SpecialValues)
{
    size_t next = 0;
    fill_store(40, 40, [&] { return special_values[next++ % std::size(special_values)]; });
    v_pos = 39;
    expect_same_dumps();
}

// Random bit patterns cover every exponent, so every length of the fixed
// notation; the dumps are larger than the program writer's buffer.
TEST_F(MeshDumpVsPrintf, RandomBitPatterns)
{
    std::mt19937 rng(1234);
    fill_store(9000, 7000, [&] { return float_of(uint32_t(rng())); });
    v_pos = 8999;
    expect_same_dumps();

    // Ordinary model coordinates as well: short numbers, many records.
    std::uniform_real_distribution<float> coordinate(-100, 100);
    fill_store(30000, 20000, [&] { return coordinate(rng); });
    v_pos = 29999;
    expect_same_dumps();
}

// v_pos and the counts come from the file: the vertex list stops at v_pos
// (inclusive) and at the array's end, whatever their values.
TEST_F(MeshDumpVsPrintf, CountsAndVertexRange)
{
    const struct { int vertices, faces, v_pos; } cases[] = {
        {0, 0, 0}, {3, 0, 5}, {3, 2, -4}, {5, 1, 2}, {1, 3, 0}, {4, 4, INT32_MIN}, {2, 2, INT32_MAX}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.vertices << " " << c.faces << " " << c.v_pos);
        fill_store(c.vertices, c.faces, [] { return 0.25f; });
        v_pos = c.v_pos;
        MAX_FACES = c.faces;
        expect_same_dumps();
    }
}

TEST_F(MeshDumpVsPrintf, UnwritableFiles)
{
    fill_store(2, 2, [] { return -1.5f; });
    v_pos = 1;
    std::filesystem::create_directory("dump.txt");
    std::filesystem::create_directory("vnorml.txt");
    std::string reference = console_of_dumps(dump_vert_printf, dump_norm_printf, dump_vnorm_printf);
    std::string norm = read_file("norm.txt");
    std::filesystem::remove("norm.txt");
    EXPECT_EQ(dump_all(), reference);
    EXPECT_EQ(read_file("norm.txt"), norm);
    EXPECT_NE(reference.find("PROBLEM\n"), std::string::npos);
}

static std::vector<std::string> folder_names()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A write that fails part way (here at the file size limit, as at a full
// disk) takes the path of a failed open: the earlier dumps stay as they
// were, and no temporary file is left.
TEST_F(MeshDump, FailedWriteLeavesTheEarlierDumps)
{
    fill_store(300, 300, [] { return 0.5f; });
    v_pos = 299;
    fill_dump_files("earlier content");
    std::string console = fatal_stdout([] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        dump_vert();
        dump_norm();
    });
    EXPECT_EQ(console, "************ vertex dump *********\nPROBLEM\nv_pos = 299\n"
                       "****** face data *********\nerror in dump_norm()\n");
    for (const char* name : {"dump.txt", "norm.txt", "vnorml.txt"})
        EXPECT_EQ(read_file(name), "earlier content") << name;
    EXPECT_EQ(folder_names(), (std::vector<std::string>{"dump.txt", "norm.txt", "vnorml.txt"}));
}

// A dump reaches the file that a link leads to and keeps an earlier file's
// mode; a device is written in place, never replaced by a file.
TEST_F(MeshDump, ThroughLinksAndNeverOverDevices)
{
    namespace fs = std::filesystem;
    parse_text("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n*MESH_VERTEX 0 1 2 3\n*MESH_VERTEXNORMAL 0 0 0 1\n");
    fs::create_directory("kept");
    write_file("kept/normals", "earlier");
    fs::create_symlink("kept/normals", "vnorml.txt");
    write_file("norm.txt", "earlier");
    fs::permissions("norm.txt", fs::perms::owner_read | fs::perms::owner_write);
    // Where a device can be made: one like /dev/full, which fails every write.
    bool device = mknod("full", S_IFCHR | 0666, makedev(1, 7)) == 0;
    if (device)
        fs::create_symlink("full", "dump.txt");
    EXPECT_EQ(dump_all(), std::string("************ vertex dump *********\n") + (device ? "PROBLEM\n" : "") +
                              "v_pos = 0\n****** face data *********\n");
    EXPECT_TRUE(fs::is_symlink("vnorml.txt"));
    EXPECT_EQ(read_file("kept/normals"), "position = 0\t x = 0.000000\t y = 0.000000\t z = 1.000000\n");
    EXPECT_EQ(read_file("norm.txt"), "face num=0\nX Comp = 0.000000\tY Comp = 0.000000\tZ Comp 0.000000\n\n");
    EXPECT_EQ(fs::status("norm.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    if (device) {
        EXPECT_TRUE(fs::is_character_file("full"));
        EXPECT_EQ(folder_names(), (std::vector<std::string>{"dump.txt", "full", "kept", "norm.txt", "vnorml.txt"}));
    }
}

// Where no new file may be made, dumps that may be written are still written,
// in place, as before; one that may not be written is left as it was.
TEST_F(MeshDump, FolderClosedToNewFilesStillTakesWritableDumps)
{
    namespace fs = std::filesystem;
    parse_text("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n*MESH_VERTEX 0 1 2 3\n*MESH_VERTEXNORMAL 0 0 0 1\n");
    fill_dump_files("earlier content");
    fs::permissions("dump.txt", fs::perms(0444));
    fs::permissions("norm.txt", fs::perms(0666));
    fs::permissions("vnorml.txt", fs::perms(0666));
    fs::permissions(".", fs::perms(0555));
    EXPECT_EXIT(
        {
            // Root may make files anywhere: the dumps are written as an ordinary user.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(2);
            if (!freopen("/dev/null", "w", stdout))
                _exit(3);
            dump_vert();
            dump_norm();
            dump_vnorm();
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
    fs::permissions(".", fs::perms(0755));
    EXPECT_EQ(read_file("dump.txt"), "earlier content");
    EXPECT_EQ(read_file("norm.txt"), "face num=0\nX Comp = 0.000000\tY Comp = 0.000000\tZ Comp 0.000000\n\n");
    EXPECT_EQ(read_file("vnorml.txt"), "position = 0\t x = 0.000000\t y = 0.000000\t z = 1.000000\n");
    EXPECT_EQ(folder_names(), (std::vector<std::string>{"dump.txt", "norm.txt", "vnorml.txt"}));
}
