// Arbitrary bytes through the DDS reader, its magic always in place so that no
// run is spent on the other formats; whatever comes back must be whole.
#include <algorithm>
#include <cstring>
#include <memory>

#include "fuzz/image_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    // A block of exactly the size, so that a read past it is caught.
    std::unique_ptr<unsigned char[]> file(new unsigned char[size]);
    memcpy(file.get(), data, size);
    memcpy(file.get(), "DDS ", std::min<size_t>(size, 4));
    check_and_free(image_decode(file.get(), size));
    return 0;
}
