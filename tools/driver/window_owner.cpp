#include "tools/driver/window_owner.h"

#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The extension's request, spoken directly: no client library for it is
// needed beyond xcb.
static xcb_extension_t resource_extension = {"X-Resource", 0};
constexpr uint8_t query_client_ids = 4;
constexpr uint32_t local_client_pid = 2;

WindowOwners::~WindowOwners()
{
    if (xcb_)
        xcb_disconnect(xcb_);
}

bool WindowOwners::open()
{
    xcb_ = xcb_connect(nullptr, nullptr);
    const xcb_query_extension_reply_t* extension =
        xcb_connection_has_error(xcb_) ? nullptr
                                       : xcb_get_extension_data(xcb_, &resource_extension);
    if (extension && extension->present)
        return true;
    xcb_disconnect(xcb_);
    xcb_ = nullptr;
    return false;
}

pid_t WindowOwners::pid_of(unsigned long window)
{
    if (!xcb_)
        return 0;
    // The request's head (opcodes and length, filled in by xcb), the number
    // of client specs, and one spec: any resource of the client, and what to
    // tell of it.
    uint32_t request[4] = {0, 1, uint32_t(window), local_client_pid};
    iovec parts[3] = {{}, {}, {request, sizeof request}};
    xcb_protocol_request_t how = {1, &resource_extension, query_client_ids, 0};
    unsigned int sequence = xcb_send_request(xcb_, XCB_REQUEST_CHECKED, parts + 2, &how);
    xcb_generic_error_t* error = nullptr;
    auto* reply = (uint8_t*)(sequence ? xcb_wait_for_reply(xcb_, sequence, &error) : nullptr);
    free(error);
    if (!reply)
        return 0;
    // After the 32-byte head, values of (client, mask, byte length, value...).
    uint32_t count, length = 0, words[4] = {};
    memcpy(&count, reply + 8, 4);
    memcpy(&length, reply + 4, 4);
    if (count >= 1 && length >= 4)
        memcpy(words, reply + 32, sizeof words);
    free(reply);
    return words[1] == local_client_pid && words[2] == 4 ? pid_t(words[3]) : 0;
}

// The parent of a process from /proc; 0 when it cannot be read.
static pid_t parent_of(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* f = fopen(path.c_str(), "r");
    char line[1024] = "";
    if (f) {
        if (!fgets(line, sizeof line, f))
            line[0] = 0;
        fclose(f);
    }
    // The command name in parentheses may hold anything: read after its end.
    const char* end = strrchr(line, ')');
    int parent = 0;
    return end && sscanf(end + 1, " %*c %d", &parent) == 1 ? parent : 0;
}

bool descends_from(pid_t pid, pid_t ancestor)
{
    while (pid > 1 && pid != ancestor)
        pid = parent_of(pid);
    return pid == ancestor;
}
