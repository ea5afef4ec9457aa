// WebP through libwebp: lossy and lossless, with or without alpha, decoded
// from the bytes as far as the RIFF header says the file reaches.
#include <webp/decode.h>

#include <cstdint>

#include "image/decoders.h"

namespace {

// "RIFF" and the size of all that follows it.
constexpr size_t riff_header_size = 8;
// Far more than the texture of any game model takes; a hostile size field
// must not have gigabytes read.
constexpr uint32_t max_riff_size = 64u << 20;

std::string webp_reason(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "truncated WebP";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "WebP of an unsupported kind";
    default:
        return "damaged WebP";
    }
}

// The simple API decodes no animation, so one is refused rather than shown
// as its first frame. The size is checked from the header before any
// allocation; libwebp flips the rows so the bottom one comes first.
RgbaImage* decode_webp_bytes(const uint8_t* data, size_t size)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return image_refuse("libwebp of another version");
    VP8StatusCode status = WebPGetFeatures(data, size, &config.input);
    if (status != VP8_STATUS_OK)
        return image_refuse(webp_reason(status));
    int width = config.input.width, height = config.input.height;
    std::string refusal = image_size_refusal(width, height);
    if (!refusal.empty())
        return image_refuse(refusal);
    if (config.input.has_animation)
        return image_refuse("animated WebP: only still pictures are read");
    RgbaImage* image = image_new(width, height);
    if (!image)
        return image_refuse("out of memory");
    config.options.flip = 1;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image->pixels;
    config.output.u.RGBA.stride = width * 4;
    config.output.u.RGBA.size = (size_t)width * height * 4;
    status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status == VP8_STATUS_OK)
        return image;
    image_free(image);
    return image_refuse(webp_reason(status));
}

}  // namespace

RgbaImage* webp_decode(ImageBytes* in)
{
    uint32_t riff_size = le32(in->data + in->at + 4);
    if (riff_size > max_riff_size)
        return image_refuse("WebP larger than " + std::to_string(max_riff_size >> 20) + " MiB");
    size_t size = riff_header_size + riff_size;
    const unsigned char* bytes = take_bytes(in, size);
    return bytes ? decode_webp_bytes(bytes, size) : image_refuse("truncated WebP");
}
