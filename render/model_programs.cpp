#define GL_GLEXT_PROTOTYPES
#include "render/model_programs.h"

#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "render/glsl/glsl_sources.h"

static interaction_program interaction;
static stage_program stage;

// Whether the version string names at least major.minor.
static bool at_least(GLenum name, int major, int minor)
{
    const char* version = (const char*)glGetString(name);
    int has_major = 0, has_minor = 0;
    return version != nullptr && sscanf(version, "%d.%d", &has_major, &has_minor) == 2 &&
           (has_major > major || (has_major == major && has_minor >= minor));
}

// OpenGL 2.1 with GLSL 1.20: a GL below 2.1 may still name a shading
// language it does not offer.
static bool glsl_120()
{
    return at_least(GL_VERSION, 2, 1) && at_least(GL_SHADING_LANGUAGE_VERSION, 1, 20);
}

static std::string shader_log(GLuint shader)
{
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(size_t(length > 0 ? length : 1), '\0');
    glGetShaderInfoLog(shader, GLsizei(log.size()), nullptr, log.data());
    return log.c_str();
}

static GLuint compiled(GLenum kind, const char* source, const char* name)
{
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE)
        printf("GLSL: %s does not compile:\n%s\n", name, shader_log(shader).c_str());
    return shader;
}

static GLuint linked(const char* vertex, const char* fragment, const char* name)
{
    std::string vertex_name = std::string(name) + ".vert", fragment_name = std::string(name) + ".frag";
    GLuint program = glCreateProgram();
    GLuint shaders[2] = {compiled(GL_VERTEX_SHADER, vertex, vertex_name.c_str()),
                         compiled(GL_FRAGMENT_SHADER, fragment, fragment_name.c_str())};
    for (GLuint shader : shaders)
        glAttachShader(program, shader);
    glBindAttribLocation(program, tangent_attribute, "tangent");
    glBindAttribLocation(program, bitangent_attribute, "bitangent");
    glLinkProgram(program);
    for (GLuint shader : shaders)
        glDeleteShader(shader);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok == GL_TRUE)
        return program;
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(size_t(length > 0 ? length : 1), '\0');
    glGetProgramInfoLog(program, GLsizei(log.size()), nullptr, log.data());
    printf("GLSL: %s does not link:\n%s\n", name, log.c_str());
    glDeleteProgram(program);
    return 0;
}

static void locate(interaction_program& p)
{
    auto at = [&](const char* name) { return glGetUniformLocation(p.id, name); };
    p.eye = at("eye");
    p.orthographic = at("orthographic");
    p.bump_matrix = at("bump_matrix");
    p.diffuse_matrix = at("diffuse_matrix");
    p.specular_matrix = at("specular_matrix");
    p.bump_map = at("bump_map");
    p.diffuse_map = at("diffuse_map");
    p.specular_map = at("specular_map");
    p.specular_table = at("specular_table");
    p.diffuse_color = at("diffuse_color");
    p.specular_color = at("specular_color");
    p.rules = at("rules");
    p.vertex_colors = at("vertex_colors");
    p.normal_axes = at("normal_axes");
}

static void locate(stage_program& p)
{
    auto at = [&](const char* name) { return glGetUniformLocation(p.id, name); };
    p.eye = at("eye");
    p.orthographic = at("orthographic");
    p.environment = at("environment");
    p.turb = at("turb");
    p.transform = at("transform");
    p.color_source = at("color_source");
    p.color = at("color");
    p.vertex_alpha = at("vertex_alpha");
    p.image = at("image");
    p.alpha_function = at("alpha_function");
    p.alpha_threshold = at("alpha_threshold");
}

static bool build()
{
    if (!glsl_120()) {
        printf("game look: no OpenGL 2.1 with GLSL 1.20; the model view shows the editor's look\n");
        return false;
    }
    interaction.id = linked(glsl_interaction_vert, glsl_interaction_frag, "interaction");
    stage.id = linked(glsl_stage_vert, glsl_stage_frag, "stage");
    if (interaction.id == 0 || stage.id == 0) {
        printf("game look: its programs did not build; the model view shows the editor's look\n");
        return false;
    }
    locate(interaction);
    locate(stage);
    return true;
}

bool model_programs_ready()
{
    static const bool ready = build();
    return ready;
}

const interaction_program& model_interaction_program()
{
    return interaction;
}

const stage_program& model_stage_program()
{
    return stage;
}
