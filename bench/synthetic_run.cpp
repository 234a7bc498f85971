#include "synthetic_run.h"

#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

struct ClosesFile {
    void operator()(FILE* file) const { std::fclose(file); }
};

class RunWriter {
public:
    RunWriter(FILE* file, const SyntheticRunShape& shape)
        : m_file(file), m_shape(shape), m_random(shape.seed) {}

    void Write() {
        std::fputs("{\"format\": \"tarn-vdr\", \"version\": 1,\n", m_file);
        std::fputs("\"case\": {\"number\": 12000, \"description\": \"synthetic run\", "
                   "\"date\": \"Thu Jan  1 00:00:00 2026\", \"status\": \"Iteration limit\"},\n",
                   m_file);
        std::fputs("\"model\": {\"name\": \"SYNTHETIC\",\n\"variables\": [\n", m_file);
        WriteVariables();
        std::fputs("],\n\"equations\": [\n", m_file);
        WriteEquations();
        std::fputs("],\n\"matrix\": [\n", m_file);
        WriteMatrix();
        std::fputs("],\n\"options\": {\"MININFTR\": \"AUTO\"}},\n", m_file);
        std::fputs("\"solver\": {\"options\": {\"ITERLIM\": 50}},\n", m_file);
        std::fputs("\"lp\": {\"status\": 1},\n\"iterations\": [\n", m_file);
        for (int k = 0; k < m_shape.iterations; ++k) WriteIteration(k);
        std::fputs("]}\n", m_file);
    }

private:
    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(m_random);
    }

    void WriteVariables() {
        for (int j = 0; j < m_shape.variables; ++j) {
            const int kind = j % 10;
            std::fprintf(m_file, "%s{\"name\": \"%sV%07d\"", j ? ",\n" : "", kind == 3 ? "Q" : "", j);
            if (kind == 1) std::fputs(", \"lower\": \"-inf\"", m_file);
            if (kind == 5)
                std::fputs(", \"type\": 2, \"upper\": 1", m_file);
            else if (kind != 2)
                std::fprintf(m_file, ", \"upper\": %d", 10 + j % 90);
            if (kind == 4) std::fputs(", \"status\": 3", m_file);
            std::fputs("}", m_file);
        }
    }

    void WriteEquations() {
        for (int i = 0; i < m_shape.equations; ++i)
            std::fprintf(m_file, "%s{\"name\": \"E%07d\", \"type\": %d%s, \"diag\": %.6g}",
                         i ? ",\n" : "", i, 1 + i % 4, i % 3 == 0 ? ", \"nonlinear\": true" : "",
                         i % 17 == 0 ? Uniform(-1, 1) : 0.0);
    }

    void WriteMatrix() {
        bool first = true;
        for (int i = 0; i < m_shape.equations && m_shape.variables > 0; ++i) {
            std::set<int> columns;
            for (int e = 0; e < m_shape.entriesPerEquation; ++e)
                columns.insert(1 + static_cast<int>(m_random() % static_cast<unsigned>(m_shape.variables)));
            for (int column : columns) {
                std::fprintf(m_file, "%s[%d, %d, %.4g]", first ? "" : ",\n", i + 1, column,
                             Uniform(-5, 5));
                first = false;
            }
        }
    }

    void WriteIteration(int k) {
        const double shrink = 1.0 / (1 + k);
        const double infeasibility = k + 1 == m_shape.iterations ? 0.5 : 10.0 * shrink;
        std::fprintf(m_file,
                     "%s{\"infeasibility\": %.6g, \"objective\": %.8g, "
                     "\"objective_convergence\": %.6g, \"residual_convergence\": %.6g, "
                     "\"variable_convergence\": %.6g, \"nonlinearity_ratio\": %.6g, "
                     "\"most_infeasible\": \"E%07d\",\n",
                     k ? ",\n" : "", infeasibility, 1000.0 + k, shrink, shrink / 2, shrink / 3,
                     0.5 * shrink, k % (m_shape.equations > 0 ? m_shape.equations : 1));
        if (k % 5 == 1) std::fputs("\"warnings\": [\"step bounds reduced\"],\n", m_file);
        std::fputs("\"variables\": [", m_file);
        for (int j = 0; j < m_shape.variables; ++j) {
            const double step = j % 10 == 6 ? 1e20 : Uniform(0, 2) * shrink;
            std::fprintf(m_file, "%s[%.6g, %.6g, %.4g]", j ? "," : "", Uniform(0, 10), step,
                         j % 4 == 0 ? Uniform(-3, 3) : 0.0);
        }
        std::fputs("],\n\"equations\": [", m_file);
        for (int i = 0; i < m_shape.equations; ++i)
            std::fprintf(m_file, "%s[%.6g, %.4g, %.6g]", i ? "," : "", Uniform(-1, 1) * shrink,
                         Uniform(-5, 5), i % 3 == 0 ? Uniform(0, 0.1) * shrink : 0.0);
        std::fputs("]}", m_file);
    }

    FILE* m_file;
    SyntheticRunShape m_shape;
    std::mt19937 m_random;
};

}  // namespace

bool WriteSyntheticRun(const std::string& path, const SyntheticRunShape& shape) {
    std::unique_ptr<FILE, ClosesFile> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    std::vector<char> buffer(1 << 20);
    std::setvbuf(file.get(), buffer.data(), _IOFBF, buffer.size());
    RunWriter(file.get(), shape).Write();
    return std::fflush(file.get()) == 0 && !std::ferror(file.get());
}
