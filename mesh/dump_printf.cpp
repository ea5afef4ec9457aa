// The dumps as fprintf writes them, one formatted call per record: the
// reference that the program's dumps are held to.
#include "mesh/dump.h"
#include "mesh/dump_driver.h"

struct printf_writer {
    FILE* file;

    void head(int max_faces)
    {
        fprintf(file, "HEEEEEEEEELLLLO\n");
        fprintf(file, "-----MAX_FACES = %i\n", max_faces);
    }
    void vertex(int i, const float* p)
    {
        fprintf(file, "vertex pos = %i\n X=%f\n\t\t\t\tY=%f\n\tZ=%f\n", i, p[0], p[1], p[2]);
    }
    void face_normal(int i, const float* n)
    {
        fprintf(file, "face num=%i\nX Comp = %f\tY Comp = %f\tZ Comp %f\n\n", i, n[0], n[1], n[2]);
    }
    void vertex_normal(int i, const float* n)
    {
        fprintf(file, "position = %i\t x = %f\t y = %f\t z = %f\n", i, n[0], n[1], n[2]);
    }
    void finish() {}
};

void dump_vert_printf()
{
    write_vertex_dump<printf_writer>();
}

void dump_norm_printf()
{
    write_face_normal_dump<printf_writer>();
}

void dump_vnorm_printf()
{
    write_vertex_normal_dump<printf_writer>();
}
