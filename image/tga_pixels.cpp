// Pixel readers for the Targa rows: plain data and run-length packets.
#include "image/tga.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

int32_t tga_total_bytes = 0;

// The total is a diagnostic only; let it wrap instead of overflowing.
static void count_bytes(int bytes)
{
    tga_total_bytes = (int32_t)((uint32_t)tga_total_bytes + (uint32_t)bytes);
}

int std_fread(RleState*, unsigned char* destination, int element_size, int element_count,
              FILE* stream)
{
    if (tga_verbosity > 1) {
        count_bytes(element_size * element_count);
        printf("TGA: std_fread %d (total %d)\n", element_size * element_count, tga_total_bytes);
    }
    return (int)fread(destination, element_size, element_count, stream);
}

// Delivers held bytes of an earlier packet; returns how many.
static int deliver_held(RleState* state, unsigned char* destination, int room)
{
    int n = std::min(state->filled - state->consumed, room);
    memcpy(destination, state->buffer + state->consumed, n);
    state->consumed += n;
    if (state->consumed == state->filled)
        state->filled = state->consumed = 0;
    return n;
}

// Decodes one packet of size bytes into place; false when the data runs out.
static bool read_packet(int header, unsigned char* place, int size, int element_size, FILE* stream)
{
    bool run = header & 0x80;
    if (!run) {
        if (fread(place, 1, size, stream) == (size_t)size)
            return true;
        if (tga_verbosity >= 1)
            printf("TGA: EOF while reading %d/%d element raw packet\n", size, element_size);
        return false;
    }
    if (fread(place, 1, element_size, stream) != (size_t)element_size) {
        if (tga_verbosity >= 1)
            printf("TGA: EOF while reading %d/%d element RLE packet\n", size, element_size);
        return false;
    }
    if (element_size == 1)
        memset(place + 1, place[0], size - 1);
    else
        for (int offset = element_size; offset < size; offset += element_size)
            memcpy(place + offset, place, element_size);
    return true;
}

int rle_fread(RleState* state, unsigned char* destination, int element_size, int element_count,
              FILE* stream)
{
    int wanted = element_size * element_count;
    int done = 0;
    int32_t total_on_entry = tga_total_bytes;
    while (done < wanted) {
        if (state->consumed < state->filled) {
            done += deliver_held(state, destination + done, wanted - done);
            if (done == wanted)
                break;
        }
        int header = fgetc(stream);
        if (header == EOF) {
            if (tga_verbosity >= 1)
                printf("TGA: hit EOF while looking for count\n");
            return done / element_size;
        }
        int size = element_size * ((header & 0x7F) + 1);
        bool fits = done + size <= wanted;
        if (!fits && !state->buffer)
            state->buffer = (unsigned char*)malloc((size_t)element_size * 128);
        // Without a buffer for the overhang the row can't be completed.
        if (!fits && !state->buffer)
            return done / element_size;
        unsigned char* place = fits ? destination + done : state->buffer;
        if (!read_packet(header, place, size, element_size, stream))
            return done / element_size;
        if (tga_verbosity > 1) {
            count_bytes(size);
            if (tga_verbosity > 2)
                printf("TGA: %s packet %d/%d\n", header & 0x80 ? "RLE" : "raw", size,
                       tga_total_bytes);
        }
        if (fits)
            done += size;
        else
            state->filled = size;
    }
    if (tga_verbosity > 1)
        printf("TGA: rle_fread %d/%d (total %d)\n", wanted,
               (int32_t)((uint32_t)tga_total_bytes - (uint32_t)total_on_entry), tga_total_bytes);
    return element_count;
}
