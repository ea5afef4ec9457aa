// Arbitrary bytes through the model view's reader; afterwards everything the
// model view reads must be in bounds.
#include "fuzz/fuzz_support.h"
#include "fuzz/model_check.h"
#include "mesh/model.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    run_on_bytes(data, size, parse_model);
    check_and_reset_model_store();
    return 0;
}
