#include "tests/image/tga_test_support.h"

#include <cctype>

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

FILE* memory_stream(const Bytes& bytes)
{
    return fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
}

FILE* file_stream(const Bytes& bytes)
{
    FILE* stream = tmpfile();
    if (stream) {
        fwrite(bytes.data(), 1, bytes.size(), stream);
        rewind(stream);
    }
    return stream;
}

std::string param_name(std::string text)
{
    for (char& ch : text)
        if (!isalnum((unsigned char)ch))
            ch = '_';
    return text;
}

Read read_tga(const Bytes& file, int flip, unsigned level, bool in_memory)
{
    tga_reset_state();
    tga_verbosity = level;
    FILE* stream = in_memory ? memory_stream(file) : file_stream(file);
    Read r;
    r.out = capture_stdout([&] { r.image.reset(tga_read(stream, "test.tga", flip)); });
    r.position = ftell(stream);
    fclose(stream);
    tga_verbosity = 0;
    return r;
}

Bytes pixels_of(const TgaImage& image)
{
    return Bytes(image.pixels, image.pixels + image.width * image.height * image.components);
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TgaHeader indexed(uint16_t length, uint8_t size)
{
    TgaHeader h;
    h.imageType = 1;
    h.colorMapType = 1;
    h.colorMapLength = length;
    h.colorMapSize = size;
    h.bpp = 8;
    return h;
}
