// The LP of one SLP iteration, kept in one CLP model for the whole run:
// columns are the model's variables and then the elastic slacks of every row
// that holds a nonlinear variable; rows are the model's constraints.  Each
// iteration rewrites its coefficients, bounds and costs in place (a pass
// over each row's terms) and solves it again from the previous basis.
#pragma once

#include <ClpSimplex.hpp>

#include <vector>

#include "model.h"

namespace slp {

class Linearisation {
public:
    // `boxed`: the variables whose rows get elastic slacks.
    Linearisation(const Model& model, const std::vector<bool>& boxed);

    void SetColumnBounds(int column, double lower, double upper);
    int SlackCount() const { return static_cast<int>(m_slackRow.size()); }
    int SlackRow(int slack) const { return m_slackRow[static_cast<size_t>(slack)]; }
    void SetSlackBound(int slack, double upper);
    bool SlacksBounded() const { return m_slacksBounded; }
    void FreeSlacks();
    void SetSlackCosts(double cost);

    // The first-order expansion of the model at x: `objectiveFactor` times
    // the objective's gradient as the variables' costs, `slackCost` on each slack.
    void Expand(const Model& model, const std::vector<double>& x, double objectiveFactor, double slackCost);

    // Moves every row's right-hand side by -shift[i]: the same expansion
    // asked to absorb a known remainder (until the next Expand).
    void ShiftRows(const std::vector<double>& shift);

    // CLP's status: 0 optimal, 1 infeasible, 2 unbounded, other failed.
    // From the last basis; an end other than optimal is confirmed from a
    // slack basis unless confirmFromScratch is false.
    int Solve(bool confirmFromScratch = true);
    const double* Solution() const { return m_lp.primalColumnSolution(); }
    const double* Duals() const { return m_lp.dualRowSolution(); }
    const double* ReducedCosts() const { return m_lp.dualColumnSolution(); }
    // The expansion's value at the LP's solution, slacks' costs included.
    double PredictedMerit() const;
    // The largest row multiplier among the slacks held at their bound (0 if none).
    double LargestMultiplierAtSlackBound() const;
    // The largest multiplier of a row met by the LP without its slack
    // (slack at most `tolerance`; 0 if none).
    double LargestMetRowMultiplier(double tolerance) const;
    std::vector<double> FarkasRay();
    std::vector<double> PrimalRay();
    // With every slack at zero: an irreducible infeasible set of rows, or
    // none when the rows are feasible; `weights` gets each row's entry of
    // the set's Farkas ray (0 outside it).  The deletion filter solves one
    // LP per row it tests and stops after kConflictSolves of them: the rows
    // not tested stay in the set, still infeasible though perhaps not
    // irreducible, and `irreducible` says which.
    static constexpr int kConflictSolves = 200;
    std::vector<int> IrreducibleInfeasibleRows(std::vector<double>& weights, bool& irreducible);

private:
    struct RowLayout {
        std::vector<int> variables, positions;    // each variable once, with its element
        std::vector<int> linearPositions;          // per linear term
        std::vector<int> bilinearPositions;        // two per bilinear term: first's, second's
    };
    bool Infeasible(bool confirmFromScratch = true);

    int m_columns = 0, m_rows = 0;
    std::vector<RowLayout> m_layout;
    std::vector<int> m_slackRow;
    // The matrix by columns, as CLP takes it.
    std::vector<CoinBigIndex> m_start;
    std::vector<int> m_index, m_length;
    std::vector<double> m_element;
    std::vector<double> m_gradient;
    double m_constant = 0;
    bool m_slacksBounded = true;
    bool m_elementsChanged = true;  // since CLP last took the matrix
    ClpSimplex m_lp;
};

}  // namespace slp
