#include "generator/lowerbound.h"

#include <lemon/network_simplex.h>
#include <lemon/static_graph.h>

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
    // Nodes: nurses 0..N-1, then the shift types, then one sink that takes
    // every nurse's unit.  The graph is the same every day; only the costs and
    // the requirements change.
    const int typeNode = in.nurses;
    const int sink = in.nurses + types;
    std::vector<std::pair<int, int>> arcs;
    arcs.reserve(static_cast<std::size_t>(in.nurses) * static_cast<std::size_t>(types) +
                 static_cast<std::size_t>(types));
    for (int n = 0; n < in.nurses; ++n)
        for (int t = 0; t < types; ++t)
            arcs.emplace_back(n, typeNode + t);
    for (int t = 0; t < types; ++t)
        arcs.emplace_back(typeNode + t, sink);

    using Graph = lemon::StaticDigraph;
    Graph graph;
    graph.build(sink + 1, arcs.begin(), arcs.end());
    Graph::ArcMap<std::int64_t> cost(graph, 0);
    Graph::ArcMap<std::int64_t> lower(graph, 0);
    Graph::ArcMap<std::int64_t> upper(graph, 1);
    Graph::NodeMap<std::int64_t> supply(graph, 0);
    for (int n = 0; n < in.nurses; ++n)
        supply[graph.node(n)] = 1;
    supply[graph.node(sink)] = -in.nurses;
    const int firstTypeArc = in.nurses * types;
    for (int t = 0; t < types; ++t)
        upper[graph.arc(firstTypeArc + t)] = in.nurses;

    lemon::NetworkSimplex<Graph, std::int64_t, std::int64_t> simplex(graph);
    Graph::ArcMap<std::int64_t> flow(graph);
    result.roster.assign(static_cast<std::size_t>(in.nurses) * static_cast<std::size_t>(in.days),
                         in.workingShifts);
    std::int64_t total = 0;
    for (int d = 0; d < in.days; ++d) {
        std::int64_t required = 0;
        for (int w = 0; w < in.workingShifts; ++w) {
            lower[graph.arc(firstTypeArc + w)] = in.cover(d, w);
            required += in.cover(d, w);
        }
        if (required > in.nurses) {
            result.infeasibleDay = d + 1;
            result.roster.clear();
            return result;
        }
        for (int n = 0; n < in.nurses; ++n)
            for (int t = 0; t < types; ++t)
                cost[graph.arc(n * types + t)] = in.cost(n, d, t);
        simplex.reset();
        simplex.costMap(cost).lowerMap(lower).upperMap(upper).supplyMap(supply);
        if (simplex.run() != decltype(simplex)::OPTIMAL) {
            result.infeasibleDay = d + 1;
            result.roster.clear();
            return result;
        }
        total += simplex.totalCost();
        simplex.flowMap(flow);
        for (int n = 0; n < in.nurses; ++n)
            for (int t = 0; t < types; ++t)
                if (flow[graph.arc(n * types + t)] > 0)
                    result.roster[gridIndex(n, in.days, d)] = t;
    }
    result.cost = total;
    return result;
}

} // namespace keldar::generator
