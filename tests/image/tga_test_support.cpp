#include "tests/image/tga_test_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

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

FILE* file_stream(const Bytes& bytes)
{
    FILE* stream = tmpfile();
    if (stream) {
        fwrite(bytes.data(), 1, bytes.size(), stream);
        rewind(stream);
    }
    return stream;
}

std::string capture_stdout(const std::function<void()>& run)
{
    char path[] = "/tmp/tga_stdout_XXXXXX";
    int file = mkstemp(path);
    fflush(stdout);
    int saved = dup(1);
    dup2(file, 1);
    run();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(file);
    std::string text = read_file(path);
    unlink(path);
    return text;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string param_name(std::string text)
{
    for (char& ch : text)
        if (!isalnum((unsigned char)ch))
            ch = '_';
    return text;
}
