#include "export/batch.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

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

// Every regular ".ase" file under the folder, symbolic links to folders not
// followed (they may loop), in a stable order.
void add_folder(const fs::path& out_dir, const fs::path& folder, std::vector<batch_job>* jobs,
                std::vector<std::string>* errors)
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
        jobs->push_back({path.string(), glb_path(out_dir, path.lexically_relative(folder)).string()});
}

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

// Exports the jobs whose numbers come down `jobs`, each report sent up
// `reports`, until the parent closes the pipe.
[[noreturn]] void work(const std::vector<batch_job>& all, const export_options& options, int jobs, int reports)
{
    uint32_t i;
    game_tree_cache trees;
    while (read(jobs, &i, sizeof i) == ssize_t(sizeof i) && i < all.size()) {
        std::error_code ignored;
        fs::create_directories(fs::path(all[i].out).parent_path(), ignored);
        std::string report = pack(export_model(all[i].model, all[i].out, options, &trees));
        if (write_all(reports, report.data(), report.size()) != 0)
            break;
    }
    _exit(0);
}

// Starts a worker; false, with errno, when it cannot be had.
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
    pid_t pid = fork();
    if (pid == 0) {
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

struct tally {
    size_t next = 0;  // the first job not yet given out
    size_t done = 0, written = 0, failed = 0;
    long long missing = 0;
    bool progress = false;
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

// The next job to an idle worker, or, when none is left, the end of its
// pipe, which lets it go.
void give_work(const std::vector<batch_job>& jobs, worker* w, tally* t)
{
    if (t->next == jobs.size()) {
        if (w->jobs >= 0)
            close(w->jobs);
        w->jobs = -1;
        return;
    }
    uint32_t i = uint32_t(t->next++);
    w->job = &jobs[i];
    // A worker that is gone is found by its reports' end.
    write_all(w->jobs, &i, sizeof i);
}

// A worker whose reports ended: gone, its job (if it had one) failed.
void reap(worker* w, tally* t, size_t total)
{
    close(w->reports);
    if (w->jobs >= 0)
        close(w->jobs);
    int status = 0;
    while (waitpid(w->pid, &status, 0) < 0 && errno == EINTR)
        continue;
    if (w->job == nullptr)
        return;
    export_report report;
    report.err = "aseview-export: " + w->job->model + ": the export ended abnormally" +
                 (WIFSIGNALED(status) ? std::string(" (") + strsignal(WTERMSIG(status)) + ")" : "") + "\n";
    finish(report, t, total);
}

// A new worker given the next job; when none can be started, that job
// fails with the reason.
void start_and_feed(const std::vector<batch_job>& jobs, const export_options& options,
                    std::vector<worker>* workers, tally* t)
{
    worker w;
    if (!start_worker(jobs, options, *workers, &w)) {
        export_report report;
        report.err = "aseview-export: " + jobs[t->next++].model + ": " + strerror(errno) + "\n";
        finish(report, t, jobs.size());
        return;
    }
    give_work(jobs, &w, t);
    workers->push_back(std::move(w));
}

// Reads what the workers sent, finishing the reports that are whole and
// giving their workers more; a worker that ends is reaped.
void serve(const std::vector<batch_job>& jobs, std::vector<worker>* workers, tally* t)
{
    std::vector<pollfd> fds;
    for (const worker& w : *workers)
        fds.push_back({w.reports, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0)
        return;
    for (size_t i = fds.size(); i-- > 0;) {
        if (fds[i].revents == 0)
            continue;
        worker& w = (*workers)[i];
        char block[65536];
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

// Two models that would be written to one file (two folders given with the
// same model under them, say): the later is refused rather than written
// over the earlier.
void refuse_shared_outputs(std::vector<batch_job>* jobs, std::vector<std::string>* errors)
{
    std::map<std::string, std::string> first_model;  // by output
    std::vector<batch_job> kept;
    for (batch_job& job : *jobs) {
        auto [first, added] = first_model.emplace(fs::path(job.out).lexically_normal().string(), job.model);
        if (added)
            kept.push_back(std::move(job));
        else
            errors->push_back(job.model + ": " + job.out + " is already the export of " + first->second);
    }
    jobs->swap(kept);
}

}  // namespace

std::vector<batch_job> batch_jobs(const std::string& out_dir, const std::vector<std::string>& inputs,
                                  std::vector<std::string>* errors)
{
    std::vector<batch_job> jobs;
    for (const std::string& input : inputs) {
        std::error_code error;
        fs::file_status status = fs::status(input, error);
        if (fs::is_directory(status))
            add_folder(out_dir, input, &jobs, errors);
        else if (fs::exists(status))
            jobs.push_back({input, glb_path(out_dir, fs::path(input).filename()).string()});
        else
            errors->push_back(input + ": " + (error ? error.message() : "no such file"));
    }
    refuse_shared_outputs(&jobs, errors);
    return jobs;
}

int run_batch(const std::vector<batch_job>& jobs, const export_options& options, int workers,
              int failed_before)
{
    // A worker that is gone fails its write, not the whole batch.
    signal(SIGPIPE, SIG_IGN);
    tally t;
    t.failed = size_t(failed_before);
    t.progress = isatty(STDERR_FILENO);
    std::vector<worker> running;
    for (;;) {
        // Workers that ended with jobs left are replaced.
        while (int(running.size()) < workers && t.next < jobs.size())
            start_and_feed(jobs, options, &running, &t);
        if (running.empty())
            break;
        serve(jobs, &running, &t);
    }
    if (t.progress)
        fputs("\r\033[K", stderr);
    printf("exported %zu of %zu models (%lld textures not found, %zu failed)\n", t.written,
           jobs.size() + size_t(failed_before), t.missing, t.failed);
    return t.failed == 0 ? 0 : 1;
}
