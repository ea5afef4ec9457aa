// The exact scanner held to the C library, directive by directive, on texts
// that steer every conversion: alone, followed by more input, and starting
// just before the end of a read block. Both read the same real file: only a
// stream tells what a failed conversion consumed, and reads on past a NUL.
#include "mesh/scan.h"
#include "mesh_support.h"

template <class T>
static std::string bits_of(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

struct scan_result {
    bool converted;
    std::string value;
    long consumed;
    bool at_eof;
    bool operator==(const scan_result&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const scan_result& r)
    {
        return out << "converted " << r.converted << ", value " << testing::PrintToString(r.value) << ", consumed "
                   << r.consumed << ", at end " << r.at_eof;
    }
};

struct directive {
    const char* name;
    bool skips_space;
    bool (*c_library)(FILE*, std::string* value);
    bool (*scanner)(scan_source*, std::string* value);
};

// Whitespace and a skipped line report no success of their own: only what
// they consumed.
static const directive directives[] = {
    {"%i", true,
     [](FILE* f, std::string* v) { int x = 0; bool ok = fscanf(f, "%i", &x) == 1; *v = bits_of(x); return ok; },
     [](scan_source* s, std::string* v) { int x = 0; bool ok = scan_i(s, &x); *v = bits_of(x); return ok; }},
    {"%d", true,
     [](FILE* f, std::string* v) { int x = 0; bool ok = fscanf(f, "%d", &x) == 1; *v = bits_of(x); return ok; },
     [](scan_source* s, std::string* v) { int x = 0; bool ok = scan_d(s, &x); *v = bits_of(x); return ok; }},
    {"%f", true,
     [](FILE* f, std::string* v) { float x = 0; bool ok = fscanf(f, "%f", &x) == 1; *v = bits_of(x); return ok; },
     [](scan_source* s, std::string* v) { float x = 0; bool ok = scan_f(s, &x); *v = bits_of(x); return ok; }},
    {"%255s", true,
     [](FILE* f, std::string* v) { char w[256] = ""; bool ok = fscanf(f, "%255s", w) == 1; *v = w; return ok; },
     [](scan_source* s, std::string* v) { std::string_view w; bool ok = scan_255s(s, &w); *v = w; return ok; }},
    {" ", true,
     [](FILE* f, std::string*) { return fscanf(f, " ") == 0; },
     [](scan_source* s, std::string*) { scan_space(s); return true; }},
    {":", false,
     [](FILE* f, std::string*) { int n = -1; return fscanf(f, ":%n", &n) == 0 && n >= 0; },
     [](scan_source* s, std::string*) { return scan_literal(s, ':'); }},
    {"fgets 256", false,
     [](FILE* f, std::string*) { char line[256]; [[maybe_unused]] char* got = fgets(line, sizeof line, f); return true; },
     [](scan_source* s, std::string*) { skip_fgets_256(s); return true; }},
};

static scan_result c_library_scan(FILE* f, const directive& d)
{
    rewind(f);
    std::string value;
    bool converted = d.c_library(f, &value);
    return {converted, value, ftell(f), feof(f) != 0};
}

// What the scanner consumed is what it took from the stream less what it
// holds unread.
static scan_result scanner_scan(FILE* f, const directive& d)
{
    static unsigned char buffer[scan_block_size + 1];
    rewind(f);
    scan_source s = scan_from(f, buffer);
    std::string value;
    bool converted = d.scanner(&s, &value);
    return {converted, value, ftell(f) - long(s.end - s.at), s.eof};
}

TEST(Scan, EveryDirectiveAsTheCLibraryReadsIt)
{
    const std::string block_end_padding(scan_block_size - 2, ' ');
    std::vector<std::string> texts = tricky_texts();
    texts.insert(texts.end(), {std::string(254, 'x') + "\n" + "y", std::string(255, 'x') + "\n",
                               std::string(256, 'x')});
    for (const directive& d : directives)
        for (const std::string& text : texts) {
            std::vector<std::string> inputs = {text, text + " 7:"};
            if (d.skips_space)
                inputs.push_back(block_end_padding + text + " 7");
            for (const std::string& input : inputs) {
                FILE* f = temp_stream(input);
                scan_result expected = c_library_scan(f, d);
                EXPECT_EQ(scanner_scan(f, d), expected)
                    << d.name << " on " << testing::PrintToString(input.substr(0, 300));
                fclose(f);
            }
        }
}
