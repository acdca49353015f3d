// a * b / c rounded half away from zero without overflow in between, as the platform's
// MulDiv; c is positive (dialog base units, dots per inch, font units).
#pragma once

namespace orvane_platform {

inline int mul_div(long long a, long long b, long long c) {
    long long p = a * b;
    return static_cast<int>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

}  // namespace orvane_platform
