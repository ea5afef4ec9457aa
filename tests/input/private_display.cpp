// Each test program gets an X server of its own, so that no other test's
// window covers its windows (GLUT draws only visible windows) and no other
// test's pointer or keyboard input reaches them. The server ends by itself
// when the program's last connection closes, at exit or on a crash; ending it
// earlier would break the connections still open during exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// After gtest: X defines macros such as None that clash with its names.
#include <X11/Xlib.h>

namespace {

const char* const marker = "ASEVIEW_PRIVATE_DISPLAY";

// A private Xvfb for the whole test program; it picks a free display number
// itself. A death test's child process keeps the display of its parent.
class PrivateDisplay : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (getenv(marker))
            return;
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        if (fork() == 0) {
            close(ends[0]);
            std::string fd = std::to_string(ends[1]);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-terminate", "-screen", "0",
                   "1280x1024x24", "-nolisten", "tcp", (char*)nullptr);
            _exit(127);
        }
        close(ends[1]);
        std::string number;
        pollfd ready = {ends[0], POLLIN, 0};
        char c;
        while (poll(&ready, 1, 20000) == 1 && read(ends[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(ends[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        setenv("DISPLAY", (":" + number).c_str(), 1);
        setenv(marker, "1", 1);
        // Held for the program's life: the server must outlive the gaps
        // between the test's own clients.
        keeper = XOpenDisplay(nullptr);
        ASSERT_NE(keeper, nullptr);
    }

private:
    Display* keeper = nullptr;
};

const auto* display = ::testing::AddGlobalTestEnvironment(new PrivateDisplay);

}  // namespace
