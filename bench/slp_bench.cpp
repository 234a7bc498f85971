// tarnslp on the generated refinery at several sizes, against Ipopt (the
// test tree's ipopt_driver, exact Hessian) on the same models: CPU seconds,
// major iterations, CPU per iteration, and that per iteration as a ratio to
// a floor run in this process (one cold CLP solve of the first LP).
//
//     slp_bench [--ipopt PATH [--ipopt-up-to PERIODS]] [PERIODS...]   (24 120 480 by default)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ClpSimplex.hpp>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "linearisation.h"
#include "model.h"
#include "solver.h"

namespace {

class Discard : public slp::IterationSink {
public:
    void Record(const slp::IterationRecord&) override {}
};

double ProcessSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// One cold solve of the model's first LP, from a slack basis.
double FloorSeconds(const slp::Model& model) {
    const std::vector<bool> boxed = slp::NonlinearVariables(model);
    slp::Linearisation lp(model, boxed);
    std::vector<double> x;
    for (size_t j = 0; j < model.variables.size(); ++j) {
        const slp::VariableSpec& v = model.variables[j];
        x.push_back(v.start);
        lp.SetColumnBounds(static_cast<int>(j), v.lower, v.upper);
    }
    for (int k = 0; k < lp.SlackCount(); ++k) lp.SetSlackBound(k, 1e6);
    lp.Expand(model, x, model.maximize ? -1.0 : 1.0, 10.0);
    const double start = ProcessSeconds();
    lp.Solve();
    return ProcessSeconds() - start;
}

// The ipopt driver's CPU seconds and its output line.
double IpoptSeconds(const std::string& driver, const std::string& modelFile, std::string& line) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        execl(driver.c_str(), driver.c_str(), modelFile.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) line.append(buffer, static_cast<size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
    std::string ipopt;
    int ipoptPeriods = 1 << 30;  // every size by default; --ipopt-up-to leaves the larger ones to tarnslp
    std::vector<int> periods;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ipopt") == 0 && i + 1 < argc) ipopt = argv[++i];
        else if (std::strcmp(argv[i], "--ipopt-up-to") == 0 && i + 1 < argc) ipoptPeriods = std::atoi(argv[++i]);
        else periods.push_back(std::atoi(argv[i]));
    }
    if (periods.empty()) periods = {24, 120, 480};
    std::printf("| periods | variables | tarnslp CPU s | iterations | s/iteration | /floor | outcome | Ipopt CPU s | Ipopt |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (int count : periods) {
        // The model as tarnslp runs it: written to its file and read back.
        const std::string file = "/tmp/slp_bench_refinery_" + std::to_string(getpid()) + ".json";
        {
            std::ofstream out(file);
            slp::WriteModel(slp::RefineryModel(count), out);
        }
        const slp::Model model = slp::ReadModel(file);
        const double floor = FloorSeconds(model);
        Discard discard;
        const slp::SolverOptions options;
        const double start = ProcessSeconds();
        const slp::Result result = slp::Solve(model, options, discard);
        const double seconds = ProcessSeconds() - start;
        const double perIteration = seconds / std::max(1, result.majorIterations);
        std::string ipoptLine = "-";
        double ipoptSeconds = 0;
        if (!ipopt.empty() && count <= ipoptPeriods) {
            ipoptLine.clear();
            ipoptSeconds = IpoptSeconds(ipopt, file, ipoptLine);
        }
        std::remove(file.c_str());
        std::printf("| %d | %zu | %.2f | %d | %.4f | %.1f | %s | %.2f | %s |\n", count, model.variables.size(), seconds,
                    result.majorIterations, perIteration, perIteration / std::max(floor, 1e-9),
                    slp::OutcomeLine(result).c_str(), ipoptSeconds, ipoptLine.c_str());
        std::fflush(stdout);
    }
    return 0;
}
