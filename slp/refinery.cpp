// A generated refinery planning model: per period, crudes bought and sent to
// pools or straight to the products, pools whose qualities (sulfur and
// density) are variables, products blended from pools and crudes within
// quality limits, and product stocks carried from period to period.  The
// pool quality balances and the product quality limits are bilinear.
#include <cstdint>
#include <string>

#include "model.h"

namespace slp {
namespace {

constexpr int kCrudes = 8, kPools = 4, kProducts = 4, kQualities = 2;

// A small deterministic generator, the same on every platform.
class Numbers {
public:
    double Between(double low, double high) {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return low + (high - low) * static_cast<double>(m_state >> 11) / 9007199254740992.0;
    }

private:
    std::uint64_t m_state = 20240229;
};

struct Data {
    double crudeCost[kCrudes], crudeQuality[kCrudes][kQualities], crudeAvailable[kCrudes];
    double price[kProducts], demand[kProducts], limit[kProducts][kQualities];
    double poolCapacity[kPools];
};

Data MakeData() {
    Numbers numbers;
    Data data{};
    for (int c = 0; c < kCrudes; ++c) {
        data.crudeQuality[c][0] = numbers.Between(0.2, 3.5);   // sulfur, %
        data.crudeQuality[c][1] = numbers.Between(0.80, 0.95); // density
        data.crudeCost[c] = 60 - 6 * data.crudeQuality[c][0] + numbers.Between(-3, 3);
        data.crudeAvailable[c] = numbers.Between(80, 200);
    }
    const double prices[kProducts] = {95, 88, 70, 52};
    const double sulfur[kProducts] = {0.8, 1.2, 2.0, 3.0};
    const double density[kProducts] = {0.86, 0.88, 0.91, 0.95};
    for (int p = 0; p < kProducts; ++p) {
        data.price[p] = prices[p];
        data.demand[p] = numbers.Between(100, 250);
        data.limit[p][0] = sulfur[p];
        data.limit[p][1] = density[p];
    }
    for (int k = 0; k < kPools; ++k) data.poolCapacity[k] = numbers.Between(150, 300);
    return data;
}

class Builder {
public:
    explicit Builder(Model& model) : m_model(model) {}
    int Variable(const std::string& name, double upper, double start = 0, double lower = 0) {
        m_model.variables.push_back({name, lower, upper, start});
        return static_cast<int>(m_model.variables.size()) - 1;
    }
    Constraint& Row(const std::string& name, RowType type, double rhs = 0) {
        m_model.constraints.push_back({name, type, rhs, {}});
        return m_model.constraints.back();
    }

private:
    Model& m_model;
};

std::string Name(const char* stem, int a, int t) {
    return std::string(stem) + std::to_string(a + 1) + "_T" + std::to_string(t + 1);
}
std::string Name(const char* stem, int a, int b, int t) {
    return std::string(stem) + std::to_string(a + 1) + "_" + std::to_string(b + 1) + "_T" + std::to_string(t + 1);
}

}  // namespace

Model RefineryModel(int periods) {
    const Data data = MakeData();
    Model model;
    model.name = "REFINERY_" + std::to_string(periods) + "P";
    model.description = "Generated refinery plan, " + std::to_string(periods) + " periods";
    model.caseNumber = 10000 + periods;  // large models: no algebraic model display
    model.maximize = true;
    model.objectiveName = "PROFIT";
    Builder build(model);
    const char* quality[kQualities] = {"SUL", "DEN"};
    std::vector<int> previousStock(kProducts, -1);
    for (int t = 0; t < periods; ++t) {
        int buy[kCrudes], toPool[kCrudes][kPools], direct[kCrudes][kProducts], poolQuality[kPools][kQualities];
        int fromPool[kPools][kProducts], sell[kProducts], stock[kProducts];
        for (int c = 0; c < kCrudes; ++c) {
            buy[c] = build.Variable(Name("BUY_C", c, t), data.crudeAvailable[c]);
            model.objective.linear.push_back({buy[c], -data.crudeCost[c]});
            for (int k = 0; k < kPools; ++k) toPool[c][k] = build.Variable(Name("FLOW_C", c, k, t), 300);
            for (int p = 0; p < kProducts; ++p) direct[c][p] = build.Variable(Name("DIRECT_C", c, p, t), 100);
        }
        for (int k = 0; k < kPools; ++k) {
            for (int q = 0; q < kQualities; ++q) {
                double low = 1e9, high = -1e9, sum = 0;
                for (int c = 0; c < kCrudes; ++c) {
                    low = std::min(low, data.crudeQuality[c][q]);
                    high = std::max(high, data.crudeQuality[c][q]);
                    sum += data.crudeQuality[c][q];
                }
                poolQuality[k][q] = build.Variable(
                    std::string("Q") + quality[q] + "_POOL" + std::to_string(k + 1) + "_T" + std::to_string(t + 1),
                    high, sum / kCrudes, low);
            }
            for (int p = 0; p < kProducts; ++p) fromPool[k][p] = build.Variable(Name("POOL", k, p, t), 300);
        }
        for (int p = 0; p < kProducts; ++p) {
            sell[p] = build.Variable(Name("SELL_P", p, t), data.demand[p]);
            stock[p] = build.Variable(Name("STOCK_P", p, t), 50);
            model.objective.linear.push_back({sell[p], data.price[p]});
            model.objective.linear.push_back({stock[p], -0.5});
        }
        for (int c = 0; c < kCrudes; ++c) {
            Constraint& balance = build.Row(Name("CRUDE_BAL", c, t), RowType::Equal);
            balance.expression.linear.push_back({buy[c], 1});
            for (int k = 0; k < kPools; ++k) balance.expression.linear.push_back({toPool[c][k], -1});
            for (int p = 0; p < kProducts; ++p) balance.expression.linear.push_back({direct[c][p], -1});
        }
        for (int k = 0; k < kPools; ++k) {
            Constraint& balance = build.Row(Name("POOL_BAL", k, t), RowType::Equal);
            for (int c = 0; c < kCrudes; ++c) balance.expression.linear.push_back({toPool[c][k], 1});
            for (int p = 0; p < kProducts; ++p) balance.expression.linear.push_back({fromPool[k][p], -1});
            Constraint& capacity = build.Row(Name("POOL_CAP", k, t), RowType::LessEqual, data.poolCapacity[k]);
            for (int c = 0; c < kCrudes; ++c) capacity.expression.linear.push_back({toPool[c][k], 1});
            for (int q = 0; q < kQualities; ++q) {
                // sum_c quality_c * flow_c = pool quality * sum_p outflow_p
                Constraint& mix = build.Row(std::string(quality[q]) + "_POOL" + std::to_string(k + 1) + "_T" +
                                                std::to_string(t + 1),
                                            RowType::Equal);
                for (int c = 0; c < kCrudes; ++c)
                    mix.expression.linear.push_back({toPool[c][k], data.crudeQuality[c][q]});
                for (int p = 0; p < kProducts; ++p)
                    mix.expression.bilinear.push_back({poolQuality[k][q], fromPool[k][p], -1});
            }
        }
        for (int p = 0; p < kProducts; ++p) {
            // Made + stock carried in = sold + stock carried out.
            Constraint& balance = build.Row(Name("PROD_BAL", p, t), RowType::Equal);
            for (int k = 0; k < kPools; ++k) balance.expression.linear.push_back({fromPool[k][p], 1});
            for (int c = 0; c < kCrudes; ++c) balance.expression.linear.push_back({direct[c][p], 1});
            if (previousStock[p] >= 0) balance.expression.linear.push_back({previousStock[p], 1});
            balance.expression.linear.push_back({sell[p], -1});
            balance.expression.linear.push_back({stock[p], -1});
            for (int q = 0; q < kQualities; ++q) {
                // sum_k (pool quality - limit) * outflow + sum_c (quality_c - limit) * direct <= 0
                Constraint& spec = build.Row(std::string(quality[q]) + "_SPEC_P" + std::to_string(p + 1) + "_T" +
                                                 std::to_string(t + 1),
                                             RowType::LessEqual);
                for (int k = 0; k < kPools; ++k) {
                    spec.expression.bilinear.push_back({poolQuality[k][q], fromPool[k][p], 1});
                    spec.expression.linear.push_back({fromPool[k][p], -data.limit[p][q]});
                }
                for (int c = 0; c < kCrudes; ++c)
                    spec.expression.linear.push_back({direct[c][p], data.crudeQuality[c][q] - data.limit[p][q]});
            }
            previousStock[p] = stock[p];
        }
    }
    return model;
}

}  // namespace slp
