// Arbitrary bytes through both ASE readers: the fscanf reference and the
// program's reader must store the same bits, leave the stream at the same
// place and end the process (a fatal allocation) alike. Any difference
// aborts.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "tests/mesh/store_snapshot.h"

struct parse_result {
    bool returned;
    long position;
    bool at_eof;
    store_snapshot store;
    bool operator==(const parse_result&) const = default;
};

static void (*parse)(FILE*);
static long end_position;
static bool end_at_eof;

static void run_parse(FILE* stream)
{
    parse(stream);
    end_position = ftell(stream);
    end_at_eof = feof(stream);
}

// Parses from a fresh reader and takes a snapshot of the store (after a
// fatal exit too: the store never names a released array).
static parse_result parse_with(const unsigned char* data, size_t size, void (*reader)(FILE*))
{
    parse = reader;
    parse_result r = {};
    r.returned = run_on_bytes(data, size, run_parse);
    if (r.returned) {
        r.position = end_position;
        r.at_eof = end_at_eof;
    }
    r.store = snapshot_store();
    reset_ase_reader();
    return r;
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
