// Arbitrary bytes through the model view's reader; afterwards everything the
// model view reads must be in bounds.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "mesh/model.h"

// Reads what drawing a face reads, so that the sanitizer sees any stray index.
static float touch_face(const model_object& object, const model_face& face)
{
    float sum = 0;
    const model_material* material = face_material(object, face);
    if (material)
        sum += material->u_tiling + float(material->bitmap.size());
    if (!model_face_drawable(object, face))
        return sum;
    for (int k = 0; k < 3; k++) {
        sum += object.positions[size_t(face.vert[k])].x;
        if (face.tvert[k] >= 0 && size_t(face.tvert[k]) < object.tverts.size())
            sum += object.tverts[size_t(face.tvert[k])].x;
        if (face.normals)
            sum += face.normal[k].x;
    }
    return sum;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    run_on_bytes(data, size, parse_model);
    float sum = 0;
    for (const model_object& object : model_objects) {
        for (const model_face& face : object.faces) {
            if (face.normals != 0 && face.normals != 1)
                abort();
            sum += touch_face(object, face);
        }
    }
    volatile float sink = sum;
    (void)sink;
    reset_model_store();
    return 0;
}
