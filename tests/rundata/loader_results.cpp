// What the loader makes of every run-data file the project holds: each file
// of the given directories, loaded through the solver library, gives one
// line: "FILE | refused | MESSAGE" or "FILE | loaded | COUNTS".  The lines
// are compared with a recorded list, so that a change to the loader that
// alters any result or message shows as a difference.
//
//   loader_results LIST DIRECTORY...          compare with LIST
//   loader_results --write LIST DIRECTORY...  record LIST
//
// File names are taken as given (relative to the working directory), so the
// list does not depend on where the tree is checked out.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "libs/tarn.h"

namespace fs = std::filesystem;

namespace {

// Standard error of `work`, which the loader must leave alone: it returns
// its error instead.
template <class Work>
std::string CaptureStderr(Work work) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    if (capture == nullptr) return "(cannot capture standard error)";
    const int saved = dup(2);
    dup2(fileno(capture), 2);
    work();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(capture);
    std::string text;
    for (int c; (c = std::fgetc(capture)) != EOF;) text += static_cast<char>(c);
    std::fclose(capture);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string Counts(CTARNSolutionReporting& reporting) {
    IVELDVariableSet* variables = nullptr;
    IVELDEquationSet* equations = nullptr;
    reporting.GetModelManager()->GetVariableSet(&variables);
    reporting.GetModelManager()->GetEquationSet(&equations);
    std::ostringstream out;
    out << variables->GetCount() << " variables, " << equations->GetCount() << " equations, "
        << reporting.GetIterationList()->GetCount() << " iterations, case "
        << reporting.GetCaseNumber();
    return out.str();
}

std::string Result(const std::string& file) {
    CTARNSolutionReporting reporting;
    int rc = 0;
    const std::string printed =
        CaptureStderr([&] { rc = reporting.ReadReportFile(file.c_str()); });
    const std::string said = printed.empty() ? std::string() : " | printed | " + printed;
    if (rc != 0) return file + " | refused | " + reporting.LoadProblem().Line() + said;
    return file + " | loaded | " + Counts(reporting) + said;
}

std::vector<std::string> Results(const std::vector<std::string>& directories) {
    std::vector<std::string> files;
    for (const std::string& directory : directories) {
        for (const auto& entry : fs::directory_iterator(directory)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && name != "cases.txt" && name != "CMakeLists.txt")
                files.push_back((fs::path(directory) / name).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> lines;
    for (const std::string& file : files) lines.push_back(Result(file));
    return lines;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    const bool write = argc > 1 && std::string(argv[1]) == "--write";
    const int first = write ? 2 : 1;
    if (argc < first + 2) {
        std::fprintf(stderr, "usage: loader_results [--write] LIST DIRECTORY...\n");
        return 2;
    }
    const std::string list = argv[first];
    const std::vector<std::string> lines =
        Results(std::vector<std::string>(argv + first + 1, argv + argc));
    if (write) {
        std::ofstream out(list, std::ios::binary);
        for (const std::string& line : lines) out << line << '\n';
        std::printf("%zu results written to %s\n", lines.size(), list.c_str());
        return out ? 0 : 1;
    }
    const std::vector<std::string> recorded = ReadLines(list);
    int differences = 0;
    for (size_t i = 0; i < std::max(lines.size(), recorded.size()); ++i) {
        const std::string now = i < lines.size() ? lines[i] : "(none)";
        const std::string before = i < recorded.size() ? recorded[i] : "(none)";
        if (now == before) continue;
        std::cout << "recorded: " << before << "\nnow:      " << now << "\n";
        ++differences;
    }
    std::printf("%zu files, %d differ from %s\n", lines.size(), differences, list.c_str());
    return differences == 0 ? 0 : 1;
}
