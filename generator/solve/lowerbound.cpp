#include "generator/solve/lowerbound.h"

#include <lemon/network_simplex.h>
#include <lemon/static_graph.h>

#include <string_view>
#include <unordered_map>
#include <utility>

namespace keldar::generator {

QString LowerBound::text() const
{
    return cost ? QString::number(*cost)
                : QStringLiteral("none (day %1 needs more nurses than there are)")
                      .arg(infeasibleDay);
}

namespace {

// One day's minimum-cost flow from the nurses to the shift types.
class DayFlow
{
public:
    explicit DayFlow(const Instance &in)
        : in_(in), types_(in.shiftTypes()), classOf_(static_cast<std::size_t>(in.nurses))
    {}

    // The day's least cost, with its shifts written into `roster`; none when
    // the day cannot be covered.
    std::optional<std::int64_t> solve(int d, std::vector<int> &roster)
    {
        groupNurses(d);
        const int count = static_cast<int>(members_.size());
        // Nodes: the classes, then the shift types, then a sink that takes
        // every nurse; each working shift's arc to the sink carries at least
        // its requirement.
        const int typeNode = count;
        const int sink = count + types_;
        arcs_.clear();
        for (int c = 0; c < count; ++c)
            for (int t = 0; t < types_; ++t)
                arcs_.emplace_back(c, typeNode + t);
        for (int t = 0; t < types_; ++t)
            arcs_.emplace_back(typeNode + t, sink);
        Graph graph;
        graph.build(sink + 1, arcs_.begin(), arcs_.end());
        Graph::ArcMap<std::int64_t> cost(graph, 0);
        Graph::ArcMap<std::int64_t> lower(graph, 0);
        Graph::ArcMap<std::int64_t> upper(graph, 0);
        Graph::NodeMap<std::int64_t> supply(graph, 0);
        for (int n = 0; n < in_.nurses; ++n)
            ++supply[graph.node(classOf_[std::size_t(n)])];
        for (int c = 0; c < count; ++c)
            for (int t = 0; t < types_; ++t) {
                const Graph::Arc arc = graph.arc(c * types_ + t);
                cost[arc] = in_.cost(members_[std::size_t(c)], d, t);
                upper[arc] = supply[graph.node(c)];
            }
        for (int t = 0; t < types_; ++t) {
            const Graph::Arc arc = graph.arc(count * types_ + t);
            lower[arc] = t < in_.workingShifts ? in_.cover(d, t) : 0;
            upper[arc] = in_.nurses;
        }
        supply[graph.node(sink)] = -in_.nurses;

        lemon::NetworkSimplex<Graph, std::int64_t, std::int64_t> simplex(graph);
        simplex.costMap(cost).lowerMap(lower).upperMap(upper).supplyMap(supply);
        if (simplex.run() != decltype(simplex)::OPTIMAL)
            return std::nullopt;
        Graph::ArcMap<std::int64_t> flow(graph);
        simplex.flowMap(flow);
        assignShifts(graph, flow, d, roster);
        return simplex.totalCost();
    }

private:
    using Graph = lemon::StaticDigraph;

    // Nurses with the same costs that day are interchangeable: one node each
    // for them all makes the network about half as large.
    void groupNurses(int d)
    {
        classes_.clear();
        members_.clear();
        for (int n = 0; n < in_.nurses; ++n) {
            const auto *row = reinterpret_cast<const char *>(&in_.costs[in_.costIndex(n, d, 0)]);
            const auto [it, added] =
                classes_.try_emplace(std::string_view(row, static_cast<std::size_t>(types_)),
                                     static_cast<int>(classes_.size()));
            if (added)
                members_.push_back(n);
            classOf_[std::size_t(n)] = it->second;
        }
    }

    // Each class's nurses take its shifts in turn.
    void assignShifts(const Graph &graph, Graph::ArcMap<std::int64_t> &flow, int d,
                      std::vector<int> &roster) const
    {
        for (int n = 0; n < in_.nurses; ++n) {
            const int c = classOf_[std::size_t(n)];
            int t = 0;
            while (flow[graph.arc(c * types_ + t)] == 0)
                ++t;
            --flow[graph.arc(c * types_ + t)];
            roster[gridIndex(n, in_.days, d)] = t;
        }
    }

    const Instance &in_;
    const int types_;
    std::vector<int> classOf_;
    std::vector<int> members_;
    std::vector<std::pair<int, int>> arcs_;
    std::unordered_map<std::string_view, int> classes_;
};

} // namespace

LowerBound lowerBound(const Instance &in)
{
    LowerBound result;
    result.roster.assign(static_cast<std::size_t>(in.nurses) * static_cast<std::size_t>(in.days),
                         in.workingShifts);
    DayFlow flow(in);
    std::int64_t total = 0;
    for (int d = 0; d < in.days; ++d) {
        std::int64_t required = 0;
        for (int w = 0; w < in.workingShifts; ++w)
            required += in.cover(d, w);
        const auto day = required > in.nurses ? std::nullopt : flow.solve(d, result.roster);
        if (!day) {
            result.infeasibleDay = d + 1;
            result.roster.clear();
            return result;
        }
        total += *day;
    }
    result.cost = total;
    return result;
}

} // namespace keldar::generator
