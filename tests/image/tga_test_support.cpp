#include "tests/image/tga_test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

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
    FILE* stream = in_memory ? memory_stream(file) : temp_stream(file);
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

static std::string num(long value)
{
    return std::to_string(value);
}

std::string head(const TgaHeader& h, int flip, const std::string& id)
{
    std::string out = "TGA: found Original TGA\nTGA: idLength=" + num(h.idLength) +
                      ", colorMapType=" + num(h.colorMapType) + "\n";
    if (h.idLength)
        out += "TGA: ID field: \"" + id + "\"\n";
    out += "TGA: width=" + num(h.width) + ", height=" + num(h.height) + ", bpp=" + num(h.bpp) +
           "\n";
    if (h.descriptor & 0x10)
        out += "TGA: horizontal reversed\n";
    if (!(h.descriptor & 0x20))
        out += "TGA: vertical reversed\n";
    if (flip)
        out += "TGA: vertical flip requested\n";
    if (h.imageType > 8)
        out += "TGA: run-length encoded\n";
    if ((h.imageType & 3) == 1)
        out += "TGA: 8 bit indexed image (24 bit palette)\n"
               "TGA: reading color map (0 + " + num(h.colorMapLength) + ") * (24 / 8)\n";
    else if ((h.imageType & 3) == 3)
        out += "TGA: 8 bit grayscale image\n";
    else
        out += "TGA: " + num(h.bpp) +
               (h.bpp == 32 ? " bit color image with alpha channel\n" : " bit color image\n");
    return out;
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

std::vector<std::string> tga_files_in(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".tga")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
