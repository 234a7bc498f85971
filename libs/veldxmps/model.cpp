// The model manager and everything reached from it: items, sets, the
// coefficient matrix, the option set and the auxiliary object.
//
// The manager and the objects it hands out live as long as the manager.
// ReplaceModel builds a complete new model aside and then swaps the contents
// of those objects, so pointers handed out before stay valid.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "libs/veldxmps.h"
#include "libs/veldxmps_model.h"

// Out-of-line destructors anchor the interfaces' virtual tables here.
IVELDVariable::~IVELDVariable() = default;
IVELDEquation::~IVELDEquation() = default;
IVELDVariableSet::~IVELDVariableSet() = default;
IVELDEquationSet::~IVELDEquationSet() = default;
IVELDMatrixEntry::~IVELDMatrixEntry() = default;
IVELDMatrix::~IVELDMatrix() = default;
IVELDOptionSet::~IVELDOptionSet() = default;
IVELDAuxiliary::~IVELDAuxiliary() = default;
IVELDMgr::~IVELDMgr() = default;

namespace veldxmps {
namespace {

class Variable final : public IVELDVariable {
public:
    Variable(int number, VariableRecord&& record) : m_number(number), m_record(std::move(record)) {}
    int GetNumber() const override { return m_number; }
    const char* GetName() const override { return m_record.name.c_str(); }
    double GetUpperBound() const override { return m_record.upper; }
    double GetLowerBound() const override { return m_record.lower; }
    short GetType() const override { return m_record.type; }
    double GetValue() const override { return m_record.value; }
    short GetStatus() const override { return m_record.status; }
    const std::string& Name() const { return m_record.name; }

private:
    int m_number;
    VariableRecord m_record;
};

class Equation final : public IVELDEquation {
public:
    Equation(int number, EquationRecord&& record) : m_number(number), m_record(std::move(record)) {}
    int GetNumber() const override { return m_number; }
    const char* GetName() const override { return m_record.name.c_str(); }
    short GetType() const override { return m_record.type; }
    double GetValue() const override { return m_record.value; }
    double GetScale() const override { return m_record.scale; }
    double GetDiagValue() const override { return m_record.diag; }
    int IsNonlinear() const override { return m_record.nonlinear; }
    const std::string& Name() const { return m_record.name; }
    double Rhs() const { return m_record.rhs; }
    const std::string& Form() const { return m_record.form; }

private:
    int m_number;
    EquationRecord m_record;
};

// Items in model order, a by-name index and a walking cursor.  The items
// sit in a vector that is filled once and never grows afterwards, so the
// index may refer to their names.
template <class Item, class Record>
class ItemStore {
public:
    void Build(std::vector<Record>&& records, const char* what) {
        if (records.size() > static_cast<size_t>(kMaxItems))
            throw std::invalid_argument(std::string("too many ") + what);
        m_items.reserve(records.size());
        for (auto& record : records)
            m_items.emplace_back(static_cast<int>(m_items.size()) + 1, std::move(record));
        m_byName.reserve(m_items.size());
        for (const Item& item : m_items)
            m_byName.emplace(std::string_view(item.Name()), item.GetNumber() - 1);
        records.clear();
    }

    void Swap(ItemStore& other) noexcept {
        m_items.swap(other.m_items);
        m_byName.swap(other.m_byName);
        m_cursor = 0;
        other.m_cursor = 0;
    }

    int Count() const { return static_cast<int>(m_items.size()); }

    Item* At(int number) const {
        if (number < 1 || number > Count()) return nullptr;
        return const_cast<Item*>(&m_items[static_cast<size_t>(number) - 1]);
    }

    Item* Find(const char* name) const {
        if (name == nullptr) return nullptr;
        auto it = m_byName.find(std::string_view(name));
        return it == m_byName.end() ? nullptr : At(it->second + 1);
    }

    Item* First() {
        m_cursor = 0;
        return Current();
    }

    Item* Next() {
        if (m_cursor < m_items.size()) ++m_cursor;
        return Current();
    }

    void PrepareIndex() { m_byName.rehash(m_byName.size()); }

private:
    static constexpr int kMaxItems = 0x7fffffff - 1;
    Item* Current() { return m_cursor < m_items.size() ? &m_items[m_cursor] : nullptr; }

    std::vector<Item> m_items;
    std::unordered_map<std::string_view, int> m_byName;
    size_t m_cursor = 0;
};

using VariableStore = ItemStore<Variable, VariableRecord>;
using EquationStore = ItemStore<Equation, EquationRecord>;

// A set of the model: the interface of one kind of item over its store.
template <typename SetInterface, typename ItemInterface, typename Store>
class ItemSet final : public SetInterface {
public:
    int GetCount() const override { return store.Count(); }
    ItemInterface* Find(const char* name) const override { return store.Find(name); }
    int GetAt(int number, ItemInterface** item) const override {
        ItemInterface* found = store.At(number);
        if (item != nullptr) *item = found;
        return found != nullptr ? 0 : 1;
    }
    ItemInterface* GetFirst() override { return store.First(); }
    ItemInterface* GetNext() override { return store.Next(); }

    Store store;
};

using VariableSet = ItemSet<IVELDVariableSet, IVELDVariable, VariableStore>;
using EquationSet = ItemSet<IVELDEquationSet, IVELDEquation, EquationStore>;

class MatrixEntry final : public IVELDMatrixEntry {
public:
    MatrixEntry(Equation* equation, Variable* variable, double coefficient)
        : m_equation(equation), m_variable(variable), m_coefficient(coefficient) {}
    IVELDEquation* GetEquation() const override { return m_equation; }
    IVELDVariable* GetVariable() const override { return m_variable; }
    double GetCoefficient() const override { return m_coefficient; }
    Variable* Var() const { return m_variable; }

private:
    Equation* m_equation;
    Variable* m_variable;
    double m_coefficient;
};

// Compressed rows (entries sorted by equation, then variable) plus, for the
// column walk, the entry positions sorted by variable, then equation.
class Matrix final : public IVELDMatrix {
public:
    IVELDMatrixEntry* GetFirstInRow(int equationNumber) override {
        m_rowPos = m_rowEnd = 0;
        if (equationNumber < 1 || static_cast<size_t>(equationNumber) >= m_rowStart.size())
            return nullptr;
        // at(): a bound test above that let one too many through fails in every build.
        m_rowPos = m_rowStart.at(static_cast<size_t>(equationNumber) - 1);
        m_rowEnd = m_rowStart.at(static_cast<size_t>(equationNumber));
        return RowEntry();
    }
    IVELDMatrixEntry* GetNextInRow() override {
        if (m_rowPos < m_rowEnd) ++m_rowPos;
        return RowEntry();
    }
    IVELDMatrixEntry* GetFirstInColumn(int variableNumber) override {
        m_colPos = m_colEnd = 0;
        if (variableNumber < 1 || static_cast<size_t>(variableNumber) >= m_colStart.size())
            return nullptr;
        m_colPos = m_colStart.at(static_cast<size_t>(variableNumber) - 1);
        m_colEnd = m_colStart.at(static_cast<size_t>(variableNumber));
        return ColumnEntry();
    }
    IVELDMatrixEntry* GetNextInColumn() override {
        if (m_colPos < m_colEnd) ++m_colPos;
        return ColumnEntry();
    }

    void Build(std::vector<MatrixRecord>&& records, std::vector<LinearisedRecord>&& linearised,
               VariableStore& variables, EquationStore& equations) {
        const size_t nEqn = static_cast<size_t>(equations.Count());
        const size_t nVar = static_cast<size_t>(variables.Count());
        if (FindMatrixProblem(records, nVar, nEqn).kind != MatrixProblem::Kind::None)
            throw std::invalid_argument("a matrix entry names a missing item or repeats a pair");
        std::sort(records.begin(), records.end(), [](const MatrixRecord& a, const MatrixRecord& b) {
            return a.equation != b.equation ? a.equation < b.equation : a.variable < b.variable;
        });
        m_entries.reserve(records.size());
        m_rowStart.assign(nEqn + 1, 0);
        m_colStart.assign(nVar + 1, 0);
        for (const MatrixRecord& r : records) {
            m_entries.emplace_back(equations.At(r.equation), variables.At(r.variable),
                                   r.coefficient);
            ++m_rowStart[static_cast<size_t>(r.equation)];
            ++m_colStart[static_cast<size_t>(r.variable)];
        }
        std::vector<MatrixRecord>().swap(records);
        for (size_t i = 1; i < m_rowStart.size(); ++i) m_rowStart[i] += m_rowStart[i - 1];
        for (size_t i = 1; i < m_colStart.size(); ++i) m_colStart[i] += m_colStart[i - 1];
        // Counting sort by variable; stable, so each column keeps the rows'
        // ascending equation order.
        m_columnOrder.resize(m_entries.size());
        std::vector<size_t> fill(m_colStart.begin(), m_colStart.end() - (nVar > 0 ? 1 : 0));
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const size_t col = static_cast<size_t>(m_entries[i].Var()->GetNumber()) - 1;
            m_columnOrder[fill[col]++] = i;
        }
        MarkLinearised(std::move(linearised));
    }

    void Swap(Matrix& other) noexcept {
        m_entries.swap(other.m_entries);
        m_linearised.swap(other.m_linearised);
        m_rowStart.swap(other.m_rowStart);
        m_colStart.swap(other.m_colStart);
        m_columnOrder.swap(other.m_columnOrder);
        m_rowPos = m_rowEnd = m_colPos = m_colEnd = 0;
        other.m_rowPos = other.m_rowEnd = other.m_colPos = other.m_colEnd = 0;
    }

    // Entries of equation number (from 1) as [begin, end) of the row order.
    std::pair<const MatrixEntry*, const MatrixEntry*> Row(size_t number) const {
        if (number < 1 || number >= m_rowStart.size()) return {nullptr, nullptr};
        const MatrixEntry* base = m_entries.data();
        return {base + m_rowStart[number - 1], base + m_rowStart[number]};
    }

    // Whether the entry holds a coefficient of a nonlinear term at the
    // linearisation's value.
    bool Linearised(const MatrixEntry* entry) const {
        return !m_linearised.empty() && m_linearised[static_cast<size_t>(entry - m_entries.data())];
    }

private:
    // The entries are in row order: a pair's entry is found by its row's
    // range and the variable.
    void MarkLinearised(std::vector<LinearisedRecord>&& linearised) {
        if (linearised.empty()) return;
        m_linearised.assign(m_entries.size(), false);
        for (const LinearisedRecord& pair : linearised) {
            auto [begin, end] = Row(static_cast<size_t>(pair.equation));
            const MatrixEntry* found = std::lower_bound(begin, end, pair.variable, [](const MatrixEntry& e, int v) {
                return e.Var()->GetNumber() < v;
            });
            if (found == end || found->Var()->GetNumber() != pair.variable)
                throw std::invalid_argument("a linearised pair has no coefficient");
            m_linearised[static_cast<size_t>(found - m_entries.data())] = true;
        }
    }

    IVELDMatrixEntry* RowEntry() {
        return m_rowPos < m_rowEnd ? &m_entries[m_rowPos] : nullptr;
    }
    IVELDMatrixEntry* ColumnEntry() {
        return m_colPos < m_colEnd ? &m_entries[m_columnOrder[m_colPos]] : nullptr;
    }

    std::vector<MatrixEntry> m_entries;
    std::vector<bool> m_linearised;  // per entry; empty when none is
    std::vector<size_t> m_rowStart;
    std::vector<size_t> m_colStart;
    std::vector<size_t> m_columnOrder;
    size_t m_rowPos = 0, m_rowEnd = 0, m_colPos = 0, m_colEnd = 0;
};

class OptionSet final : public IVELDOptionSet {
public:
    const char* GetOptionValue(const char* name) const override {
        if (name == nullptr) return "";
        auto it = m_byName.find(std::string_view(name));
        return it == m_byName.end() ? "" : m_options[it->second].second.c_str();
    }

    void Build(std::vector<std::pair<std::string, std::string>>&& options) {
        m_options = std::move(options);
        m_byName.reserve(m_options.size());
        for (size_t i = 0; i < m_options.size(); ++i)
            m_byName.emplace(std::string_view(m_options[i].first), i);
    }

    void Swap(OptionSet& other) noexcept {
        m_options.swap(other.m_options);
        m_byName.swap(other.m_byName);
    }

private:
    std::vector<std::pair<std::string, std::string>> m_options;
    std::unordered_map<std::string_view, size_t> m_byName;
};

// The last line of the algebraic model display when it shows a bracketed
// coefficient.
constexpr const char* kLinearisedLegend =
    "  [c]: the coefficient of a nonlinear term, the linearisation's value at the final point\n";

class ModelManager;

class Auxiliary final : public IVELDAuxiliary {
public:
    explicit Auxiliary(ModelManager& manager) : m_manager(manager) {}
    void Prepare() override;

private:
    ModelManager& m_manager;
};

class ModelManager final : public IVELDMgr {
public:
    ModelManager() : m_auxiliary(*this) {}

    void GetModelName(std::string& name) const override { name = m_name; }

    int GetVariableSet(IVELDVariableSet** set) override {
        FaultPoint("GetVariableSet");
        if (set != nullptr) *set = &m_variables;
        return 0;
    }

    int GetEquationSet(IVELDEquationSet** set) override {
        FaultPoint("GetEquationSet");
        if (set != nullptr) *set = &m_equations;
        return 0;
    }

    int GetMatrix(IVELDMatrix** matrix) override {
        FaultPoint("GetMatrix");
        if (matrix != nullptr) *matrix = &m_matrix;
        return 0;
    }

    // One line per equation: "  NAME: FORM" where the optimiser gave the
    // equation's algebraic form, else "  NAME: TERMS RELATION RHS", the
    // terms as "coefficient*variable" by ascending variable number.  A
    // coefficient of a nonlinear term, which the matrix holds at the
    // linearisation's value, is shown in brackets, "[1.5]*P_Y", and a last
    // line says what the brackets mean.
    void DisplayAlgebraicModel(std::ostream& out) override {
        FaultPoint("DisplayAlgebraicModel");
        std::string line;
        bool linearisedShown = false;
        for (int e = 1; e <= m_equations.store.Count(); ++e) {
            const Equation& equation = *m_equations.store.At(e);
            line.assign("  ");
            line += OneLine(equation.Name());
            line += ":";
            if (!equation.Form().empty()) {
                line += " ";
                line += OneLine(equation.Form());
                line += "\n";
                out << line;
                continue;
            }
            auto [begin, end] = m_matrix.Row(static_cast<size_t>(e));
            if (begin == end) line += " 0";
            for (const MatrixEntry* entry = begin; entry != end; ++entry) {
                const double c = entry->GetCoefficient();
                const bool linearised = m_matrix.Linearised(entry);
                linearisedShown = linearisedShown || linearised;
                if (entry == begin) line += " ";
                else line += c < 0 ? " - " : " + ";
                if (linearised) line += "[";
                line += FormatNumber(entry == begin || c >= 0 ? c : -c);
                if (linearised) line += "]";
                line += "*";
                line += OneLine(entry->Var()->Name());
            }
            switch (equation.GetType()) {
                case RowKind::kLessOrEqual: line += " <= "; break;
                case RowKind::kGreaterOrEqual: line += " >= "; break;
                case RowKind::kEquality: line += " = "; break;
                case RowKind::kFree: line += " (free row) rhs "; break;
                case RowKind::kObjective: line += " (objective row) rhs "; break;
                default: line += " (type " + std::to_string(equation.GetType()) + ") rhs "; break;
            }
            line += FormatNumber(equation.Rhs());
            line += "\n";
            out << line;
        }
        if (linearisedShown) out << kLinearisedLegend;
    }

    int GetModelOptions(IVELDOptionSet** options) override {
        FaultPoint("GetModelOptions");
        if (options != nullptr) *options = m_hasOptions ? &m_options : nullptr;
        return 0;
    }

    void SetWorkingDirectory(const char* directory) override {
        m_workingDirectory = directory != nullptr ? directory : "";
    }

    int GetAuxiliaryObject(IVELDAuxiliary** auxiliary) override {
        FaultPoint("GetAuxiliaryObject");
        if (auxiliary != nullptr) *auxiliary = &m_auxiliary;
        return 0;
    }

    const char* GetWorkingDirectory() const override { return m_workingDirectory.c_str(); }

    void Replace(ModelRecord&& record) {
        // Everything is built in a scratch manager first; only the swaps,
        // which cannot fail, touch this one.
        ModelManager fresh;
        fresh.m_variables.store.Build(std::move(record.variables), "variables");
        fresh.m_equations.store.Build(std::move(record.equations), "equations");
        fresh.m_matrix.Build(std::move(record.matrix), std::move(record.linearised), fresh.m_variables.store,
                             fresh.m_equations.store);
        fresh.m_options.Build(std::move(record.options));
        fresh.m_name = std::move(record.name);

        m_name.swap(fresh.m_name);
        m_variables.store.Swap(fresh.m_variables.store);
        m_equations.store.Swap(fresh.m_equations.store);
        m_matrix.Swap(fresh.m_matrix);
        m_options.Swap(fresh.m_options);
        m_hasOptions = record.hasOptions;
    }

    void PrepareIndexes() {
        m_variables.store.PrepareIndex();
        m_equations.store.PrepareIndex();
    }

private:
    std::string m_name;
    VariableSet m_variables;
    EquationSet m_equations;
    Matrix m_matrix;
    OptionSet m_options;
    bool m_hasOptions = false;
    Auxiliary m_auxiliary;
    std::string m_workingDirectory;
};

void Auxiliary::Prepare() { m_manager.PrepareIndexes(); }

}  // namespace

namespace {

MatrixProblem FindMissingItem(const std::vector<MatrixRecord>& matrix, size_t variables,
                              size_t equations) {
    for (size_t i = 0; i < matrix.size(); ++i) {
        const MatrixRecord& entry = matrix[i];
        if (entry.equation < 1 || static_cast<size_t>(entry.equation) > equations)
            return {MatrixProblem::Kind::NoSuchEquation, i, 0};
        if (entry.variable < 1 || static_cast<size_t>(entry.variable) > variables)
            return {MatrixProblem::Kind::NoSuchVariable, i, 0};
    }
    return {};
}

// Entry positions sorted by pair, and by position within a pair, so that
// each pair's first entry leads its group.
MatrixProblem FindRepeatedPair(const std::vector<MatrixRecord>& matrix) {
    std::vector<size_t> order(matrix.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto pairOf = [&matrix](size_t i) {
        return std::pair(matrix[i].equation, matrix[i].variable);
    };
    std::sort(order.begin(), order.end(), [&pairOf](size_t a, size_t b) {
        return std::pair(pairOf(a), a) < std::pair(pairOf(b), b);
    });
    MatrixProblem found;
    size_t groupStart = 0;
    for (size_t i = 1; i < order.size(); ++i) {
        if (pairOf(order[i]) != pairOf(order[i - 1])) groupStart = i;
        else if (found.kind == MatrixProblem::Kind::None || order[i] < found.entry)
            found = {MatrixProblem::Kind::PairRepeated, order[i], order[groupStart]};
    }
    return found;
}

}  // namespace

MatrixProblem FindMatrixProblem(const std::vector<MatrixRecord>& matrix, size_t variables,
                                size_t equations) {
    const MatrixProblem missing = FindMissingItem(matrix, variables, equations);
    return missing.kind != MatrixProblem::Kind::None ? missing : FindRepeatedPair(matrix);
}

std::unique_ptr<IVELDMgr> CreateModelManager() { return std::make_unique<ModelManager>(); }

void ReplaceModel(IVELDMgr& manager, ModelRecord&& model) {
    auto* own = dynamic_cast<ModelManager*>(&manager);
    if (own == nullptr) throw std::invalid_argument("not a manager of this library");
    own->Replace(std::move(model));
}

}  // namespace veldxmps
