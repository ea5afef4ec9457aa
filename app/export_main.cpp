// aseview-export: ASE models as glTF 2.0 binaries, textured as the model
// view shows them.
#include <getopt.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/batch.h"
#include "export/export_model.h"

static const char usage[] =
    "usage: aseview-export [--scale F] [--all-surfaces] [--plain] MODEL.ase [OUT.glb]\n"
    "       aseview-export [--scale F] [--all-surfaces] [--plain] [-j N] -o DIR MODEL_OR_FOLDER...\n";

static int usage_error()
{
    fputs(usage, stderr);
    return 2;
}

static bool parse_number(const char* text, double* value)
{
    char* end;
    *value = strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

static int export_one(const std::string& model, const std::string& out, const export_options& options)
{
    export_report report = export_model(model, out, options);
    fputs(report.out.c_str(), stdout);
    fflush(stdout);
    fputs(report.err.c_str(), stderr);
    return report.ok ? 0 : 1;
}

static int export_many(const std::string& out_dir, const std::vector<std::string>& inputs,
                       const export_options& options, int workers)
{
    std::vector<std::string> errors;
    std::vector<batch_job> jobs = batch_jobs(out_dir, inputs, &errors);
    for (const std::string& error : errors)
        fprintf(stderr, "aseview-export: %s\n", error.c_str());
    return run_batch(jobs, options, workers, int(errors.size()));
}

int main(int argc, char** argv)
{
    // Past a file size limit a write fails with EFBIG and the half file is
    // removed, rather than the process being killed beside it.
    signal(SIGXFSZ, SIG_IGN);
    enum { scale_option = 256, all_surfaces_option, plain_option };
    static const option long_options[] = {{"scale", required_argument, nullptr, scale_option},
                                          {"all-surfaces", no_argument, nullptr, all_surfaces_option},
                                          {"plain", no_argument, nullptr, plain_option},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    export_options options;
    std::string out_dir;
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    int workers = cores > 0 ? int(cores) : 1;
    double number;
    for (int c; (c = getopt_long(argc, argv, "o:j:h", long_options, nullptr)) != -1;) {
        if (c == 'h') {
            fputs(usage, stdout);
            return 0;
        } else if (c == 'o' && *optarg) {
            out_dir = optarg;
        } else if (c == 'j' && parse_number(optarg, &number) && number >= 1 && number <= 1024 &&
                   number == std::floor(number)) {
            workers = int(number);
        } else if (c == scale_option && parse_number(optarg, &number) && number > 0 &&
                   std::isfinite(float(number))) {
            options.scale = float(number);
        } else if (c == all_surfaces_option) {
            options.all_surfaces = true;
        } else if (c == plain_option) {
            options.plain = true;
        } else {
            return usage_error();
        }
    }
    std::vector<std::string> inputs(argv + optind, argv + argc);
    if (!out_dir.empty())
        return inputs.empty() ? usage_error() : export_many(out_dir, inputs, options, workers);
    if (inputs.empty() || inputs.size() > 2)
        return usage_error();
    return export_one(inputs[0], inputs.size() == 2 ? inputs[1] : glb_name(inputs[0]), options);
}
