#include "mesh/model_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "mesh/model.h"

static std::string folder_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

static std::string name_part(const std::string& path)
{
    return path.substr(folder_part(path).size());
}

std::string model_window_title(const std::string& path)
{
    return name_part(path) + " - aseview";
}

static bool folded_less(const std::string& a, const std::string& b)
{
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        if (fold((unsigned char)a[i]) != fold((unsigned char)b[i]))
            return fold((unsigned char)a[i]) < fold((unsigned char)b[i]);
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

static bool ase_name(const std::string& name)
{
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".ase") == 0;
}

std::vector<std::string> ase_files_in(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return names;
    std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = readdir(dir)) {
        struct stat info;
        std::string name = entry->d_name;
        if (ase_name(name) && stat((prefix + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), folded_less);
    return names;
}

std::vector<std::string> models_from(const std::string& path, int step)
{
    std::string folder = folder_part(path), name = name_part(path);
    std::vector<std::string> names = ase_files_in(folder);
    // Where the model is, or would be: the first name not before it.
    size_t at = (size_t)(std::lower_bound(names.begin(), names.end(), name, folded_less) - names.begin());
    bool listed = at < names.size() && names[at] == name;
    if (listed)
        names.erase(names.begin() + (ptrdiff_t)at);
    std::vector<std::string> order;
    size_t n = names.size();
    for (size_t k = 0; k < n; k++) {
        // Onwards the model's own place now holds its successor; backwards
        // its predecessor is the one before that place.
        size_t i = step > 0 ? (at + k) % n : (at + n - 1 - k) % n;
        order.push_back(folder + names[i]);
    }
    return order;
}

bool read_model_file(const std::string& path, std::string* why)
{
    reset_model_store();
    why->clear();
    // Not blocking on open: a pipe put in the model's place has no writer.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        *why = strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        *why = "not a regular file";
        return false;
    }
    // Read through a stream, not mapped: a writer cutting the file short
    // while it is read would end a mapping's reader with SIGBUS.
    FILE* stream = fdopen(fd, "r");
    if (stream == nullptr) {
        *why = strerror(errno);
        close(fd);
        return false;
    }
    try {
        parse_model(stream);
        if (ferror(stream))
            *why = "read error";
    } catch (const std::bad_alloc&) {
        *why = "too large for memory";
    }
    fclose(stream);
    if (why->empty())
        for (const model_object& object : model_objects)
            for (const model_face& face : object.faces)
                if (model_face_drawable(object, face))
                    return true;
    if (why->empty())
        *why = "no faces to draw";
    reset_model_store();
    return false;
}

// The watch: one thread blocked on the inotify descriptor and on an event
// descriptor that tells it of new files to watch or of the end.
static struct {
    std::mutex lock;
    int inotify = -1, wake = -1;
    // Each watched folder's watch and the names of the files watched in it.
    std::map<int, std::set<std::string>> names;
    void (*changed)() = nullptr;
    bool stopping = false;
    std::thread thread;
} watch;

static void wake_watch_thread()
{
    uint64_t one = 1;
    while (write(watch.wake, &one, sizeof one) < 0 && errno == EINTR)
        continue;
}

// What the events about one watched file mean: whether it may now be whole
// (closed, moved in, created, removed), or is being written.
struct change_state {
    bool pending = false, writing = false;
    std::chrono::steady_clock::time_point still_from;
};
// By folder watch and name; lost events count under watch -1.
using change_states = std::map<std::pair<int, std::string>, change_state>;

static void note_events(change_states* states, const char* events, ssize_t length)
{
    std::lock_guard<std::mutex> hold(watch.lock);
    for (ssize_t at = 0; at < length;) {
        const inotify_event* e = (const inotify_event*)(events + at);
        at += (ssize_t)(sizeof(inotify_event) + e->len);
        // Lost events may have been about any of the files.
        bool lost = e->mask & IN_Q_OVERFLOW;
        auto folder = watch.names.find(e->wd);
        if (!lost && (folder == watch.names.end() || e->len == 0 || !folder->second.count(e->name)))
            continue;
        change_state& state = (*states)[lost ? std::make_pair(-1, std::string()) : std::make_pair(e->wd, std::string(e->name))];
        state.still_from = std::chrono::steady_clock::now();
        if (e->mask & IN_MODIFY) {
            state.writing = true;
        } else {
            state.writing = false;
            state.pending = true;
        }
    }
}

// Milliseconds until what changed together is reported once: every file
// that changed whole again and all of them still for model_quiet_ms (a model
// saved with its texture is read once); -1 when nothing waits. When the time
// has come the states are dropped and `due` is set.
static int next_report(change_states* states, bool* due)
{
    *due = false;
    bool pending = false;
    std::chrono::steady_clock::time_point last{};
    for (const auto& [file, state] : *states) {
        if (state.writing)
            return -1;
        pending = pending || state.pending;
        last = std::max(last, state.still_from);
    }
    if (!pending)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        last + std::chrono::milliseconds(model_quiet_ms) - std::chrono::steady_clock::now());
    if (left.count() >= 0)
        return (int)left.count() + 1;
    *due = true;
    states->clear();
    return -1;
}

static void watch_loop()
{
    change_states states;
    alignas(inotify_event) char events[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        bool due;
        int timeout = next_report(&states, &due);
        if (due) {
            void (*changed)();
            {
                std::lock_guard<std::mutex> hold(watch.lock);
                changed = watch.changed;
            }
            changed();
        }
        pollfd fds[2] = {{watch.wake, POLLIN, 0}, {watch.inotify, POLLIN, 0}};
        int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents) {
            uint64_t count;
            if (read(watch.wake, &count, sizeof count) < 0 && errno != EAGAIN)
                return;
            std::lock_guard<std::mutex> hold(watch.lock);
            if (watch.stopping)
                return;
            states.clear();
        }
        if (fds[1].revents) {
            ssize_t length = read(watch.inotify, events, sizeof events);
            if (length < 0 && errno != EAGAIN && errno != EINTR)
                return;
            note_events(&states, events, length);
        }
    }
}

bool watch_model_files(const std::vector<std::string>& paths, void (*changed)())
{
    if (watch.inotify < 0) {
        watch.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        watch.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (watch.inotify < 0 || watch.wake < 0) {
            stop_watching();
            return false;
        }
    }
    bool all = true;
    std::map<int, std::set<std::string>> names;
    for (const std::string& path : paths) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            all = false;
            continue;
        }
        // A link's target is what an editor writes: its folder is watched.
        char* real = realpath(path.c_str(), nullptr);
        std::string target = real ? real : path;
        free(real);
        std::string folder = folder_part(target);
        // The same folder gives the same watch back.
        int added = inotify_add_watch(watch.inotify, folder.empty() ? "." : folder.c_str(),
                                      IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE |
                                          IN_MOVED_FROM | IN_MODIFY | IN_ONLYDIR);
        if (added < 0)
            all = false;
        else
            names[added].insert(name_part(target));
    }
    {
        std::lock_guard<std::mutex> hold(watch.lock);
        for (const auto& [folder, unused] : watch.names)
            if (!names.count(folder))
                inotify_rm_watch(watch.inotify, folder);
        watch.names = names;
        watch.changed = changed;
    }
    if (!watch.thread.joinable()) {
        static bool stopped_at_exit = false;
        if (!stopped_at_exit)
            atexit(stop_watching);
        stopped_at_exit = true;
        watch.stopping = false;
        watch.thread = std::thread(watch_loop);
    } else {
        wake_watch_thread();
    }
    return all;
}

void stop_watching()
{
    if (watch.thread.joinable()) {
        {
            std::lock_guard<std::mutex> hold(watch.lock);
            watch.stopping = true;
        }
        wake_watch_thread();
        // An exit from the watch's own callback cannot wait for itself.
        if (watch.thread.get_id() == std::this_thread::get_id())
            watch.thread.detach();
        else
            watch.thread.join();
    }
    for (int* fd : {&watch.inotify, &watch.wake})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    watch.names.clear();
}
