// Solves a tarnslp model file with Ipopt (exact Hessian: the models are
// bilinear) from the model's own start values, for checking tarnslp's
// verdicts and optima against a solver written elsewhere.
//
//     ipopt_driver MODEL.json
//
// prints one JSON line: {"status": "optimal" | "infeasible" | "other",
// "code": N, "objective": F, "iterations": N, "violation": V, "point": [X...]},
// the point in the model's order of variables.
#include <IpIpoptApplication.hpp>
#include <IpSolveStatistics.hpp>
#include <IpTNLP.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "model.h"

namespace {

using Ipopt::Index;
using Ipopt::Number;

constexpr double kIpoptInfinity = 1e19;

double Bound(double value) { return std::clamp(value, -kIpoptInfinity, kIpoptInfinity); }

double Violation(const slp::Constraint& c, double activity) {
    switch (c.type) {
        case slp::RowType::LessEqual: return std::max(0.0, activity - c.rhs);
        case slp::RowType::GreaterEqual: return std::max(0.0, c.rhs - activity);
        case slp::RowType::Equal: return std::fabs(activity - c.rhs);
    }
    return 0;
}

class ModelProblem : public Ipopt::TNLP {
public:
    explicit ModelProblem(const slp::Model& model) : m_model(model), m_sign(model.maximize ? -1 : 1) {}

    bool get_nlp_info(Index& n, Index& m, Index& jacobian, Index& hessian, IndexStyleEnum& style) override {
        n = static_cast<Index>(m_model.variables.size());
        m = static_cast<Index>(m_model.constraints.size());
        jacobian = 0;
        for (const slp::Constraint& c : m_model.constraints)
            jacobian += static_cast<Index>(c.expression.linear.size() + 2 * c.expression.bilinear.size());
        hessian = static_cast<Index>(m_model.objective.bilinear.size());
        for (const slp::Constraint& c : m_model.constraints) hessian += static_cast<Index>(c.expression.bilinear.size());
        style = C_STYLE;
        return true;
    }

    bool get_bounds_info(Index n, Number* xl, Number* xu, Index m, Number* gl, Number* gu) override {
        for (Index j = 0; j < n; ++j) {
            xl[j] = Bound(m_model.variables[static_cast<size_t>(j)].lower);
            xu[j] = Bound(m_model.variables[static_cast<size_t>(j)].upper);
        }
        for (Index i = 0; i < m; ++i) {
            const slp::Constraint& c = m_model.constraints[static_cast<size_t>(i)];
            gl[i] = c.type == slp::RowType::LessEqual ? -kIpoptInfinity : c.rhs;
            gu[i] = c.type == slp::RowType::GreaterEqual ? kIpoptInfinity : c.rhs;
        }
        return true;
    }

    bool get_starting_point(Index n, bool, Number* x, bool, Number*, Number*, Index, bool, Number*) override {
        for (Index j = 0; j < n; ++j) {
            const slp::VariableSpec& v = m_model.variables[static_cast<size_t>(j)];
            x[j] = std::clamp(v.start, v.lower, v.upper);
        }
        return true;
    }

    bool eval_f(Index n, const Number* x, bool, Number& f) override {
        f = m_sign * m_model.objective.Value(Point(n, x));
        return true;
    }

    bool eval_grad_f(Index n, const Number* x, bool, Number* gradient) override {
        std::fill(gradient, gradient + n, 0.0);
        for (const slp::Term& t : m_model.objective.linear) gradient[t.variable] += m_sign * t.coefficient;
        for (const slp::Bilinear& t : m_model.objective.bilinear) {
            gradient[t.first] += m_sign * t.coefficient * x[t.second];
            gradient[t.second] += m_sign * t.coefficient * x[t.first];
        }
        return true;
    }

    bool eval_g(Index n, const Number* x, bool, Index m, Number* g) override {
        const std::vector<double> point = Point(n, x);
        for (Index i = 0; i < m; ++i) g[i] = m_model.constraints[static_cast<size_t>(i)].expression.Value(point);
        return true;
    }

    bool eval_jac_g(Index, const Number* x, bool, Index m, Index, Index* rows, Index* columns,
                    Number* values) override {
        Index k = 0;
        for (Index i = 0; i < m; ++i) {
            const slp::Expression& e = m_model.constraints[static_cast<size_t>(i)].expression;
            for (const slp::Term& t : e.linear) {
                if (values == nullptr) rows[k] = i, columns[k] = t.variable;
                else values[k] = t.coefficient;
                ++k;
            }
            for (const slp::Bilinear& t : e.bilinear) {
                if (values == nullptr) {
                    rows[k] = i, columns[k] = t.first;
                    rows[k + 1] = i, columns[k + 1] = t.second;
                } else {
                    values[k] = t.coefficient * x[t.second];
                    values[k + 1] = t.coefficient * x[t.first];
                }
                k += 2;
            }
        }
        return true;
    }

    bool eval_h(Index, const Number*, bool, Number factor, Index m, const Number* lambda, bool,
                Index, Index* rows, Index* columns, Number* values) override {
        Index k = 0;
        auto add = [&](const slp::Bilinear& t, double weight) {
            if (values == nullptr) {
                rows[k] = std::max(t.first, t.second);
                columns[k] = std::min(t.first, t.second);
            } else {
                values[k] = weight * t.coefficient * (t.first == t.second ? 2 : 1);
            }
            ++k;
        };
        for (const slp::Bilinear& t : m_model.objective.bilinear) add(t, values ? factor * m_sign : 0);
        for (Index i = 0; i < m; ++i)
            for (const slp::Bilinear& t : m_model.constraints[static_cast<size_t>(i)].expression.bilinear)
                add(t, values ? lambda[i] : 0);
        return true;
    }

    void finalize_solution(Ipopt::SolverReturn, Index n, const Number* x, const Number*, const Number*, Index,
                           const Number*, const Number*, Number, const Ipopt::IpoptData*,
                           Ipopt::IpoptCalculatedQuantities*) override {
        m_solution = Point(n, x);
    }

    const std::vector<double>& Solution() const { return m_solution; }

private:
    static std::vector<double> Point(Index n, const Number* x) { return std::vector<double>(x, x + n); }

    const slp::Model& m_model;
    double m_sign;
    std::vector<double> m_solution;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ipopt_driver MODEL.json\n");
        return 2;
    }
    try {
        const slp::Model model = slp::ReadModel(argv[1]);
        Ipopt::SmartPtr<ModelProblem> problem = new ModelProblem(model);
        Ipopt::SmartPtr<Ipopt::IpoptApplication> app = IpoptApplicationFactory();
        app->Options()->SetIntegerValue("print_level", 0);
        app->Options()->SetStringValue("sb", "yes");
        app->Options()->SetNumericValue("tol", 1e-10);
        app->Options()->SetIntegerValue("max_iter", 1000);
        app->Options()->SetNumericValue("bound_relax_factor", 0);
        app->Options()->SetStringValue("hessian_approximation", "exact");
        if (app->Initialize() != Ipopt::Solve_Succeeded) return 1;
        const Ipopt::ApplicationReturnStatus status = app->OptimizeTNLP(problem);
        const char* word = status == Ipopt::Solve_Succeeded || status == Ipopt::Solved_To_Acceptable_Level
                               ? "optimal"
                           : status == Ipopt::Infeasible_Problem_Detected ? "infeasible"
                                                                          : "other";
        const std::vector<double>& x = problem->Solution();
        double violation = 0;
        for (const slp::Constraint& c : model.constraints)
            violation = std::max(violation, Violation(c, c.expression.Value(x)));
        const int iterations = IsValid(app->Statistics()) ? app->Statistics()->IterationCount() : -1;
        std::printf("{\"status\": \"%s\", \"code\": %d, \"objective\": %.17g, \"iterations\": %d, \"violation\": %.17g, "
                    "\"point\": [",
                    word, static_cast<int>(status), x.empty() ? 0.0 : model.objective.Value(x), iterations, violation);
        for (size_t j = 0; j < x.size(); ++j) std::printf("%s%.17g", j == 0 ? "" : ", ", x[j]);
        std::printf("]}\n");
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ipopt_driver: %s\n", error.what());
        return 1;
    }
}
