// JPEG through libjpeg-turbo: grey, YCbCr and RGB straight to RGBA; CMYK and
// YCCK through the plain ink formula, as no colour profile is applied.
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>

#include "image/decoders.h"

namespace {

// Each scan of a progressive file is a pass over the whole picture, so a file
// of many tiny scans would take minutes; real files have a dozen or so.
constexpr int max_scans = 1000;

// What the handlers tell the decoder after libjpeg jumps back.
struct JpegRead {
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    std::string failure;  // the reason, empty while all goes well
    RgbaImage* image;
};

JpegRead* state_of(j_common_ptr info)
{
    return (JpegRead*)info->client_data;
}

// libjpeg's own handler prints and ends the process.
void failed(j_common_ptr info)
{
    char message[JMSG_LENGTH_MAX];
    info->err->format_message(info, message);
    state_of(info)->failure = std::string("damaged JPEG: ") + message;
    std::longjmp(state_of(info)->jump, 1);
}

// At the end of the data libjpeg only warns and fills the rest with grey; the
// other warnings are about damage it could read past.
void warned(j_common_ptr info, int level)
{
    if (level >= 0 || info->err->msg_code != JWRN_JPEG_EOF)
        return;
    state_of(info)->failure = "truncated JPEG";
    std::longjmp(state_of(info)->jump, 1);
}

void count_scans(j_common_ptr info)
{
    if (((j_decompress_ptr)info)->input_scan_number <= max_scans)
        return;
    state_of(info)->failure = "damaged JPEG: too many scans";
    std::longjmp(state_of(info)->jump, 1);
}

// Adobe's files store each ink inverted, others as it is; either way the
// colour is what paper keeps of the light past each ink and the black.
void cmyk_to_rgba(unsigned char* row, int width, bool inverted)
{
    for (unsigned char* pixel = row; pixel < row + width * 4; pixel += 4) {
        int kept_by_black = inverted ? pixel[3] : 255 - pixel[3];
        for (int i = 0; i < 3; i++) {
            int kept_by_ink = inverted ? pixel[i] : 255 - pixel[i];
            pixel[i] = (unsigned char)((kept_by_ink * kept_by_black + 127) / 255);
        }
        pixel[3] = 255;
    }
}

// RGBA straight from libjpeg where it can; CMYK for a later conversion.
bool choose_output(j_decompress_ptr info)
{
    switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        info->out_color_space = JCS_EXT_RGBA;
        return true;
    case JCS_CMYK:
    case JCS_YCCK:
        info->out_color_space = JCS_CMYK;
        return true;
    default:
        return false;
    }
}

// Everything that may jump back stays in here, and whatever it makes is in
// state: no object of this frame is left behind by the jump.
void read_jpeg(j_decompress_ptr info, const ImageBytes& in, JpegRead* state)
{
    if (setjmp(state->jump))
        return;
    jpeg_create_decompress(info);
    info->progress = &state->progress;
    jpeg_mem_src(info, in.data + in.at, bytes_left(in));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) {
        state->failure = "not an image: JPEG tables without a picture";
        return;
    }
    state->failure = image_size_refusal(info->image_width, info->image_height);
    if (!state->failure.empty())
        return;
    if (!choose_output(info)) {
        state->failure = "JPEG of an unknown colour space";
        return;
    }
    jpeg_start_decompress(info);
    int width = info->output_width, height = info->output_height;
    state->image = image_new(width, height);
    if (!state->image) {
        state->failure = "out of memory";
        return;
    }
    // libjpeg gives the top row first; each goes to its place from the bottom.
    while (info->output_scanline < info->output_height) {
        JSAMPROW row =
            state->image->pixels + (size_t)(height - 1 - info->output_scanline) * width * 4;
        if (jpeg_read_scanlines(info, &row, 1) != 1) {
            state->failure = "damaged JPEG: a row could not be read";
            return;
        }
        if (info->out_color_space == JCS_CMYK)
            cmyk_to_rgba(row, width, info->saw_Adobe_marker);
    }
    jpeg_finish_decompress(info);
}

}  // namespace

RgbaImage* jpeg_decode(ImageBytes* in)
{
    JpegRead state = {};
    jpeg_decompress_struct info = {};
    info.err = jpeg_std_error(&state.errors);
    info.client_data = &state;
    state.errors.error_exit = failed;
    state.errors.emit_message = warned;
    state.progress.progress_monitor = count_scans;
    read_jpeg(&info, *in, &state);
    jpeg_destroy_decompress(&info);
    if (state.failure.empty())
        return state.image;
    image_free(state.image);
    return image_refuse(state.failure);
}
