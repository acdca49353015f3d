// Every heap block of the test program counted at malloc itself, so that new, file views and
// the libraries' own allocations all show. A test program links heap_counter.cpp to have it.
#pragma once

namespace orvane_test {

struct heap_figures {
    long long bytes = 0;       // in use now
    long long peak_bytes = 0;  // the most in use since the last reset_heap_peak
    long long blocks = 0;      // in use now
};

// False in sanitizer builds, whose allocator must stay in place: the figures are then zero.
bool heap_counted();
heap_figures heap_now();
void reset_heap_peak();

}  // namespace orvane_test
