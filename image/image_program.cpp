// Image program operations on 8-bit RGBA, with the game's own arithmetic
// where its results depend on it: float maths, its fast inverse square root
// and truncation to bytes.
#include "image/image_program.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "image/decoders.h"

namespace {

struct image_deleter {
    void operator()(RgbaImage* image) const { image_free(image); }
};
using owned_image = std::unique_ptr<RgbaImage, image_deleter>;

// An input's top level as 8-bit RGBA: the image itself, or its S3TC blocks
// decompressed for as long as it lives.
class rgba_input {
public:
    explicit rgba_input(const RgbaImage* image)
    {
        if (!image || !image->pixels || image->width <= 0 || image->height <= 0)
            return;
        if (image->layout == image_rgba8) {
            view_ = image;
            return;
        }
        decompressed_.reset(image_decompress(image));
        view_ = decompressed_.get();
    }
    const RgbaImage* get() const { return view_; }

private:
    owned_image decompressed_;
    const RgbaImage* view_ = nullptr;
};

size_t texel_count(const RgbaImage* image)
{
    return (size_t)image->width * image->height;
}

// The game's inverse square root: a first guess from the float's bits and
// one Newton step, a little below the exact value.
float fast_inverse_sqrt(float x)
{
    float half = x * 0.5f;
    float y = std::bit_cast<float>(0x5f3759dfu - (std::bit_cast<uint32_t>(x) >> 1));
    return y * (1.5f - half * y * y);
}

struct vec3 {
    float x, y, z;
};

// Zero stays zero rather than becoming whatever the guess makes of it.
vec3 fast_normalize(vec3 v)
{
    float squared = v.x * v.x + v.y * v.y + v.z * v.z;
    if (!(squared > 0))
        return {0, 0, 0};
    float inverse = fast_inverse_sqrt(squared);
    return {v.x * inverse, v.y * inverse, v.z * inverse};
}

// Truncated as the game's casts do, held within a byte.
unsigned char to_byte(float value)
{
    if (!(value >= 0))
        return 0;
    if (value >= 255)
        return 255;
    return (unsigned char)value;
}

void put_normal(unsigned char* texel, vec3 n)
{
    texel[0] = to_byte(n.x * 127 + 128);
    texel[1] = to_byte(n.y * 127 + 128);
    texel[2] = to_byte(n.z * 127 + 128);
}

// A texel-by-texel operation on a copy of the input's top level.
template <typename Texel> RgbaImage* map_texels(const RgbaImage* image, Texel texel)
{
    rgba_input in(image);
    if (!in.get())
        return nullptr;
    RgbaImage* out = image_new(in.get()->width, in.get()->height);
    if (!out)
        return nullptr;
    size_t count = texel_count(out);
    memcpy(out->pixels, in.get()->pixels, count * 4);
    for (size_t i = 0; i < count; ++i)
        texel(out->pixels + i * 4);
    return out;
}

// The source row whose texels an output row takes, rows counted from the top
// of the picture as the game counts them (storage runs bottom up); columns
// are counted from the left either way.
int nearest_row(int out_row, int out_side, int in_side)
{
    int from_top = out_side - 1 - out_row;
    return in_side - 1 - (int)((int64_t)from_top * in_side / out_side);
}

int nearest_column(int out_column, int out_side, int in_side)
{
    return (int)((int64_t)out_column * in_side / out_side);
}

// b at width x height by nearest texel; b itself when already that size.
const RgbaImage* dropsample(const RgbaImage* b, int width, int height, owned_image* holder)
{
    if (b->width == width && b->height == height)
        return b;
    holder->reset(image_new(width, height));
    RgbaImage* out = holder->get();
    if (!out)
        return nullptr;
    for (int row = 0; row < height; ++row) {
        const unsigned char* in_row =
            b->pixels + (size_t)nearest_row(row, height, b->height) * b->width * 4;
        unsigned char* out_row = out->pixels + (size_t)row * width * 4;
        for (int column = 0; column < width; ++column)
            memcpy(out_row + column * 4, in_row + nearest_column(column, width, b->width) * 4, 4);
    }
    return out;
}

// a and b side by side, b at a's size, for an operation of two images.
template <typename Combine>
RgbaImage* combine(const RgbaImage* a, const RgbaImage* b, Combine combine_texel)
{
    rgba_input first(a), second(b);
    if (!first.get() || !second.get())
        return nullptr;
    int width = first.get()->width, height = first.get()->height;
    owned_image holder;
    const RgbaImage* sized = dropsample(second.get(), width, height, &holder);
    if (!sized)
        return nullptr;
    RgbaImage* out = image_new(width, height);
    if (!out)
        return nullptr;
    size_t count = texel_count(out);
    for (size_t i = 0; i < count; ++i)
        combine_texel(first.get()->pixels + i * 4, sized->pixels + i * 4, out->pixels + i * 4);
    return out;
}

int next_power_of_two(int side)
{
    int power = 1;
    while (power < side)
        power *= 2;
    return power;
}

// Up to two source texels along one side and their shares of an output
// texel, in units of 1/out_side of a source texel: the shares sum to
// in_side.
struct span_weights {
    int first;
    int64_t first_share, second_share;
};

span_weights cover(int out_index, int in_side, int out_side)
{
    int64_t start = (int64_t)out_index * in_side, end = start + in_side;
    int first = (int)(start / out_side);
    int64_t first_end = std::min(end, (int64_t)(first + 1) * out_side);
    return {first, first_end - start, end - first_end};
}

unsigned char average(const unsigned char* p00, const unsigned char* p01, const unsigned char* p10,
                      const unsigned char* p11, span_weights x, span_weights y, int channel)
{
    int64_t total = (x.first_share + x.second_share) * (y.first_share + y.second_share);
    int64_t sum = (p00[channel] * x.first_share + p01[channel] * x.second_share) * y.first_share +
                  (p10[channel] * x.first_share + p11[channel] * x.second_share) * y.second_share;
    return (unsigned char)((sum + total / 2) / total);
}

int heightmap_grey(const unsigned char* texel)
{
    return (texel[0] + texel[1] + texel[2]) / 3;
}

// The per-texel normal of a height map: the mean of the two triangles'
// normals between a texel, its right, lower and lower-right neighbours.
vec3 height_normal(int h00, int h01, int h10, int h11, float k)
{
    vec3 n1 = fast_normalize({-(float)(h01 - h00) * k, -(float)(h10 - h00) * k, 1});
    vec3 n2 = fast_normalize({-(float)(h11 - h10) * k, (float)(h00 - h10) * k, 1});
    return fast_normalize({n1.x + n2.x, n1.y + n2.y, n1.z + n2.z});
}

float signed_unit(unsigned char byte)
{
    return (byte - 128) / 127.0f;
}

// Products past a byte wrap as the game's x86 builds show them, computed on
// a double so that nothing overflows.
unsigned char scaled_byte(unsigned char byte, float factor)
{
    float product = byte * factor;
    if (!std::isfinite(product))
        return 0;
    double wrapped = std::fmod(std::trunc((double)product), 256.0);
    if (wrapped < 0)
        wrapped += 256;
    return (unsigned char)wrapped;
}

}  // namespace

RgbaImage* image_resample_power_of_two(const RgbaImage* image)
{
    rgba_input in(image);
    const RgbaImage* source = in.get();
    if (!source)
        return nullptr;
    int width = next_power_of_two(source->width), height = next_power_of_two(source->height);
    RgbaImage* out = image_new(width, height);
    if (!out)
        return nullptr;
    const unsigned char* pixels = source->pixels;
    size_t stride = (size_t)source->width * 4;
    for (int row = 0; row < height; ++row) {
        span_weights y = cover(row, source->height, height);
        int second_row = std::min(y.first + 1, source->height - 1);
        for (int column = 0; column < width; ++column) {
            span_weights x = cover(column, source->width, width);
            int second_column = std::min(x.first + 1, source->width - 1);
            const unsigned char* p00 = pixels + y.first * stride + x.first * 4;
            const unsigned char* p01 = pixels + y.first * stride + second_column * 4;
            const unsigned char* p10 = pixels + second_row * stride + x.first * 4;
            const unsigned char* p11 = pixels + second_row * stride + second_column * 4;
            unsigned char* texel = out->pixels + ((size_t)row * width + column) * 4;
            for (int channel = 0; channel < 4; ++channel)
                texel[channel] = average(p00, p01, p10, p11, x, y, channel);
        }
    }
    return out;
}

RgbaImage* image_heightmap(const RgbaImage* image, float scale)
{
    rgba_input in(image);
    const RgbaImage* source = in.get();
    if (!source)
        return nullptr;
    int width = source->width, height = source->height;
    auto heights = std::unique_ptr<int[]>(new (std::nothrow) int[texel_count(source)]);
    RgbaImage* out = heights ? image_new(width, height) : nullptr;
    if (!out)
        return nullptr;
    for (size_t i = 0; i < texel_count(source); ++i)
        heights[i] = heightmap_grey(source->pixels + i * 4);
    float k = scale / 256;
    for (int row = 0; row < height; ++row) {
        const int* here = heights.get() + (size_t)row * width;
        const int* below = heights.get() + (size_t)(row == 0 ? height - 1 : row - 1) * width;
        for (int column = 0; column < width; ++column) {
            int right = column + 1 == width ? 0 : column + 1;
            vec3 n = height_normal(here[column], here[right], below[column], below[right], k);
            unsigned char* texel = out->pixels + ((size_t)row * width + column) * 4;
            put_normal(texel, n);
            texel[3] = 255;
        }
    }
    return out;
}

RgbaImage* image_add_normals(const RgbaImage* a, const RgbaImage* b)
{
    return combine(
        a, b, [](const unsigned char* first, const unsigned char* second, unsigned char* out) {
            vec3 n = {signed_unit(first[0]), signed_unit(first[1]), signed_unit(first[2])};
            float squared = n.x * n.x + n.y * n.y + n.z * n.z;
            // Maps that fade to black at their edges fade to straight out instead.
            if (squared * fast_inverse_sqrt(squared) < 1.0f)
                n.z = std::sqrt(std::max(0.0f, 1.0f - n.x * n.x - n.y * n.y));
            n.x += signed_unit(second[0]);
            n.y += signed_unit(second[1]);
            put_normal(out, fast_normalize(n));
            out[3] = 255;
        });
}

RgbaImage* image_smooth_normals(const RgbaImage* image)
{
    rgba_input in(image);
    const RgbaImage* source = in.get();
    if (!source)
        return nullptr;
    int width = source->width, height = source->height;
    RgbaImage* out = image_new(width, height);
    if (!out)
        return nullptr;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            int sum[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    int y = (row + dy + height) % height, x = (column + dx + width) % width;
                    const unsigned char* t = source->pixels + ((size_t)y * width + x) * 4;
                    bool black = !t[0] && !t[1] && !t[2];
                    bool middle = t[0] == 128 && t[1] == 128 && t[2] == 128;
                    if (black || middle)
                        continue;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += t[c] - 128;
                }
            }
            size_t at = ((size_t)row * width + column) * 4;
            put_normal(out->pixels + at,
                       fast_normalize({(float)sum[0], (float)sum[1], (float)sum[2]}));
            out->pixels[at + 3] = source->pixels[at + 3];
        }
    }
    return out;
}

RgbaImage* image_make_intensity(const RgbaImage* image)
{
    return map_texels(image, [](unsigned char* t) { t[1] = t[2] = t[3] = t[0]; });
}

RgbaImage* image_make_alpha(const RgbaImage* image)
{
    return map_texels(image, [](unsigned char* t) {
        t[3] = (unsigned char)((t[0] + t[1] + t[2]) / 3);
        t[0] = t[1] = t[2] = 255;
    });
}

RgbaImage* image_scale(const RgbaImage* image, float r, float g, float b, float a)
{
    return map_texels(image, [=](unsigned char* t) {
        t[0] = scaled_byte(t[0], r);
        t[1] = scaled_byte(t[1], g);
        t[2] = scaled_byte(t[2], b);
        t[3] = scaled_byte(t[3], a);
    });
}

RgbaImage* image_add(const RgbaImage* a, const RgbaImage* b)
{
    return combine(a, b,
                   [](const unsigned char* first, const unsigned char* second, unsigned char* out) {
                       for (int c = 0; c < 4; ++c)
                           out[c] = (unsigned char)std::min(255, first[c] + second[c]);
                   });
}

RgbaImage* image_invert_color(const RgbaImage* image)
{
    return map_texels(image, [](unsigned char* t) {
        for (int c = 0; c < 3; ++c)
            t[c] = (unsigned char)(255 - t[c]);
    });
}

RgbaImage* image_invert_alpha(const RgbaImage* image)
{
    return map_texels(image, [](unsigned char* t) { t[3] = (unsigned char)(255 - t[3]); });
}
