#include "export/batch.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

// A model's report as the child sends it to its parent: the missing count
// and the two texts' sizes, then the texts.
std::string pack(const export_report& report)
{
    size_t header[3] = {size_t(report.missing), report.out.size(), report.err.size()};
    return std::string(reinterpret_cast<const char*>(header), sizeof header) + report.out + report.err;
}

bool unpack(const std::string& bytes, export_report* report)
{
    size_t header[3];
    if (bytes.size() < sizeof header)
        return false;
    memcpy(header, bytes.data(), sizeof header);
    if (bytes.size() != sizeof header + header[1] + header[2])
        return false;
    report->missing = int(header[0]);
    report->out = bytes.substr(sizeof header, header[1]);
    report->err = bytes.substr(sizeof header + header[1]);
    return true;
}

void write_all(int fd, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote > 0)
            done += size_t(wrote);
        else if (wrote < 0 && errno != EINTR)
            return;
    }
}

// A model in a child of its own: its report down the pipe, its status out.
pid_t start_child(const batch_job& job, const export_options& options, int* pipe_out)
{
    int ends[2];
    if (pipe(ends) != 0)
        return -1;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        std::error_code ignored;
        fs::create_directories(fs::path(job.out).parent_path(), ignored);
        export_report report = export_model(job.model, job.out, options);
        write_all(ends[1], pack(report));
        _exit(report.ok ? 0 : 1);
    }
    close(ends[1]);
    if (pid < 0)
        close(ends[0]);
    *pipe_out = ends[0];
    return pid;
}

struct running {
    pid_t pid;
    int fd;
    const batch_job* job;
    std::string bytes;
};

struct tally {
    size_t done = 0, written = 0, failed = 0;
    long long missing = 0;
    bool progress = false;
};

void show_progress(const tally& t, size_t total)
{
    if (t.progress)
        fprintf(stderr, "\r\033[Kexporting: %zu of %zu models", t.done, total);
}

// The child's lines whole, its outcome counted.
void finish(running& child, tally* t, size_t total)
{
    close(child.fd);
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR)
        continue;
    export_report report;
    bool sent = unpack(child.bytes, &report);
    report.ok = sent && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!sent)
        report.err = "aseview-export: " + child.job->model + ": the export ended abnormally" +
                     (WIFSIGNALED(status) ? std::string(" (") + strsignal(WTERMSIG(status)) + ")" : "") + "\n";
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

// Reads what the children sent until one is done, then finishes it.
void wait_for_one(std::vector<running>* children, tally* t, size_t total)
{
    std::vector<pollfd> fds;
    for (const running& child : *children)
        fds.push_back({child.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0)
        return;
    for (size_t i = 0; i < fds.size(); i++) {
        if (fds[i].revents == 0)
            continue;
        char block[65536];
        ssize_t got = read(fds[i].fd, block, sizeof block);
        if (got > 0) {
            (*children)[i].bytes.append(block, size_t(got));
        } else if (got == 0 || errno != EINTR) {
            finish((*children)[i], t, total);
            children->erase(children->begin() + ptrdiff_t(i));
            return;
        }
    }
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
    return jobs;
}

int run_batch(const std::vector<batch_job>& jobs, const export_options& options, int workers,
              int failed_before)
{
    tally t;
    t.failed = size_t(failed_before);
    t.progress = isatty(STDERR_FILENO);
    std::vector<running> children;
    for (const batch_job& job : jobs) {
        while (int(children.size()) >= workers)
            wait_for_one(&children, &t, jobs.size());
        int fd;
        pid_t pid = start_child(job, options, &fd);
        if (pid < 0) {
            fprintf(stderr, "aseview-export: %s: %s\n", job.model.c_str(), strerror(errno));
            t.done++;
            t.failed++;
            continue;
        }
        children.push_back({pid, fd, &job, {}});
    }
    while (!children.empty())
        wait_for_one(&children, &t, jobs.size());
    if (t.progress)
        fputs("\r\033[K", stderr);
    printf("exported %zu of %zu models (%lld textures not found, %zu failed)\n", t.written,
           jobs.size() + size_t(failed_before), t.missing, t.failed);
    return t.failed == 0 ? 0 : 1;
}
