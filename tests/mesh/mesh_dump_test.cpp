#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "mesh/dump.h"
#include "mesh_support.h"

class MeshDump : public ScratchDirTest {
protected:
    static std::string dump_all()
    {
        return console_of([] {
            dump_vert();
            dump_norm();
            dump_vnorm();
        });
    }
};

TEST_F(MeshDump, SmallMeshByteForByte)
{
    for (const char* name : {"dump.txt", "norm.txt", "vnorml.txt"})
        std::ofstream(name) << std::string(5000, 'z');  // earlier content goes
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
    const struct {
        const char* text;
        int blocks;
    } cases[] = {
        {"*MESH_NUMVERTEX 2\n*MESH_VERTEX 9 1 1 1\n", 2},
        {"*MESH_NUMVERTEX 2\n*MESH_VERTEX -3 1 1 1\n", 0},
        {"*MESH_NUMVERTEX 4\n*MESH_VERTEX 1 1 1 1\n", 2},
        {"*MESH_VERTEX 5 1 1 1\n*MESH_NUMFACES 3\n", 0},
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

TEST_F(MeshDump, UnwritableNormTxtIsFatal)
{
    parse_text("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n");
    std::filesystem::create_directory("norm.txt");
    expect_fatal([] { dump_norm(); dump_vnorm(); }, "error in dump_norm()\n");
    EXPECT_FALSE(std::filesystem::exists("vnorml.txt"));
}
