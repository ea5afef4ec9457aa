#include <cstdio>

#include "mesh/ase.h"

int main(int argc, char** argv)
{
    printf("argc = %i\n", argc);
    if (argc < 2) {
        printf("loading default knot model\n");
        load_model("knot.ase");
    } else {
        printf("Loading file %s\n", argv[1]);
        load_model(argv[1]);
        printf("Load succesfult\n");
    }

    // The window start-up follows here once the viewer has a window.
    return 0;
}
