#include "fuzz/model_check.h"

#include <cstdlib>

#include "mesh/model.h"

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
        model_vec3 color = vertex_color(object, face, k);
        if (!(color.x >= 0 && color.x <= 1 && color.y >= 0 && color.y <= 1 && color.z >= 0 && color.z <= 1))
            abort();
    }
    return sum;
}

void check_and_reset_model_store()
{
    float sum = 0;
    for (const model_object& object : model_objects) {
        if (object.color_faces.size() > object.faces.size())
            abort();
        for (const model_face& face : object.faces) {
            if (face.normals != 0 && face.normals != 1)
                abort();
            sum += touch_face(object, face);
        }
    }
    volatile float sink = sum;
    (void)sink;
    reset_model_store();
}
