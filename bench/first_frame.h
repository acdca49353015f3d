// The time a terminal program takes from exec to its first complete frame, shared by the
// benchmarks.
#pragma once

#include <string>
#include <vector>

struct first_frame {
    double seconds = -1;
    long peak_kb = -1;
};

// Runs `args` in an 80 x 24 pseudo-terminal of its own; the frame is complete when the output
// holds every marker.
first_frame run_to_first_frame(const std::vector<std::string> &args, const std::vector<std::string> &markers);

double median(std::vector<double> v);
