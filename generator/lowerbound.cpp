#include "generator/lowerbound.h"

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

LowerBound lowerBound(const Instance &in)
{
    LowerBound result;
    const int types = in.shiftTypes();
    result.roster.assign(static_cast<std::size_t>(in.nurses) * static_cast<std::size_t>(in.days),
                         in.workingShifts);
    std::vector<int> classOf(static_cast<std::size_t>(in.nurses));
    std::vector<int> members;
    std::vector<std::pair<int, int>> arcs;
    std::unordered_map<std::string_view, int> classes;
    std::int64_t total = 0;
    for (int d = 0; d < in.days; ++d) {
        std::int64_t required = 0;
        for (int w = 0; w < in.workingShifts; ++w)
            required += in.cover(d, w);
        if (required > in.nurses) {
            result.infeasibleDay = d + 1;
            result.roster.clear();
            return result;
        }

        // Nurses with the same costs that day are interchangeable: one node
        // each for them all makes the network about half as large.
        classes.clear();
        members.clear();
        for (int n = 0; n < in.nurses; ++n) {
            const auto *row = reinterpret_cast<const char *>(&in.costs[in.costIndex(n, d, 0)]);
            const auto [it, added] =
                classes.try_emplace(std::string_view(row, static_cast<std::size_t>(types)),
                                    static_cast<int>(classes.size()));
            if (added)
                members.push_back(n);
            classOf[std::size_t(n)] = it->second;
        }
        const int count = static_cast<int>(members.size());

        // Nodes: the classes, then the shift types, then a sink that takes
        // every nurse; each working shift's arc to the sink carries at least
        // its requirement.
        const int typeNode = count;
        const int sink = count + types;
        arcs.clear();
        for (int c = 0; c < count; ++c)
            for (int t = 0; t < types; ++t)
                arcs.emplace_back(c, typeNode + t);
        for (int t = 0; t < types; ++t)
            arcs.emplace_back(typeNode + t, sink);
        using Graph = lemon::StaticDigraph;
        Graph graph;
        graph.build(sink + 1, arcs.begin(), arcs.end());
        Graph::ArcMap<std::int64_t> cost(graph, 0);
        Graph::ArcMap<std::int64_t> lower(graph, 0);
        Graph::ArcMap<std::int64_t> upper(graph, 0);
        Graph::NodeMap<std::int64_t> supply(graph, 0);
        for (int n = 0; n < in.nurses; ++n)
            ++supply[graph.node(classOf[std::size_t(n)])];
        for (int c = 0; c < count; ++c)
            for (int t = 0; t < types; ++t) {
                const Graph::Arc arc = graph.arc(c * types + t);
                cost[arc] = in.cost(members[std::size_t(c)], d, t);
                upper[arc] = supply[graph.node(c)];
            }
        for (int t = 0; t < types; ++t) {
            const Graph::Arc arc = graph.arc(count * types + t);
            lower[arc] = t < in.workingShifts ? in.cover(d, t) : 0;
            upper[arc] = in.nurses;
        }
        supply[graph.node(sink)] = -in.nurses;

        lemon::NetworkSimplex<Graph, std::int64_t, std::int64_t> simplex(graph);
        simplex.costMap(cost).lowerMap(lower).upperMap(upper).supplyMap(supply);
        if (simplex.run() != decltype(simplex)::OPTIMAL) {
            result.infeasibleDay = d + 1;
            result.roster.clear();
            return result;
        }
        total += simplex.totalCost();

        // Each class's nurses take its shifts in turn.
        Graph::ArcMap<std::int64_t> flow(graph);
        simplex.flowMap(flow);
        for (int n = 0; n < in.nurses; ++n) {
            const int c = classOf[std::size_t(n)];
            int t = 0;
            while (flow[graph.arc(c * types + t)] == 0)
                ++t;
            --flow[graph.arc(c * types + t)];
            result.roster[gridIndex(n, in.days, d)] = t;
        }
    }
    result.cost = total;
    return result;
}

} // namespace keldar::generator
