// A program that links the image library alone, as an exporter without a GL
// would: it prints each file's size or the reason it is not read. Its test
// checks that it needs no GL library to run.
#include <cstdio>

#include "image/decode.h"

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        RgbaImage* image = image_load(argv[i]);
        if (image)
            printf("%s: %d x %d\n", argv[i], image->width, image->height);
        else
            printf("%s: %s\n", argv[i], image_error_text.c_str());
        image_free(image);
    }
    return 0;
}
