// The dumps as fprintf writes them, one formatted call per record: the
// reference that the program's dumps are held to.
#include <cstdio>
#include <cstdlib>

#include "mesh/dump.h"
#include "mesh/store.h"

// v_pos is the index of the last vertex line, not a count, so the list runs
// up to and including it; it is still bounded by the array itself.
void dump_vert_printf()
{
    printf("************ vertex dump *********\n");
    FILE* file = fopen("dump.txt", "w+");
    if (file) {
        fprintf(file, "HEEEEEEEEELLLLO\n");
        fprintf(file, "-----MAX_FACES = %i\n", MAX_FACES);
    } else {
        printf("PROBLEM\n");
    }
    printf("v_pos = %i\n", v_pos);
    if (!file)
        return;
    for (int i = 0; vertex_list && i <= v_pos && i < vertex_count; i++) {
        const float* p = vertex_list[i].xyz;
        fprintf(file, "vertex pos = %i\n X=%f\n\t\t\t\tY=%f\n\tZ=%f\n", i, p[0], p[1], p[2]);
    }
    fclose(file);
}

void dump_norm_printf()
{
    FILE* file = fopen("norm.txt", "w+");
    if (!file) {
        printf("error in dump_norm()\n");
        exit(1);
    }
    printf("****** face data *********\n");
    for (int i = 0; face_list && i < MAX_FACES; i++) {
        const float* n = face_list[i].norm;
        fprintf(file, "face num=%i\nX Comp = %f\tY Comp = %f\tZ Comp %f\n\n", i, n[0], n[1], n[2]);
    }
    fclose(file);
}

void dump_vnorm_printf()
{
    FILE* file = fopen("vnorml.txt", "w+");
    if (!file)
        return;
    for (int i = 0; vertex_list && i < vertex_count; i++) {
        const float* n = vertex_list[i].norm;
        fprintf(file, "position = %i\t x = %f\t y = %f\t z = %f\n", i, n[0], n[1], n[2]);
    }
    fclose(file);
}
