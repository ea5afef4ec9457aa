// Which process made a window, as the X server knows it through its
// X-Resource extension (version 1.2): it tells the process of a client on
// this machine. Two programs of the same window title can then be told apart.
#pragma once
#include <sys/types.h>

struct xcb_connection_t;

class WindowOwners {
public:
    WindowOwners() = default;
    WindowOwners(const WindowOwners&) = delete;
    WindowOwners& operator=(const WindowOwners&) = delete;
    ~WindowOwners();

    // A connection of its own, on DISPLAY; false when the server cannot tell.
    bool open();
    // The process of the client that made the window; 0 when unknown.
    pid_t pid_of(unsigned long window);

private:
    xcb_connection_t* xcb_ = nullptr;
};

// Whether the process is `ancestor` or descends from it.
bool descends_from(pid_t pid, pid_t ancestor);
