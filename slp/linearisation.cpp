// The LP of an SLP iteration on one CLP model.
#include "linearisation.h"

#include <CoinPackedMatrix.hpp>

#include <cmath>
#include <memory>
#include <stdexcept>

namespace slp {
namespace {

double ClpBound(double bound) {
    if (bound >= COIN_DBL_MAX) return COIN_DBL_MAX;
    if (bound <= -COIN_DBL_MAX) return -COIN_DBL_MAX;
    return bound;
}

}  // namespace

Linearisation::Linearisation(const Model& model, const std::vector<bool>& boxed) {
    const int n = static_cast<int>(model.variables.size());
    m_rows = static_cast<int>(model.constraints.size());
    m_layout.resize(static_cast<size_t>(m_rows));
    std::vector<int> lastRow(static_cast<size_t>(n), -1), perColumn(static_cast<size_t>(n), 0);
    std::vector<bool> slacked(static_cast<size_t>(m_rows), false);
    for (int i = 0; i < m_rows; ++i) {
        const Expression& e = model.constraints[static_cast<size_t>(i)].expression;
        auto note = [&](int variable) {
            if (boxed[static_cast<size_t>(variable)]) slacked[static_cast<size_t>(i)] = true;
            if (lastRow[static_cast<size_t>(variable)] == i) return;
            lastRow[static_cast<size_t>(variable)] = i;
            m_layout[static_cast<size_t>(i)].variables.push_back(variable);
            ++perColumn[static_cast<size_t>(variable)];
        };
        for (const Term& term : e.linear) note(term.variable);
        for (const Bilinear& term : e.bilinear) {
            note(term.first);
            note(term.second);
        }
    }
    for (int i = 0; i < m_rows; ++i) {
        if (!slacked[static_cast<size_t>(i)]) continue;
        const RowType type = model.constraints[static_cast<size_t>(i)].type;
        if (type != RowType::LessEqual) m_slackRow.push_back(i);   // +1: lifts a row below its right-hand side
        if (type != RowType::GreaterEqual) m_slackRow.push_back(~i);  // -1, marked by complement
    }
    m_columns = n + static_cast<int>(m_slackRow.size());
    std::vector<CoinBigIndex> start(static_cast<size_t>(m_columns) + 1, 0);
    for (int j = 0; j < n; ++j) start[static_cast<size_t>(j) + 1] = start[static_cast<size_t>(j)] + perColumn[static_cast<size_t>(j)];
    for (int k = n; k < m_columns; ++k) start[static_cast<size_t>(k) + 1] = start[static_cast<size_t>(k)] + 1;
    std::vector<int> index(static_cast<size_t>(start.back()));
    std::vector<double> value(static_cast<size_t>(start.back()), 1.0);
    std::vector<CoinBigIndex> fill(start.begin(), start.end() - 1);
    std::vector<int> position(static_cast<size_t>(n), -1);
    for (int i = 0; i < m_rows; ++i) {
        RowLayout& layout = m_layout[static_cast<size_t>(i)];
        for (int variable : layout.variables) {
            const CoinBigIndex at = fill[static_cast<size_t>(variable)]++;
            index[static_cast<size_t>(at)] = i;
            layout.positions.push_back(static_cast<int>(at));
            position[static_cast<size_t>(variable)] = static_cast<int>(at);
        }
        const Expression& e = model.constraints[static_cast<size_t>(i)].expression;
        for (const Term& term : e.linear) layout.linearPositions.push_back(position[static_cast<size_t>(term.variable)]);
        for (const Bilinear& term : e.bilinear) {
            layout.bilinearPositions.push_back(position[static_cast<size_t>(term.first)]);
            layout.bilinearPositions.push_back(position[static_cast<size_t>(term.second)]);
        }
    }
    for (size_t k = 0; k < m_slackRow.size(); ++k) {
        const int row = m_slackRow[k];
        const size_t at = static_cast<size_t>(start[static_cast<size_t>(n) + k]);
        index[at] = row >= 0 ? row : ~row;
        value[at] = row >= 0 ? 1.0 : -1.0;
        m_slackRow[k] = row >= 0 ? row : ~row;
    }
    std::vector<double> columnLower(static_cast<size_t>(m_columns), 0.0), columnUpper(static_cast<size_t>(m_columns), 0.0);
    std::vector<double> cost(static_cast<size_t>(m_columns), 0.0);
    std::vector<double> rowLower(static_cast<size_t>(m_rows), 0.0), rowUpper(static_cast<size_t>(m_rows), 0.0);
    m_lp.setLogLevel(0);
    m_lp.setPrimalTolerance(1e-9);
    m_lp.setDualTolerance(1e-9);
    m_lp.loadProblem(m_columns, m_rows, start.data(), index.data(), value.data(), columnLower.data(),
                     columnUpper.data(), cost.data(), rowLower.data(), rowUpper.data());
    m_start = std::move(start);
    m_index = std::move(index);
    m_element = std::move(value);
    m_length.resize(static_cast<size_t>(m_columns));
    for (size_t j = 0; j < m_length.size(); ++j) m_length[j] = static_cast<int>(m_start[j + 1] - m_start[j]);
    m_gradient.assign(static_cast<size_t>(n), 0.0);
}

void Linearisation::SetColumnBounds(int column, double lower, double upper) {
    m_lp.columnLower()[column] = ClpBound(lower);
    m_lp.columnUpper()[column] = ClpBound(upper);
}

void Linearisation::SetSlackBound(int slack, double upper) {
    const int column = m_columns - SlackCount() + slack;
    m_lp.columnLower()[column] = 0;
    m_lp.columnUpper()[column] = ClpBound(upper);
    m_slacksBounded = true;
}

void Linearisation::FreeSlacks() {
    for (int column = m_columns - SlackCount(); column < m_columns; ++column) m_lp.columnUpper()[column] = COIN_DBL_MAX;
    m_slacksBounded = false;
}

void Linearisation::SetSlackCosts(double cost) {
    for (int column = m_columns - SlackCount(); column < m_columns; ++column) m_lp.objective()[column] = cost;
}

void Linearisation::Expand(const Model& model, const std::vector<double>& x, double objectiveFactor,
                           double slackCost) {
    double* element = m_element.data();
    m_elementsChanged = true;
    for (int i = 0; i < m_rows; ++i) {
        const RowLayout& layout = m_layout[static_cast<size_t>(i)];
        const Constraint& c = model.constraints[static_cast<size_t>(i)];
        for (int at : layout.positions) element[at] = 0;
        for (size_t t = 0; t < c.expression.linear.size(); ++t)
            element[layout.linearPositions[t]] += c.expression.linear[t].coefficient;
        for (size_t t = 0; t < c.expression.bilinear.size(); ++t) {
            const Bilinear& term = c.expression.bilinear[t];
            element[layout.bilinearPositions[2 * t]] += term.coefficient * x[static_cast<size_t>(term.second)];
            element[layout.bilinearPositions[2 * t + 1]] += term.coefficient * x[static_cast<size_t>(term.first)];
        }
        double rhs = c.rhs - c.expression.Value(x);
        for (size_t k = 0; k < layout.variables.size(); ++k)
            rhs += element[layout.positions[k]] * x[static_cast<size_t>(layout.variables[k])];
        m_lp.rowLower()[i] = c.type == RowType::LessEqual ? -COIN_DBL_MAX : rhs;
        m_lp.rowUpper()[i] = c.type == RowType::GreaterEqual ? COIN_DBL_MAX : rhs;
    }
    const size_t n = x.size();
    std::fill(m_gradient.begin(), m_gradient.end(), 0.0);
    for (const Term& term : model.objective.linear) m_gradient[static_cast<size_t>(term.variable)] += term.coefficient;
    for (const Bilinear& term : model.objective.bilinear) {
        m_gradient[static_cast<size_t>(term.first)] += term.coefficient * x[static_cast<size_t>(term.second)];
        m_gradient[static_cast<size_t>(term.second)] += term.coefficient * x[static_cast<size_t>(term.first)];
    }
    m_constant = objectiveFactor * model.objective.Value(x);
    double* cost = m_lp.objective();
    for (size_t j = 0; j < n; ++j) {
        cost[j] = objectiveFactor * m_gradient[j];
        m_constant -= cost[j] * x[j];
    }
    SetSlackCosts(slackCost);
}

void Linearisation::ShiftRows(const std::vector<double>& shift) {
    for (int i = 0; i < m_rows; ++i) {
        double& lower = m_lp.rowLower()[i];
        double& upper = m_lp.rowUpper()[i];
        if (lower > -COIN_DBL_MAX) lower -= shift[static_cast<size_t>(i)];
        if (upper < COIN_DBL_MAX) upper -= shift[static_cast<size_t>(i)];
    }
}

int Linearisation::Solve(bool confirmFromScratch) {
    // The elements change in place in the layout kept here; CLP gets a new
    // copy (it drops the zeros of its own) and keeps its basis.
    if (m_elementsChanged) {
        m_lp.replaceMatrix(new CoinPackedMatrix(true, m_rows, m_columns, m_start.back(), m_element.data(),
                                                m_index.data(), m_start.data(), m_length.data()),
                           true);
        m_lp.setNewRowCopy(nullptr);
        m_lp.setClpScaledMatrix(nullptr);
        m_elementsChanged = false;
    }
    m_lp.setWhatsChanged(0);
    m_lp.dual();
    int status = m_lp.status();
    if (status == 0 || !confirmFromScratch) return status;
    // Not optimal from the previous basis: confirm from scratch.
    m_lp.allSlackBasis(true);
    m_lp.dual();
    status = m_lp.status();
    if (status != 0 && status != 1 && status != 2) {
        m_lp.primal();
        status = m_lp.status();
    }
    return status;
}

double Linearisation::PredictedMerit() const {
    const double* solution = Solution();
    const double* cost = m_lp.objective();
    double merit = m_constant;
    for (int j = 0; j < m_columns; ++j) merit += cost[j] * solution[j];
    return merit;
}

double Linearisation::LargestMultiplierAtSlackBound() const {
    double largest = 0;
    const int first = m_columns - SlackCount();
    for (int k = 0; k < SlackCount(); ++k) {
        const double upper = m_lp.columnUpper()[first + k];
        if (upper >= COIN_DBL_MAX || Solution()[first + k] < upper - 1e-9 * (1 + upper)) continue;
        largest = std::max(largest, std::fabs(Duals()[m_slackRow[static_cast<size_t>(k)]]));
    }
    return largest;
}

double Linearisation::LargestMetRowMultiplier(double tolerance) const {
    double largest = 0;
    const int first = m_columns - SlackCount();
    for (int k = 0; k < SlackCount(); ++k)
        if (Solution()[first + k] <= tolerance)
            largest = std::max(largest, std::fabs(Duals()[m_slackRow[static_cast<size_t>(k)]]));
    return largest;
}

std::vector<double> Linearisation::FarkasRay() {
    std::unique_ptr<double[]> ray(m_lp.infeasibilityRay());
    if (!ray) return {};
    return std::vector<double>(ray.get(), ray.get() + m_rows);
}

std::vector<double> Linearisation::PrimalRay() {
    std::unique_ptr<double[]> ray(m_lp.unboundedRay());
    if (!ray) {
        m_lp.primal();
        ray.reset(m_lp.unboundedRay());
    }
    if (!ray) return {};
    return std::vector<double>(ray.get(), ray.get() + m_columns);
}

bool Linearisation::Infeasible(bool confirmFromScratch) { return Solve(confirmFromScratch) == 1; }

std::vector<int> Linearisation::IrreducibleInfeasibleRows(std::vector<double>& weights, bool& irreducible) {
    irreducible = true;
    const int first = m_columns - SlackCount();
    for (int column = first; column < m_columns; ++column) m_lp.columnUpper()[column] = 0;
    if (!Infeasible()) return {};
    std::vector<double> lower(m_lp.rowLower(), m_lp.rowLower() + m_rows);
    std::vector<double> upper(m_lp.rowUpper(), m_lp.rowUpper() + m_rows);
    auto release = [&](int row) {
        m_lp.rowLower()[row] = -COIN_DBL_MAX;
        m_lp.rowUpper()[row] = COIN_DBL_MAX;
    };
    auto restore = [&](int row) {
        m_lp.rowLower()[row] = lower[static_cast<size_t>(row)];
        m_lp.rowUpper()[row] = upper[static_cast<size_t>(row)];
    };
    // The rows the Farkas ray uses are infeasible by themselves.
    std::vector<int> candidates;
    const std::vector<double> ray = FarkasRay();
    for (int i = 0; i < m_rows && i < static_cast<int>(ray.size()); ++i)
        if (std::fabs(ray[static_cast<size_t>(i)]) > 1e-9) candidates.push_back(i);
    std::vector<bool> candidate(static_cast<size_t>(m_rows), false);
    for (int row : candidates) candidate[static_cast<size_t>(row)] = true;
    for (int i = 0; i < m_rows; ++i)
        if (!candidate[static_cast<size_t>(i)]) release(i);
    if (candidates.empty() || !Infeasible()) {
        candidates.clear();
        for (int i = 0; i < m_rows; ++i) {
            restore(i);
            candidates.push_back(i);
        }
    }
    std::vector<int> conflict;
    int solves = 0;
    for (int row : candidates) {
        if (++solves > kConflictSolves) {
            irreducible = false;
            conflict.push_back(row);
            continue;
        }
        // From the last basis only: a cold solve of each would cost the
        // search minutes on a large model.
        release(row);
        if (!Infeasible(false)) {
            restore(row);
            conflict.push_back(row);
        }
    }
    // The conflict's own Farkas ray: how much each of its rows weighs in it.
    weights.assign(static_cast<size_t>(m_rows), 0.0);
    for (int row : conflict) restore(row);
    if (Infeasible()) {
        const std::vector<double> own = FarkasRay();
        for (int row : conflict)
            if (static_cast<size_t>(row) < own.size()) weights[static_cast<size_t>(row)] = own[static_cast<size_t>(row)];
    }
    for (int i = 0; i < m_rows; ++i) restore(i);
    return conflict;
}

}  // namespace slp
