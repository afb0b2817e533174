// Preference targets from a grid of values at 0, 1 and in between: how many
// combinations each size meets within the tolerance, and the misses.
#include "generator/instance/instance.h"
#include "generator/instance/preferences.h"
#include "generator/instance/random.h"

#include <QElapsedTimer>
#include <cmath>
#include <cstdio>

using namespace keldar::generator;

int main(int argc, char **)
{
    struct Size {
        int nurses, days, working;
    };
    const Size sizes[] = {{10, 7, 3}, {25, 7, 4}, {40, 14, 3}, {100, 28, 4}};
    const double grid[] = {0, 0.1, 0.25, 0.5, 0.75, 0.9, 1};
    const bool verbose = argc > 1;
    for (const Size &size : sizes) {
        int met = 0;
        int total = 0;
        double worst = 0;
        QElapsedTimer clock;
        clock.start();
        for (double period : grid)
            for (double day : grid)
                for (double shift : grid) {
                    Instance instance =
                        Instance::blank(size.nurses, size.days, size.working, false);
                    const Indicators targets{period, day, shift, 0.5, 0.5, 0.5};
                    Random random(fileSeed(100, total));
                    buildPreferences(instance, targets, random);
                    const Indicators m = measure(instance);
                    double gap = 0;
                    for (int k = 0; k < 3; ++k)
                        gap = std::max(gap, std::fabs(m[std::size_t(k)] - targets[std::size_t(k)]));
                    worst = std::max(worst, gap);
                    ++total;
                    if (gap <= Tolerance + 1e-9)
                        ++met;
                    else if (verbose)
                        std::printf("  miss %dx%dx%d (%g %g %g) -> %.4f %.4f %.4f\n", size.nurses,
                                    size.days, size.working, period, day, shift, m[0], m[1], m[2]);
                }
        std::printf("%dx%dx%d: %d/%d within %.2f, worst %.4f, %.3f s\n", size.nurses, size.days,
                    size.working, met, total, Tolerance, worst,
                    static_cast<double>(clock.nsecsElapsed()) / 1e9);
    }
    return 0;
}
