#include "tests/support/targa.h"

static void put16(Bytes* out, uint16_t value)
{
    out->push_back(value & 0xFF);
    out->push_back(value >> 8);
}

Bytes tga_bytes(const TgaHeader& h, const Bytes& body)
{
    Bytes out = {h.idLength, h.colorMapType, h.imageType};
    put16(&out, h.colorMapIndex);
    put16(&out, h.colorMapLength);
    out.push_back(h.colorMapSize);
    put16(&out, 0);
    put16(&out, 0);
    put16(&out, h.width);
    put16(&out, h.height);
    out.push_back(h.bpp);
    out.push_back(h.descriptor);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
