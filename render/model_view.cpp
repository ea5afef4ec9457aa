// The model view: every object of the file, each face with its material's
// texture or colour, lit by a light at the eye and framed as the fitted view
// frames. The faces are sorted into one batch per look and kept in a vertex
// buffer, so a frame is a handful of draw calls whatever the model's size.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glut.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "input/input.h"
#include "mesh/model.h"
#include "render/render.h"

// How a face looks: its texture, or its colour where it has none.
struct model_batch {
    int texture;  // index in model_textures; -1 for the colour alone
    float color[3];
    GLint first;
    GLsizei count;
};

std::vector<model_vertex> model_vertices;
static std::vector<model_batch> batches;
static GLuint vertex_buffer = 0;

// The colour of a face without a texture whose material gives none.
static const float light_grey[3] = {0.75f, 0.75f, 0.75f};

static model_vec3 face_normal(const model_vec3* p[3])
{
    model_vec3 a = {p[1]->x - p[0]->x, p[1]->y - p[0]->y, p[1]->z - p[0]->z};
    model_vec3 b = {p[2]->x - p[0]->x, p[2]->y - p[0]->y, p[2]->z - p[0]->z};
    model_vec3 n = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!(length > 0.0f) || !std::isfinite(length))
        return {0.0f, 0.0f, 1.0f};
    return {n.x / length, n.y / length, n.z / length};
}

static bool tverts_given(const model_object& object, const model_face& face)
{
    for (int k = 0; k < 3; k++)
        if (face.tvert[k] < 0 || (size_t)face.tvert[k] >= object.tverts.size())
            return false;
    return true;
}

// The texture a material names: an index in model_textures, or -1.
static int material_texture(const std::string& model_path, const model_material* material)
{
    if (material == nullptr || material->bitmap.empty() || material->bitmap == "None")
        return -1;
    return model_texture_index(model_path, material->bitmap);
}

static void add_face(std::vector<model_vertex>& out, const model_object& object,
                     const model_face& face, const model_material* textured)
{
    const model_vec3* p[3];
    for (int k = 0; k < 3; k++)
        p[k] = &object.positions[(size_t)face.vert[k]];
    model_vec3 flat = face_normal(p);
    for (int k = 0; k < 3; k++) {
        model_vertex v;
        v.xyz = *p[k];
        v.normal = face.normals ? face.normal[k] : flat;
        v.st[0] = v.st[1] = 0.0f;
        if (textured) {
            const model_vec3& t = object.tverts[(size_t)face.tvert[k]];
            v.st[0] = t.x * textured->u_tiling + textured->u_offset;
            v.st[1] = t.y * textured->v_tiling + textured->v_offset;
        }
        out.push_back(v);
    }
}

void prepare_model_view(const char* model_path)
{
    // Faces of one look, in the order the looks first appear. A face's
    // look is its material's texture, when that was found and the face has
    // texture coordinates, else its material's colour.
    std::map<const model_material*, int> texture_of;
    std::map<std::pair<const model_material*, int>, size_t> look_index;
    std::vector<std::pair<model_batch, std::vector<model_vertex>>> looks;
    long long faces = 0;
    for (const model_object& object : model_objects) {
        for (const model_face& face : object.faces) {
            if (!model_face_drawable(object, face))
                continue;
            faces++;
            const model_material* material = face_material(object, face);
            auto known = texture_of.find(material);
            if (known == texture_of.end())
                known = texture_of.emplace(material, material_texture(model_path, material)).first;
            int texture = known->second;
            if (texture >= 0 && !(model_textures[(size_t)texture].found && tverts_given(object, face)))
                texture = -1;
            auto [at, added] = look_index.try_emplace({material, texture}, looks.size());
            if (added) {
                model_batch batch = {texture, {1.0f, 1.0f, 1.0f}, 0, 0};
                const float* color = material && material->has_diffuse ? material->diffuse : light_grey;
                if (texture < 0)
                    for (int c = 0; c < 3; c++)
                        batch.color[c] = color[c];
                looks.push_back({batch, {}});
            }
            add_face(looks[at->second].second, object, face, texture >= 0 ? material : nullptr);
        }
    }
    print_model_summary((int)model_objects.size(), faces);
    for (auto& [batch, vertices] : looks) {
        batch.first = (GLint)model_vertices.size();
        batch.count = (GLsizei)vertices.size();
        model_vertices.insert(model_vertices.end(), vertices.begin(), vertices.end());
        batches.push_back(batch);
        std::vector<model_vertex>().swap(vertices);
    }
    // The file's objects are all in the vertices now.
    reset_model_store();
    if (!model_vertices.empty())
        fit_view_to_points(&model_vertices[0].xyz.x, model_vertices.size(), sizeof(model_vertex));
}

void init_model_scene()
{
    upload_model_textures();
    glGenBuffers(1, &vertex_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(model_vertices.size() * sizeof(model_vertex)),
                 model_vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    std::vector<model_vertex>().swap(model_vertices);

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    // The light stands at the eye: placed while the modelview matrix is
    // still the identity, it keeps that place in eye space.
    const float eye[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float ambient[4] = {0.25f, 0.25f, 0.25f, 1.0f};
    const float none[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, eye);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    // Both sides lit: exported faces are not always wound the same way.
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // The smear stretches the model unevenly, and with it the normals.
    glEnable(GL_NORMALIZE);
    // Leaves and fences: texels mostly transparent are cut out.
    glAlphaFunc(GL_GEQUAL, 0.5f);
    glEnable(GL_ALPHA_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

static void draw_batches()
{
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glVertexPointer(3, GL_FLOAT, sizeof(model_vertex), (const void*)offsetof(model_vertex, xyz));
    glNormalPointer(GL_FLOAT, sizeof(model_vertex), (const void*)offsetof(model_vertex, normal));
    glTexCoordPointer(2, GL_FLOAT, sizeof(model_vertex), (const void*)offsetof(model_vertex, st));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    for (const model_batch& batch : batches) {
        if (batch.texture >= 0) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, model_textures[(size_t)batch.texture].id);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        glColor3fv(batch.color);
        glDrawArrays(GL_TRIANGLES, batch.first, batch.count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void model_display_handler()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The same turns and stretches as the other views, about the model's centre.
    glPushMatrix();
    glRotatef(view_yaw, 0.0f, 1.0f, 0.0f);
    glRotatef(view_pitch, 1.0f, 0.0f, 0.0f);
    glScalef(scale_x, scale_y, 1.0f);
    glScalef(MODEL_SCALE, MODEL_SCALE, MODEL_SCALE);
    if (fit_view)
        glMultMatrixd(fit_model_matrix);
    draw_batches();
    glPopMatrix();
    glutSwapBuffers();
}
