// The program's reader on small inline texts and the corpus models, and
// the fatal counts that end both readers alike.
#include "mesh_support.h"

static void expect_xyz(const float* got, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(got[0], x);
    EXPECT_FLOAT_EQ(got[1], y);
    EXPECT_FLOAT_EQ(got[2], z);
}

static void expect_ints(const int* got, int a, int b, int c)
{
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], b);
    EXPECT_EQ(got[2], c);
}

TEST(AseReader, IndexConversionsFollowTheirFormat)
{
    // "%i" on vertex lines takes C prefixes; "%d" after "A:" is decimal only.
    parse_text("*MESH_NUMVERTEX 20\n*MESH_VERTEX 010 1 2 3\n*MESH_VERTEX 0x0C 4 5 6\n"
               "*MESH_NUMFACES 1\n*MESH_FACE 0: A: 1 B: 2 C: 3\n*MESH_FACE 0: A: 010 B: 0x3 C: 7\n");
    EXPECT_EQ(vertex_list[8].vindex, 8);
    expect_xyz(vertex_list[8].xyz, 1, 2, 3);
    EXPECT_EQ(v_pos, 12);
    expect_xyz(vertex_list[12].xyz, 4, 5, 6);
    // B reads the 0 of "0x3"; C then fails to match and keeps its earlier 3.
    expect_ints(face_list[0].vert, 10, 0, 3);
}

TEST(AseReader, FaceNumberMustTouchItsColon)
{
    parse_text("*MESH_NUMFACES 2\n"
               "\t\t\t*MESH_FACE    1:    A:    4 B:    5 C:    6 AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 2 \n"
               "*MESH_FACE 0 : A: 7 B: 8 C: 9 *MESH_NUMVERTEX 9\n*MESH_NUMVERTEX 3\n");
    expect_ints(face_list[1].vert, 4, 5, 6);
    expect_ints(face_list[0].vert, 0, 0, 0);
    EXPECT_EQ(vertex_count, 3);
}

TEST(AseReader, VertexNormalCornersCountOverTheWholeFile)
{
    parse_text("*MESH_NUMVERTEX 8\n*MESH_NUMFACES 3\n"
               "*MESH_FACENORMAL 1 0.5 0.25 -1\n"
               "*MESH_VERTEXNORMAL 1 1 0 0\n*MESH_VERTEXNORMAL 2 0 1 0\n"
               "*MESH_VERTEXNORMAL 3 0 0 1\n*MESH_VERTEXNORMAL 4 1 1 0\n"
               "*MESH_FACENORMAL 2 0 0 1\n"
               "*MESH_VERTEXNORMAL 5 0 1 1\n*MESH_VERTEXNORMAL 2 -1 0 0\n*MESH_VERTEXNORMAL 7 1 0 1\n");
    expect_xyz(face_list[1].norm, 0.5f, 0.25f, -1);
    expect_ints(face_list[1].vnorm, 4, 2, 3);
    expect_ints(face_list[2].vnorm, 7, 5, 2);
    expect_xyz(vertex_list[2].norm, -1, 0, 0);  // the last line naming a vertex wins
    EXPECT_EQ(cur_face, 2);
    EXPECT_EQ(vnorm_corner, 1);
}

TEST(AseReader, TokenHandling)
{
    // A list header only begins with a keyword: its whole line is skipped.
    parse_text("*MESH_VERTEX_LIST { *MESH_NUMVERTEX 5\n*MESH_NUMVERTEX 2\n");
    EXPECT_EQ(vertex_count, 2);

    // A keyword line ending the file runs once (a second run would read no
    // index and set v_pos to 0), with or without the final newline.
    for (const char* end : {"\n", ""}) {
        parse_text(std::string("*MESH_NUMVERTEX 3\n*MESH_VERTEX 2 1 2 3") + end);
        EXPECT_EQ(v_pos, 2);
        expect_xyz(vertex_list[2].xyz, 1, 2, 3);
    }

    // Tokens are taken 255 characters at a time and the rest of the line in
    // pieces of 255: a keyword right after 510 characters is read, one right
    // after 509 is the tail of a longer token.
    parse_text(std::string(510, 'x') + "*MESH_NUMVERTEX 5\n");
    EXPECT_EQ(vertex_count, 5);
    parse_text(std::string(509, 'x') + "*MESH_NUMVERTEX 5\n");
    EXPECT_EQ(vertex_list, nullptr);
    parse_text(std::string(100000, 'y') + " *MESH_NUMVERTEX 5\n*MESH_NUMFACES 4\n");
    EXPECT_EQ(vertex_list, nullptr);
    EXPECT_EQ(MAX_FACES, 4);
}

TEST(AseReader, CountsReplaceArrays)
{
    parse_text("*MESH_NUMFACES 2\n*MESH_FACE 1: A: 1 B: 2 C: 3\n*MESH_NUMFACES 3\n"
               "*MESH_NUMVERTEX 0\n");
    EXPECT_EQ(MAX_FACES, 3);
    expect_ints(face_list[1].vert, 0, 0, 0);
    EXPECT_NE(tface_list, nullptr);
    EXPECT_EQ(vertex_count, 0);

    // v_pos is the index of the last vertex line, not a count.
    parse_text("*MESH_NUMVERTEX 8\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 7 0 0 0\n*MESH_VERTEX 4 0 0 0\n");
    EXPECT_EQ(vertex_count, 8);
    EXPECT_EQ(v_pos, 4);
}

TEST(AseReader, FailedConversionsKeepOrZero)
{
    // A count that does not convert keeps its value; the array is made anew.
    parse_text("*MESH_NUMVERTEX 2\n*MESH_VERTEX 1 1 2 3\n*MESH_NUMVERTEX x\n");
    EXPECT_EQ(vertex_count, 2);
    expect_xyz(vertex_list[1].xyz, 0, 0, 0);
    // A tvert count that does not convert has no count: the array stays.
    parse_text("*MESH_NUMTVERTEX 2\n*MESH_TFACE 1 4 5 6\n*MESH_NUMTVERTEX x\n");
    EXPECT_EQ(tvert_count, 2);
    expect_ints(tvert_list[1].tv, 4, 5, 6);

    // Fields read straight into a record keep their content from the failed
    // one on; face-normal components are read first and stored as 0.
    parse_text("*MESH_NUMVERTEX 2\n*MESH_NUMFACES 1\n"
               "*MESH_VERTEX 1 1 2 3\n*MESH_VERTEX 1 9 x\n"
               "*MESH_VERTEXNORMAL 1 1 2 3\n*MESH_VERTEXNORMAL 1 4 5 x\n"
               "*MESH_FACENORMAL 0 1 2 3\n*MESH_FACENORMAL 0 4 x\n");
    expect_xyz(vertex_list[1].xyz, 9, 2, 3);
    expect_xyz(vertex_list[1].norm, 4, 5, 3);
    expect_xyz(face_list[0].norm, 4, 0, 0);

    // A missing index means 0 on vertex, vertex-normal and face-normal lines.
    parse_text("*MESH_NUMVERTEX 2\n*MESH_NUMFACES 2\n*MESH_VERTEX 1 1 1 1\n*MESH_FACENORMAL 1 1 1 1\n"
               "*MESH_VERTEXNORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 1 0 0 1\n"
               "*MESH_VERTEX x\n*MESH_VERTEXNORMAL x\n*MESH_FACENORMAL x\n");
    EXPECT_EQ(v_pos, 0);
    expect_ints(face_list[1].vnorm, 0, 1, 1);
    EXPECT_EQ(cur_face, 0);
    expect_xyz(face_list[1].norm, 1, 1, 1);
}

TEST(AseReader, LinesBeforeTheirArraysStoreNothing)
{
    parse_text("*UVW_U_OFFSET 0.5\n*UVW_V_OFFSET 0.5\n*MESH_VERTEX 3 1 2 3\n"
               "*MESH_FACE 0: A: 1 B: 2 C: 3\n*MESH_FACENORMAL 4 1 0 0\n*MESH_VERTEXNORMAL 0 1 0 0\n"
               "*MESH_TFACE 0 1 2 3\n*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n");
    EXPECT_EQ(tvert_list, nullptr);
    EXPECT_EQ(snapshot_store(), (store_snapshot{std::string(sizeof(d_data), '\0'),
                                                std::string(sizeof(face_data), '\0'),
                                                std::string(sizeof(tface_data), '\0'), "", 1, 1, 0, 3, 4, 1}));

    // With the arrays present, vertex-normal lines before any face normal fill
    // face 0, offsets add to vertex 0 and a fitting tvert count stores u, v.
    parse_text("*MESH_NUMVERTEX 2\n*MESH_NUMFACES 1\n*MESH_VERTEXNORMAL 1 0 0 1\n"
               "*UVW_U_OFFSET 0.5\n*UVW_U_OFFSET 0.25\n*UVW_V_OFFSET -1\n*UVW_V_OFFSET x\n"
               "*MESH_NUMTVERTEX 1 0.125 0.75\n");
    EXPECT_EQ(face_list[0].vnorm[0], 1);
    EXPECT_FLOAT_EQ(vertex_list[0].u, 0.75f);
    EXPECT_FLOAT_EQ(vertex_list[0].v, -1);
    EXPECT_FLOAT_EQ(vertex_list[1].u, 0.125f);
    EXPECT_FLOAT_EQ(vertex_list[1].v, 0.75f);
    EXPECT_EQ(tvert_count, 1);
}

// Lines naming a record that does not exist consume exactly what a valid
// line would (their values run on to the next line here) and store nothing:
// the store ends as if they were absent, and the sentinel after them is read.
TEST(AseReader, OutOfRangeLinesConsumeAndStoreNothing)
{
    struct bad_line {
        const char* text;
        int v_pos, cur_face, vnorm_corner;
    };
    const bad_line cases[] = {
        {"*MESH_VERTEX 2 1 2\n3", 2, 0, 0}, {"*MESH_VERTEX -1 1 2\n3", -1, 0, 0},
        {"*MESH_FACE 1: A: 1 B: 2\nC: 3", 0, 0, 0}, {"*MESH_FACE -1: A: 1 B: 2\nC: 3", 0, 0, 0},
        {"*MESH_FACE x: A: 1 B: 2 C: 3\n", 0, 0, 0}, {"*MESH_FACENORMAL 1 1 2\n3", 0, 1, 0},
        {"*MESH_FACENORMAL -5 1 2\n3", 0, -5, 0}, {"*MESH_VERTEXNORMAL 2 1 2\n3", 0, 0, 1},
        {"*MESH_VERTEXNORMAL -1 1 2\n3", 0, 0, 1}, {"*MESH_TFACE 1 1 2\n3", 0, 0, 0},
        {"*MESH_TFACE -1 1 2\n3", 0, 0, 0}, {"*MESH_TFACE x 1 2 3\n", 0, 0, 0},
        {"*UVW_U_OFFSET - 1\n", 0, 0, 0},
    };
    const std::string head = "*MESH_NUMVERTEX 2\n*MESH_NUMFACES 1\n*MESH_NUMTVERTEX 1\n";
    const std::string sentinel = " *MESH_TFACE 0 7 8 9\n";
    parse_text(head + sentinel);
    store_snapshot expected = snapshot_store();
    EXPECT_EQ(tvert_list[0].tv[2], 9);
    for (const bad_line& c : cases) {
        SCOPED_TRACE(c.text);
        parse_text(head + c.text + sentinel);
        expected.v_pos = c.v_pos;
        expected.cur_face = c.cur_face;
        expected.vnorm_corner = c.vnorm_corner;
        EXPECT_EQ(snapshot_store(), expected);
    }
}

TEST(AseReader, NamesOfRecordsThatDoNotExist)
{
    // The tvert count names vertex 3 of 2: the array is made, no vertex written.
    parse_text("*MESH_NUMVERTEX 2\n*MESH_NUMTVERTEX 3 1.5\n2.5 *MESH_VERTEX 1 4 5 6\n");
    EXPECT_EQ(tvert_count, 3);
    EXPECT_EQ(snapshot_store().vertices.substr(0, sizeof(d_data)), std::string(sizeof(d_data), '\0'));
    expect_xyz(vertex_list[1].xyz, 4, 5, 6);

    // A vertex normal under a face that does not exist still sets the vertex.
    parse_text("*MESH_NUMVERTEX 2\n*MESH_NUMFACES 1\n*MESH_FACENORMAL 3 0 0 1\n*MESH_VERTEXNORMAL 1 0 1 0\n");
    expect_xyz(vertex_list[1].norm, 0, 1, 0);
    expect_ints(face_list[0].vnorm, 0, 0, 0);
}

TEST(AseReader, LineEndsDoNotMatter)
{
    SKIP_WITHOUT_CORPUS();
    std::string text = read_file(corpus("RotatingCube.ASE"));
    parse_text(text);
    const store_snapshot lf = snapshot_store();
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    parse_text(crlf);
    EXPECT_EQ(snapshot_store(), lf);
}

// Both readers make the same allocation calls in the same order, so the
// same fatal message comes at the same point.
TEST(AseReaderDeath, BadCountsEndTheProcess)
{
    const char* data = "error in d_data *alloc_data() function\n";
    const char* faces = "error in face_data *alloc_faces() function\n";
    const char* tverts = "error in tvert_data *alloc_tverts() function\n";
    const struct { std::string text; const char* message; } cases[] = {
        {"*MESH_NUMVERTEX -1\n", data}, {"*MESH_NUMVERTEX 99999999999999999999\n", data},
        {"*MESH_NUMVERTEX 2147483647\n", data}, {"*MESH_NUMFACES -1\n", faces},
        {"*MESH_NUMFACES 0x7fffffff\n", faces}, {"*MESH_NUMFACES 2\n*MESH_NUMFACES -0x1\n", faces},
        {"*MESH_NUMTVERTEX -2\n", tverts}, {"*MESH_NUMTVERTEX -7 1 2", tverts},
        {"*MESH_NUMTVERTEX 4294967295", tverts}, {"*MESH_NUMVERTEX 3\n*MESH_NUMVERTEX -1e", data},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        for (void (*parse)(FILE*) : {parse_ase_scanf, parse_ase})
            EXPECT_EQ(fatal_stdout([&] { reset_ase_reader(); parse(temp_stream(c.text)); }), c.message);
    }
    EXPECT_EQ(fatal_stdout([] { load_model("/nonexistent/model.ase"); }),
              "File not there or something ;|\n");
}

TEST(AseCorpus, RotatingCube)
{
    SKIP_WITHOUT_CORPUS();
    load_corpus("RotatingCube.ASE");
    EXPECT_EQ(vertex_count, 8);
    EXPECT_EQ(MAX_FACES, 12);
    EXPECT_EQ(v_pos, 7);
    EXPECT_EQ(tvert_count, 12);
    expect_xyz(vertex_list[0].xyz, -29.3447f, -34.1813f, 4.0862f);
    expect_xyz(vertex_list[7].xyz, 37.3219f, 29.2585f, 41.0359f);
    expect_ints(face_list[10].vert, 2, 0, 4);
    expect_xyz(face_list[6].norm, 1, 0, 0);
    expect_ints(face_list[11].vnorm, 4, 6, 2);
    expect_xyz(vertex_list[7].norm, 0, 1, 0);  // last named under face 9
    expect_ints(tvert_list[0].tv, 9, 11, 10);
    expect_ints(tvert_list[11].tv, 3, 2, 0);
    EXPECT_EQ(cur_face, 11);
    EXPECT_EQ(vnorm_corner, 0);
}

TEST(AseCorpus, LastObjectWins)
{
    SKIP_WITHOUT_CORPUS();
    load_corpus("ThreeCubesGreen.ASE");
    EXPECT_EQ(vertex_count, 8);
    EXPECT_EQ(MAX_FACES, 12);
    EXPECT_EQ(v_pos, 7);
    expect_xyz(vertex_list[0].xyz, 0, 241.4127f, 26.7313f);
    expect_xyz(vertex_list[7].xyz, -300, -58.5872f, 326.7313f);
    expect_ints(face_list[11].vert, 4, 6, 2);

    load_corpus("anim.ASE");
    expect_xyz(vertex_list[0].xyz, -56.7183f, -22.4365f, 21.9073f);
}

TEST(AseCorpus, TextureSectionsAndOffsets)
{
    SKIP_WITHOUT_CORPUS();
    load_corpus("UVTransform_Normal.ASE");
    EXPECT_EQ(vertex_count, 25);
    EXPECT_EQ(MAX_FACES, 32);
    EXPECT_EQ(tvert_count, 35);
    expect_ints(tvert_list[31].tv, 29, 34, 28);
    expect_xyz(vertex_list[0].xyz, -38.4615f, -43.0199f, 0);
    expect_ints(face_list[0].vnorm, 5, 0, 6);

    load_corpus("InvalidUVIndex.ase");
    EXPECT_EQ(tvert_count, 3);
    expect_ints(tvert_list[0].tv, 7, 8, 9);  // stored as read; nothing else uses them
    expect_ints(face_list[0].vert, 0, 1, 2);
}

TEST(AseCorpus, Utf16FileLoadsAsEmptyStore)
{
    SKIP_WITHOUT_CORPUS();
    load_corpus("ThreeCubesGreen_UTF16LE.ASE");
    EXPECT_TRUE(store_has_no_arrays());
    EXPECT_EQ(snapshot_store(), empty_store);

    load_corpus("CameraRollAnim.ase");
    EXPECT_EQ(vertex_count, 8);
    EXPECT_EQ(MAX_FACES, 12);
    EXPECT_EQ(v_pos, 7);
}
