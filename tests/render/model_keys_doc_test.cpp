// The README's table of the model view's keys says what the help says: it
// is made from the same words, and this test gives the table to paste when
// they part.
#include <gtest/gtest.h>

#include <string>

#include "render/model_overlay.h"
#include "tests/support/files.h"

namespace {

// "`h`, `F1`" for a key's names; the mouse's actions as they are.
std::string markdown_keys(const model_key& key)
{
    std::string keys = key.keys, out;
    if (key.command == model_command::no_command)
        return keys;
    for (size_t at = 0; at <= keys.size();) {
        size_t comma = std::min(keys.find(", ", at), keys.size());
        out += (out.empty() ? "`" : ", `") + keys.substr(at, comma - at) + "`";
        at = comma + 2;
    }
    return out;
}

TEST(ModelKeysDocTest, ReadmeTableIsTheHelp)
{
    std::string table = "| Key or mouse | Effect |\n|---|---|\n";
    for (size_t i = 0; i < model_key_count; i++)
        table += "| " + markdown_keys(model_keys[i]) + " | " + model_keys[i].what + " |\n";
    EXPECT_NE(read_file(README).find(table), std::string::npos) << "the README's table should be:\n" << table;
}

}  // namespace
