#pragma once

namespace keldar::generator {

// The candidate nearest a goal so far.  Only a strictly smaller gap replaces
// it, so of equally near candidates the first offered stays.
template <typename T> struct Nearest {
    double gap;
    T value{};
    bool found = false;

    void offer(double candidateGap, const T &candidate)
    {
        if (candidateGap < gap) {
            gap = candidateGap;
            value = candidate;
            found = true;
        }
    }
};

} // namespace keldar::generator
