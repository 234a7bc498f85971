#include "bench_support.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "TARNReport.h"

extern char** environ;

double SecondsSince(BenchClock::time_point start) {
    return std::chrono::duration<double>(BenchClock::now() - start).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool UsageOfChild(const std::function<bool()>& work, struct rusage& usage) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    return wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long long PeakMemoryOfChild(const std::function<bool()>& work) {
    struct rusage usage {};
    if (!UsageOfChild(work, usage)) return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

bool WriteLongTextRun(const std::string& path, const std::string& before, size_t bytes,
                      const std::string& after) {
    std::ofstream out(path, std::ios::binary);
    out << before;
    std::string block;
    const std::string line = std::string(62, 't') + "\\n";
    while (block.size() < (size_t{1} << 20)) block += line;
    for (size_t left = bytes; left > 0;) {
        const size_t part = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(part));
        left -= part;
    }
    out << after;
    return static_cast<bool>(out);
}

bool ParseShapeArguments(int argc, char** argv, SyntheticRunShape& shape, int& runs) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const int number = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--variables") == 0) shape.variables = number;
        else if (std::strcmp(argv[i], "--equations") == 0) shape.equations = number;
        else if (std::strcmp(argv[i], "--iterations") == 0) shape.iterations = number;
        else if (std::strcmp(argv[i], "--runs") == 0) runs = number;
        else if (std::strcmp(argv[i], "--seed") == 0) shape.seed = static_cast<std::uint32_t>(number);
        else return false;
    }
    return argc % 2 == 1 && runs > 0 && shape.iterations > 0;
}

bool ParseBenchArguments(const char* name, int argc, char** argv, SyntheticRunShape& shape, int& runs) {
    if (ParseShapeArguments(argc, argv, shape, runs)) return true;
    std::fprintf(stderr, "usage: %s [--variables N] [--equations N] [--iterations N] [--seed N] [--runs N]\n",
                 name);
    return false;
}

bool RunProgram(const std::vector<std::string>& arguments, std::string& output) {
    int pipeEnds[2];
    if (arguments.empty() || pipe(pipeEnds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    return spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SyntheticReport::SyntheticReport(const char* program, const SyntheticRunShape& shape) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / (std::string("tarn-") + program + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    m_directory = directory.string();
    const std::string base = (directory / "synthetic").string();
    m_path = base + ".log";
    std::printf("writing the run and its report (%d variables, %d equations, %d iterations)...\n", shape.variables,
                shape.equations, shape.iterations);
    std::fflush(stdout);
    m_written = WriteSyntheticRun(base + ".vdr", shape) && CreateUQExecutionReport(base.c_str()) == 0;
    std::error_code ignored;
    std::filesystem::remove(base + ".vdr", ignored);
    if (!m_written) {
        std::fprintf(stderr, "%s: cannot write the report in %s\n", program, m_directory.c_str());
        return;
    }
    std::printf("report: %.1f MB\n", bytes() / 1e6);
    std::fflush(stdout);
}

SyntheticReport::~SyntheticReport() {
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

double SyntheticReport::bytes() const {
    std::error_code ignored;
    return static_cast<double>(std::filesystem::file_size(m_path, ignored));
}
