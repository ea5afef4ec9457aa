// Arbitrary UTF-16 through the model view's reader, read in small blocks so
// that surrogates and odd bytes meet the ends of blocks. The first byte
// chooses the byte order (its top bit: big-endian) and the block size (2 to
// 129 bytes); the rest follows a byte-order mark. The text read must not
// depend on the block size, and the model must be in bounds.
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/model_check.h"
#include "mesh/model.h"
#include "mesh/utf16.h"

static std::string as_utf8(std::string& file, size_t block_size)
{
    FILE* in = fmemopen(file.data(), file.size(), "rb");
    FILE* utf8 = in ? utf16_as_utf8(in, block_size) : nullptr;
    if (!utf8)
        abort();
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, utf8)) > 0;)
        text.append(buffer, n);
    fclose(utf8);
    fclose(in);
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string file = data[0] & 0x80 ? "\xFE\xFF" : "\xFF\xFE";
    file.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string text = as_utf8(file, 2 + (data[0] & 0x7F));
    if (text != as_utf8(file, utf16_block_size))
        abort();
    // Valid UTF-8 holds no byte-order mark's bytes: the reader takes it as it is.
    run_on_bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size(), parse_model);
    check_and_reset_model_store();
    return 0;
}
