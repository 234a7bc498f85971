#include "bench_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

double SecondsSince(BenchClock::time_point start) {
    return std::chrono::duration<double>(BenchClock::now() - start).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

long long PeakMemoryOfChild(const std::function<bool()>& work) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
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
