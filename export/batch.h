// Many models exported in one call by `workers` worker processes (the model
// store is one per process), each taking one model after another.
#pragma once
#include <string>
#include <vector>

#include "export/options.h"

struct batch_job {
    std::string model, out;
};

// The jobs for the inputs: a file goes to out_dir under its own name, every
// ".ase" file under a folder (any letter case, sorted) to out_dir at its path
// relative to that folder. The output folders are made here. An input that
// is neither is left out with its reason in *errors, and so is a model whose
// output would be an earlier model's (the same name in the same folder, by
// device and inode) or the same file as an input, or whose folder below
// out_dir is a symbolic link (never written through).
std::vector<batch_job> batch_jobs(const std::string& out_dir, const std::vector<std::string>& inputs,
                                  std::vector<std::string>* errors);
// Runs the jobs, printing each model's lines whole as it ends (a model
// whose worker dies fails, and a new worker takes the rest), a progress
// line when standard error is a terminal, and the closing count. The
// workers are as many as asked and the descriptor limit allows, fewer when
// one cannot be started. The exit status: 0 when every model was written,
// else 1. SIGTERM, SIGINT or SIGHUP stops the workers, and the process then
// ends by that signal; a worker ends when its parent does.
int run_batch(const std::vector<batch_job>& jobs, const export_options& options, int workers,
              int failed_before);
