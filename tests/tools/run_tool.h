// Runs one of our command-line tools as a user would and keeps what it prints.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/files.h"

struct tool_result {
    int status;  // the exit status, -1 when it did not exit
    std::string out, err;
};

// Runs `command` through the shell in the working directory. The captured
// streams are removed again, so the folder then holds only what the tool wrote.
inline tool_result run_tool(const std::string& command)
{
    int status = std::system((command + " >tool_stdout 2>tool_stderr").c_str());
    tool_result r = {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file("tool_stdout"),
                     read_file("tool_stderr")};
    std::filesystem::remove("tool_stdout");
    std::filesystem::remove("tool_stderr");
    return r;
}

// The tool's answer to its arguments: -h and --help anywhere print the usage
// on standard output with status 0; any other argument beginning with '-',
// or arguments it cannot use, print it on standard error with status 2.
// Either way nothing is written.
inline void expect_answered_without_writing(const std::string& command, int status, const std::string& usage)
{
    tool_result r = run_tool(command);
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, status == 0 ? usage : "");
    EXPECT_EQ(r.err, status == 0 ? "" : usage);
    EXPECT_TRUE(std::filesystem::is_empty("."));
}
