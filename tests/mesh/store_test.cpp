#include <climits>
#include <cstdlib>

#include "mesh_support.h"

TEST(MeshStore, ArraysAreZeroFilledAndSized)
{
    reset_mesh_store();
    alloc_vertices(3);
    alloc_faces(2);
    alloc_tverts(4);
    EXPECT_EQ(snapshot_store(), (store_snapshot{std::string(3 * sizeof(d_data), '\0'),
                                                std::string(2 * sizeof(face_data), '\0'),
                                                std::string(2 * sizeof(tface_data), '\0'),
                                                std::string(4 * sizeof(tvert_data), '\0'), 3, 2, 4, 0, 0, 0}));
}

// The sanitized build's leak check proves the replaced arrays are released.
TEST(MeshStore, EachCallReplacesItsArrays)
{
    reset_mesh_store();
    alloc_faces(2);
    face_list[1].vert[0] = 5;
    alloc_faces(3);
    EXPECT_EQ(MAX_FACES, 3);
    EXPECT_EQ(face_list[1].vert[0], 0);
    alloc_vertices(1);
    vertex_list[0].vindex = 7;
    alloc_vertices(1);
    EXPECT_EQ(vertex_list[0].vindex, 0);
    alloc_tverts(1);
    alloc_tverts(2);
    EXPECT_EQ(tvert_count, 2);
    v_pos = 3;
    reset_mesh_store();
    EXPECT_TRUE(store_has_no_arrays());
    EXPECT_EQ(snapshot_store(), empty_store);
}

TEST(MeshStore, ZeroCountGivesEmptyArrayAndNoMessage)
{
    reset_mesh_store();
    alloc_vertices(2);
    alloc_faces(2);
    alloc_tverts(2);
    std::string console = capture_stdout([] {
        alloc_vertices(0);
        alloc_faces(0);
        alloc_tverts(0);
        free(alloc_data(0));
    });
    EXPECT_EQ(console, "");
    EXPECT_EQ(snapshot_store(), empty_store);
    reset_mesh_store();
}

TEST(MeshStoreDeath, FailedAllocationsEndTheProcess)
{
    const char* data = "error in d_data *alloc_data() function\n";
    const char* faces = "error in face_data *alloc_faces() function\n";
    const char* tverts = "error in tvert_data *alloc_tverts() function\n";
    const struct { void (*alloc)(int); int count; const char* message; } cases[] = {
        {[](int n) { alloc_data(n); }, -1, data}, {alloc_vertices, INT_MIN, data},
        {alloc_vertices, INT_MAX, data}, {alloc_faces, -1, faces}, {alloc_faces, INT_MAX, faces},
        {alloc_tverts, -1, tverts}, {alloc_tverts, INT_MAX, tverts},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(fatal_stdout([&] { c.alloc(c.count); }), c.message);
    }
}

// A failed replacement ends the process, but until it has, nothing may point
// at the released array: exit handlers (and a fuzzer that survives the exit)
// still see the store.
static void report_stale_arrays()
{
    if ((face_list && MAX_FACES == 0) || (!face_list && MAX_FACES != 0) || tface_list ||
        (vertex_list == nullptr) != (vertex_count == 0))
        fprintf(stderr, "stale store\n");
}

TEST(MeshStoreDeath, FailedReplacementLeavesNoReleasedArray)
{
    reset_mesh_store();
    EXPECT_EXIT(
        {
            alloc_vertices(3);
            alloc_faces(2);
            atexit(report_stale_arrays);
            capture_stdout([] { alloc_faces(-1); });
        },
        testing::ExitedWithCode(1), testing::Not(testing::HasSubstr("stale store")));
}
