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
#include <thread>
#include <unordered_map>
#include <unordered_set>

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
using name_set = std::unordered_set<std::string>;
static struct {
    std::mutex lock;
    int inotify = -1, wake = -1;
    // Each watched folder's watch and the names watched in it, in lower
    // case: the files' own, and those the search asked of it, kept in the
    // search's listings rather than copied (there may be 100,000).
    std::unordered_map<int, name_set> names;
    std::unordered_map<int, std::vector<const name_set*>> asked;
    folder_listings searched;
    // A name the search asked came or went before it was watched.
    bool missed = false;
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

// A watched name changed and not yet reported: when it last had an event,
// and whether that was a write not closed since.
struct change_state {
    bool writing = false;
    std::chrono::steady_clock::time_point last;
};
// By folder watch and name; lost events count under watch -1.
using change_states = std::map<std::pair<int, std::string>, change_state>;

static bool watched(int folder, const std::string& name)
{
    auto names = watch.names.find(folder);
    if (names != watch.names.end() && names->second.count(name) > 0)
        return true;
    auto asked = watch.asked.find(folder);
    if (asked != watch.asked.end())
        for (const name_set* set : asked->second)
            if (set->count(name) > 0)
                return true;
    return false;
}

// Under the lock: what the new list brought, as a change of its own; names
// no longer watched forgotten, changes to the others still to be shown.
static void take_new_list(change_states* states)
{
    std::erase_if(*states, [](const auto& change) {
        return change.first.first >= 0 && !watched(change.first.first, change.first.second);
    });
    if (watch.missed)
        (*states)[{-1, std::string()}].last = std::chrono::steady_clock::now();
    watch.missed = false;
}

static void note_events(change_states* states, const char* events, ssize_t length)
{
    std::lock_guard<std::mutex> hold(watch.lock);
    for (ssize_t at = 0; at < length;) {
        const inotify_event* e = (const inotify_event*)(events + at);
        at += (ssize_t)(sizeof(inotify_event) + e->len);
        // Lost events may have been about any of the files.
        bool lost = e->mask & IN_Q_OVERFLOW;
        std::string name = lost || e->len == 0 ? std::string() : fold_case(e->name);
        if (!lost && (name.empty() || !watched(e->wd, name)))
            continue;
        change_state& state = (*states)[{lost ? -1 : e->wd, name}];
        state.last = std::chrono::steady_clock::now();
        state.writing = e->mask & IN_MODIFY;
    }
}

// Milliseconds until what changed is reported, once for all that changed
// together: when every name is still, or model_unclosed_quiet_ms after the
// first closed one was, whichever comes first; -1 when nothing waits. When
// the time has come the states are dropped and `due` is set.
static int next_report(change_states* states, bool* due)
{
    using std::chrono::milliseconds;
    *due = false;
    if (states->empty())
        return -1;
    auto all_still = std::chrono::steady_clock::time_point::min();
    auto at_latest = std::chrono::steady_clock::time_point::max();
    for (const auto& [file, state] : *states) {
        all_still = std::max(all_still, state.last + milliseconds(state.writing ? model_unclosed_quiet_ms
                                                                                : model_quiet_ms));
        if (!state.writing)
            at_latest = std::min(at_latest, state.last + milliseconds(model_quiet_ms + model_unclosed_quiet_ms));
    }
    auto left = std::chrono::duration_cast<milliseconds>(std::min(all_still, at_latest) -
                                                         std::chrono::steady_clock::now());
    if (left.count() >= 0)
        return (int)left.count() + 1;
    *due = true;
    states->clear();
    return -1;
}

static void watch_loop()
{
    change_states states;
    {
        std::lock_guard<std::mutex> hold(watch.lock);
        take_new_list(&states);
    }
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
            take_new_list(&states);
        }
        if (fds[1].revents) {
            ssize_t length = read(watch.inotify, events, sizeof events);
            if (length < 0 && errno != EAGAIN && errno != EINTR)
                return;
            note_events(&states, events, length);
        }
    }
}

// A new list: its folders by the paths they are named by, and the files'
// names.
struct watch_list {
    std::unordered_map<std::string, int> folders;
    std::unordered_map<int, name_set> names;
    bool all = true;
};

// The folder's watch, or -errno; each folder is added once.
static int folder_watch(watch_list* list, const std::string& folder)
{
    auto [known, added] = list->folders.try_emplace(folder, -1);
    if (added) {
        int wd = inotify_add_watch(watch.inotify, folder.empty() ? "." : folder.c_str(),
                                   IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MODIFY |
                                       IN_ONLYDIR);
        known->second = wd >= 0 ? wd : -errno;
    }
    return known->second;
}

// The folder's watch, or -1 when the folder is not there: its own folder is
// then watched for its name, or the one above for that, and so on up.
static int folder_or_above(watch_list* list, const std::string& folder)
{
    int added = folder_watch(list, folder);
    if (added >= 0)
        return added;
    for (std::string at = folder; added == -ENOENT || added == -ENOTDIR;) {
        size_t end = at.find_last_not_of('/');
        if (end == std::string::npos)
            break;
        std::string missing = at.substr(0, end + 1);
        at = folder_part(missing);
        added = folder_watch(list, at);
        if (added >= 0) {
            list->names[added].insert(fold_case(name_part(missing)));
            return -1;
        }
    }
    list->all = false;
    return -1;
}

static void watch_place(watch_list* list, const std::string& path)
{
    int folder = folder_or_above(list, folder_part(path));
    if (folder >= 0)
        list->names[folder].insert(fold_case(name_part(path)));
}

// A symbolic link is followed link by link: turned to another file, or its
// target written, it counts as changed.
static void watch_path(watch_list* list, const std::string& path)
{
    watch_place(list, path);
    std::string at = path;
    char target[PATH_MAX];
    for (int hops = 0; hops < 40; hops++) {
        ssize_t length = readlink(at.c_str(), target, sizeof target);
        if (length <= 0 || length == (ssize_t)sizeof target)
            return;
        std::string next(target, (size_t)length);
        at = next.front() == '/' ? next : folder_part(at) + next;
        watch_place(list, at);
    }
}

bool watch_model_files(const std::vector<std::string>& paths, void (*changed)(), folder_listings searched)
{
    if (watch.inotify < 0) {
        watch.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        watch.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (watch.inotify < 0 || watch.wake < 0) {
            stop_watching();
            return false;
        }
    }
    watch_list list;
    for (const std::string& path : paths)
        watch_path(&list, path);
    std::unordered_map<std::string, int> searched_watches;
    for (const auto& [folder, listing] : searched.by_folder)
        if (!listing.asked.empty())
            searched_watches[folder] = folder_or_above(&list, folder);
    {
        std::lock_guard<std::mutex> hold(watch.lock);
        watch.searched = std::move(searched);
        std::unordered_map<int, std::vector<const name_set*>> asked;
        for (const auto& [folder, listing] : watch.searched.by_folder)
            if (auto known = searched_watches.find(folder); known != searched_watches.end() && known->second >= 0)
                asked[known->second].push_back(&listing.asked);
        auto kept = [&](int folder) { return list.names.count(folder) > 0 || asked.count(folder) > 0; };
        for (const auto& [folder, unused] : watch.names)
            if (!kept(folder))
                inotify_rm_watch(watch.inotify, folder);
        for (const auto& [folder, unused] : watch.asked)
            if (!kept(folder) && !watch.names.count(folder))
                inotify_rm_watch(watch.inotify, folder);
        watch.names = std::move(list.names);
        watch.asked = std::move(asked);
        watch.changed = changed;
    }
    // Checked once the names are watched: an event the watch's thread read
    // before then was not taken as theirs, and a name that came or went
    // before then is seen here. The thread only reads the listings.
    if (asked_names_changed(watch.searched)) {
        std::lock_guard<std::mutex> hold(watch.lock);
        watch.missed = true;
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
    return list.all;
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
    watch.asked.clear();
    watch.searched = {};
}
