// Arbitrary bytes through both ASE readers: the fscanf reference and the
// program's reader must store the same bits, leave the stream at the same
// place and end the process (a fatal allocation) alike. Any difference
// aborts.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "mesh/store_snapshot.h"

static void (*reader)(FILE*);
static parse_result result;

static void run_reader(FILE* stream)
{
    result = parse_fresh(stream, reader);
}

// After a fatal exit the stream is gone, but the store is still there to
// compare: it never names a released array.
static parse_result parse_with(const unsigned char* data, size_t size, void (*parse)(FILE*))
{
    reader = parse;
    if (!run_on_bytes(data, size, run_reader))
        result = {snapshot_store(), arrays_present(), -1, false};
    reset_ase_reader();
    return result;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (!(parse_with(data, size, parse_ase_scanf) == parse_with(data, size, parse_ase)))
        abort();
    return 0;
}
