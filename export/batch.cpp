#include "export/batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>
#include <utility>

#include "export/export_model.h"
#include "gamefs/folders.h"

namespace fs = std::filesystem;

namespace {

bool is_ase(const fs::path& path)
{
    std::string name = path.filename().string();
    return name.size() > 4 && fold_case(name.substr(name.size() - 4)) == ".ase";
}

fs::path glb_path(const fs::path& out_dir, const fs::path& relative)
{
    return out_dir / relative.parent_path() / glb_name(relative.filename().string());
}

// A model and where under the output folder its file goes.
struct planned_job {
    std::string model;
    fs::path relative;  // the output's path below the output folder, with the model's own name
};

// Every regular ".ase" file under the folder, symbolic links to folders not
// followed (they may loop), in a stable order.
void add_folder(const fs::path& folder, std::vector<planned_job>* planned, std::vector<std::string>* errors)
{
    std::error_code error;
    std::vector<fs::path> found;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (is_ase(it->path()) && it->is_regular_file(error))
            found.push_back(it->path());
    if (error)
        errors->push_back(folder.string() + ": " + error.message());
    std::sort(found.begin(), found.end());
    for (const fs::path& path : found)
        planned->push_back({path.string(), path.lexically_relative(folder)});
}

using file_id = std::pair<dev_t, ino_t>;

file_id id_of(const struct stat& status)
{
    return {status.st_dev, status.st_ino};
}

// The output's folder, `relative` below out_dir, made where missing and
// never a symbolic link (which would put the file elsewhere, or onto another
// model's): its status in *folder, else why it cannot be had. Links in
// out_dir itself are the user's to give, and followed.
std::string output_folder(const fs::path& out_dir, const fs::path& relative, struct stat* folder)
{
    if (stat(out_dir.c_str(), folder) != 0)
        return out_dir.string() + ": " + strerror(errno);
    if (!S_ISDIR(folder->st_mode))
        return out_dir.string() + ": " + strerror(ENOTDIR);
    fs::path at = out_dir;
    for (const fs::path& part : relative) {
        at /= part;
        if (mkdir(at.c_str(), 0777) != 0 && errno != EEXIST)
            return at.string() + ": " + strerror(errno);
        if (lstat(at.c_str(), folder) != 0)
            return at.string() + ": " + strerror(errno);
        if (S_ISLNK(folder->st_mode))
            return at.string() + " is a symbolic link, not written through";
        if (!S_ISDIR(folder->st_mode))
            return at.string() + ": " + strerror(ENOTDIR);
    }
    return "";
}

// The outputs are placed by what they are, not by their names: a file in
// one folder (by device and inode) under one name is one output, the first
// model's; and an output that is an input of the batch would replace it.
class output_places {
public:
    // The output folder made, for the outputs in it.
    output_places(const fs::path& out_dir, const std::vector<planned_job>& planned) : out_dir_(out_dir)
    {
        std::error_code error;
        fs::create_directories(out_dir, error);
        if (error)
            out_dir_error_ = out_dir.string() + ": " + error.message();
        struct stat status;
        for (const planned_job& p : planned)
            if (stat(p.model.c_str(), &status) == 0)
                inputs_.emplace(id_of(status), p.model);
    }

    // Why the model may not be written at out (empty when it may), its
    // place taken when it may.
    std::string refusal(const planned_job& p, const std::string& out)
    {
        struct stat folder, target;
        std::string why = out_dir_error_.empty() ? output_folder(out_dir_, p.relative.parent_path(), &folder)
                                                 : out_dir_error_;
        if (!why.empty())
            return why;
        if (lstat(out.c_str(), &target) == 0)
            if (auto input = inputs_.find(id_of(target)); input != inputs_.end())
                return out + " is the input " + input->second;
        auto [first, added] =
            first_model_.emplace(std::tuple(folder.st_dev, folder.st_ino, fs::path(out).filename().string()), p.model);
        return added ? "" : out + " is already the export of " + first->second;
    }

private:
    fs::path out_dir_;
    std::string out_dir_error_;
    std::map<file_id, std::string> inputs_;
    std::map<std::tuple<dev_t, ino_t, std::string>, std::string> first_model_;
};

// A model's report as a worker sends it to its parent: whether it was
// written, the missing count and the two texts' sizes, then the texts.
std::string pack(const export_report& report)
{
    size_t header[4] = {size_t(report.ok), size_t(report.missing), report.out.size(), report.err.size()};
    return std::string(reinterpret_cast<const char*>(header), sizeof header) + report.out + report.err;
}

// The first whole report at the start of the bytes, taken from them; false
// while it has not all come.
bool unpack(std::string* bytes, export_report* report)
{
    size_t header[4];
    if (bytes->size() < sizeof header)
        return false;
    memcpy(header, bytes->data(), sizeof header);
    size_t size = sizeof header + header[2] + header[3];
    if (bytes->size() < size)
        return false;
    report->ok = header[0] != 0;
    report->missing = int(header[1]);
    report->out = bytes->substr(sizeof header, header[2]);
    report->err = bytes->substr(sizeof header + header[2], header[3]);
    bytes->erase(0, size);
    return true;
}

// A worker: a process of its own, for the model store is one per process,
// that takes one job after another, its memory and files reused from one
// model to the next; `job` is the one it has been given, null when idle.
struct worker {
    pid_t pid;
    int jobs, reports;  // the parent's ends of its two pipes
    const batch_job* job = nullptr;
    std::string bytes;  // what it has sent of its report so far
};

// The signals that stop a batch. The parent's handler only notes the
// signal and wakes its poll through a pipe, so that none is lost between a
// look and the wait; it is installed without SA_RESTART, so that a write to
// a standard output nobody reads gives way to it.
constexpr int stop_signals[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t stop_signal = 0;
int stop_pipe[2] = {-1, -1};

void note_stop(int number)
{
    int saved = errno;
    stop_signal = number;
    [[maybe_unused]] ssize_t told = write(stop_pipe[1], "", 1);
    errno = saved;
}

sigset_t stop_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int number : stop_signals)
        sigaddset(&set, number);
    return set;
}

// The stop signals caught, but not one the batch was started to ignore (as
// nohup does). Without the pipe they end the parent as they would anyway,
// and its death its workers.
void catch_stop_signals()
{
    if (pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = note_stop;
    action.sa_mask = stop_set();
    for (int number : stop_signals) {
        struct sigaction before;
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(number, &action, nullptr);
    }
}

// A new worker let go of the parent's handlers and stop pipe, and made to
// end when its parent does: by SIGTERM, which lets a file being named be
// named or let go whole (SIGTERM is the parent's word to it too, so it is
// never ignored or blocked). Its mask is the parent's before the fork.
void become_worker(pid_t parent, sigset_t mask)
{
    for (int number : stop_signals) {
        struct sigaction before;
        sigaction(number, nullptr, &before);
        if (before.sa_handler == note_stop || number == SIGTERM)
            signal(number, SIG_DFL);
    }
    if (stop_pipe[0] >= 0) {
        close(stop_pipe[0]);
        close(stop_pipe[1]);
    }
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A parent gone before the line above sent no signal.
    if (getppid() != parent)
        _exit(0);
    sigdelset(&mask, SIGTERM);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
}

// Exports the jobs whose numbers come down `jobs`, each report sent up
// `reports`, until the parent closes the pipe.
[[noreturn]] void work(const std::vector<batch_job>& all, const export_options& options, int jobs, int reports)
{
    uint32_t i;
    export_cache cache;
    while (read(jobs, &i, sizeof i) == ssize_t(sizeof i) && i < all.size()) {
        std::string report = pack(export_model(all[i].model, all[i].out, options, &cache));
        if (write_all(reports, report.data(), report.size()) != 0)
            break;
    }
    _exit(0);
}

// Starts a worker; false, with errno, when it cannot be had. The stop
// signals wait during the fork, so that none reaches the new worker while
// it still has the parent's handler.
bool start_worker(const std::vector<batch_job>& all, const export_options& options,
                  const std::vector<worker>& others, worker* w)
{
    int down[2], up[2];
    if (pipe(down) != 0)
        return false;
    if (pipe(up) != 0) {
        close(down[0]);
        close(down[1]);
        return false;
    }
    fflush(nullptr);
    sigset_t stops = stop_set(), before;
    sigprocmask(SIG_BLOCK, &stops, &before);
    pid_t parent = getpid(), pid = fork();
    if (pid == 0) {
        become_worker(parent, before);
        // The others' pipes shut here, so that each sees its parent's end close.
        for (const worker& other : others) {
            close(other.jobs);
            close(other.reports);
        }
        close(down[1]);
        close(up[0]);
        work(all, options, down[0], up[1]);
    }
    int saved = errno;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    close(down[0]);
    close(up[1]);
    if (pid < 0) {
        close(down[1]);
        close(up[0]);
        errno = saved;
        return false;
    }
    *w = {pid, down[1], up[0], nullptr, {}};
    return true;
}

// How many descriptors are open below the limit: a new one needs a free
// number under it.
long open_descriptors(rlim_t limit)
{
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr)
        return 3;
    long open = -1;  // the listing's own
    while (dirent* entry = readdir(folder))
        open += entry->d_name[0] != '.' && rlim_t(atol(entry->d_name)) < limit;
    closedir(folder);
    return open;
}

// The workers the descriptor limit leaves room for: each holds two of the
// parent's descriptors, and the start of one two more for a moment.
size_t workers_within_descriptors(int workers)
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return size_t(workers);
    long room = (long(limit.rlim_cur) - open_descriptors(limit.rlim_cur) - 2) / 2;
    return size_t(std::clamp(room, 1L, long(workers)));
}

struct tally {
    size_t next = 0;  // the first job not yet given out
    size_t done = 0, written = 0, failed = 0;
    long long missing = 0;
    bool progress = false;
    bool stopping = false;  // a stop signal came: no job is given out
};

void show_progress(const tally& t, size_t total)
{
    if (t.progress)
        fprintf(stderr, "\r\033[Kexporting: %zu of %zu models", t.done, total);
}

// A model's lines whole, its outcome counted.
void finish(const export_report& report, tally* t, size_t total)
{
    if (t->progress)
        fputs("\r\033[K", stderr);
    fputs(report.out.c_str(), stdout);
    fflush(stdout);
    fputs(report.err.c_str(), stderr);
    t->done++;
    t->missing += report.missing;
    (report.ok ? t->written : t->failed)++;
    show_progress(*t, total);
}

// The end of a worker's job pipe, which lets it go once idle.
void let_go(worker* w)
{
    if (w->jobs >= 0)
        close(w->jobs);
    w->jobs = -1;
}

// The next job to an idle worker; none when none is left or the batch
// stops.
void give_work(const std::vector<batch_job>& jobs, worker* w, tally* t)
{
    if (t->next == jobs.size() || t->stopping) {
        let_go(w);
        return;
    }
    uint32_t i = uint32_t(t->next++);
    w->job = &jobs[i];
    // A worker that is gone is found by its reports' end.
    write_all(w->jobs, &i, sizeof i);
}

// A worker whose reports ended: gone, its job (if it had one, and it was
// not stopped) failed.
void reap(worker* w, tally* t, size_t total)
{
    close(w->reports);
    let_go(w);
    int status = 0;
    while (waitpid(w->pid, &status, 0) < 0 && errno == EINTR)
        continue;
    if (w->job == nullptr || t->stopping)
        return;
    export_report report;
    report.err = "aseview-export: " + w->job->model + ": the export ended abnormally" +
                 (WIFSIGNALED(status) ? std::string(" (") + strsignal(WTERMSIG(status)) + ")" : "") + "\n";
    finish(report, t, total);
}

// Workers started up to *most, each given a job. When one cannot be had
// (no descriptor or process left), those running go on with the rest and
// *most comes down to them, as with make -j and xargs -P; only when none is
// running does the next job fail, with the reason.
void start_workers(const std::vector<batch_job>& jobs, const export_options& options, size_t* most,
                   std::vector<worker>* running, tally* t)
{
    while (!t->stopping && running->size() < *most && t->next < jobs.size()) {
        worker w;
        if (start_worker(jobs, options, *running, &w)) {
            give_work(jobs, &w, t);
            running->push_back(std::move(w));
        } else if (!running->empty()) {
            *most = running->size();
        } else {
            export_report report;
            report.err = "aseview-export: " + jobs[t->next++].model + ": " + strerror(errno) + "\n";
            finish(report, t, jobs.size());
        }
    }
}

// A stop signal: every worker told to end (one naming a file ends once it
// is named or let go) and given nothing more; what they still send is read.
void stop_workers(std::vector<worker>* running, tally* t)
{
    t->stopping = true;
    for (worker& w : *running) {
        kill(w.pid, SIGTERM);
        let_go(&w);
    }
}

// Reads what the workers sent, finishing the reports that are whole and
// giving their workers more; a worker that ends is reaped. A stop signal
// wakes it too.
void serve(const std::vector<batch_job>& jobs, std::vector<worker>* workers, tally* t)
{
    std::vector<pollfd> fds = {{stop_pipe[0], POLLIN, 0}};
    for (const worker& w : *workers)
        fds.push_back({w.reports, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0)
        return;
    char block[65536];
    if (fds[0].revents != 0)
        while (read(stop_pipe[0], block, sizeof block) > 0)
            continue;
    for (size_t i = workers->size(); i-- > 0;) {
        if (fds[i + 1].revents == 0)
            continue;
        worker& w = (*workers)[i];
        ssize_t got = read(w.reports, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got > 0) {
            w.bytes.append(block, size_t(got));
            for (export_report report; unpack(&w.bytes, &report);) {
                w.job = nullptr;
                finish(report, t, jobs.size());
                give_work(jobs, &w, t);
            }
            continue;
        }
        reap(&w, t, jobs.size());
        workers->erase(workers->begin() + ptrdiff_t(i));
    }
}

// The batch, its workers reaped, ended by the signal that stopped it, as
// make does, so that whoever started it sees why.
[[noreturn]] void end_by_stop_signal(const tally& t, size_t total)
{
    fflush(stdout);
    int number = stop_signal;
    fprintf(stderr, "aseview-export: stopped (%s): %zu of %zu models exported\n", strsignal(number), t.written,
            total);
    signal(number, SIG_DFL);
    raise(number);
    _exit(128 + number);
}

}  // namespace

std::vector<batch_job> batch_jobs(const std::string& out_dir, const std::vector<std::string>& inputs,
                                  std::vector<std::string>* errors)
{
    std::vector<planned_job> planned;
    for (const std::string& input : inputs) {
        std::error_code error;
        fs::file_status status = fs::status(input, error);
        if (fs::is_directory(status))
            add_folder(input, &planned, errors);
        else if (fs::exists(status))
            planned.push_back({input, fs::path(input).filename()});
        else
            errors->push_back(input + ": " + (error ? error.message() : "no such file"));
    }
    output_places places(out_dir, planned);
    std::vector<batch_job> jobs;
    for (const planned_job& p : planned) {
        std::string out = glb_path(out_dir, p.relative).string();
        std::string refusal = places.refusal(p, out);
        if (refusal.empty())
            jobs.push_back({p.model, out});
        else
            errors->push_back(p.model + ": " + refusal);
    }
    return jobs;
}

int run_batch(const std::vector<batch_job>& jobs, const export_options& options, int workers,
              int failed_before)
{
    // A worker that is gone fails its write, not the whole batch.
    signal(SIGPIPE, SIG_IGN);
    catch_stop_signals();
    tally t;
    t.failed = size_t(failed_before);
    t.progress = isatty(STDERR_FILENO);
    size_t most = workers_within_descriptors(workers);
    std::vector<worker> running;
    for (;;) {
        if (stop_signal != 0 && !t.stopping)
            stop_workers(&running, &t);
        // Workers that ended with jobs left are replaced.
        start_workers(jobs, options, &most, &running, &t);
        if (running.empty())
            break;
        serve(jobs, &running, &t);
    }
    if (t.progress)
        fputs("\r\033[K", stderr);
    size_t total = jobs.size() + size_t(failed_before);
    if (stop_signal != 0)
        end_by_stop_signal(t, total);
    printf("exported %zu of %zu models (%lld textures not found, %zu failed)\n", t.written, total, t.missing,
           t.failed);
    return t.failed == 0 ? 0 : 1;
}
