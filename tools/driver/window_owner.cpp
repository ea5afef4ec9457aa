#include "tools/driver/window_owner.h"

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

#include "tools/driver/process.h"

WindowOwners::~WindowOwners()
{
    if (xcb_)
        xcb_disconnect(xcb_);
}

bool WindowOwners::open()
{
    xcb_ = xcb_connect(nullptr, nullptr);
    const xcb_query_extension_reply_t* extension =
        xcb_connection_has_error(xcb_) ? nullptr : xcb_get_extension_data(xcb_, &xcb_res_id);
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
    // Any resource of a client names the client.
    xcb_res_client_id_spec_t spec = {uint32_t(window), XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* reply =
        xcb_res_query_client_ids_reply(xcb_, xcb_res_query_client_ids(xcb_, 1, &spec), nullptr);
    pid_t pid = 0;
    if (reply) {
        for (auto id = xcb_res_query_client_ids_ids_iterator(reply); id.rem; xcb_res_client_id_value_next(&id))
            if ((id.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && id.data->length == 4)
                pid = pid_t(*xcb_res_client_id_value_value(id.data));
        free(reply);
    }
    return pid;
}

bool descends_from(pid_t pid, pid_t ancestor)
{
    while (pid > 1 && pid != ancestor) {
        std::vector<long> stat = process_stat(pid);
        pid = stat.size() > 4 ? pid_t(stat[4]) : 0;
    }
    return pid == ancestor;
}
