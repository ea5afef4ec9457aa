// Arbitrary bytes through the shader readers: every shader the image reader
// returns must have a name, which with its image (empty for none) is no
// longer than the text; the whole text read as one shader's block must give
// a bounded material whose every value is finite.
#include <cstdlib>
#include <string_view>

#include "fuzz/stage_check.h"
#include "gamefs/shader_script.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<shader_image> found;
    parse_shader_script(text, &found);
    for (const shader_image& s : found)
        if (s.shader.empty() || s.shader.size() + s.image.size() > size)
            abort();
    game_material m = read_quake3_shader("s", text, 1);
    for (const material_stage& s : m.stages)
        if (s.transforms.size() > 4)
            abort();
    check_material(m);
    return 0;
}
