// a * b / c rounded half away from zero without overflow in between, as the platform's MulDiv;
// -1 when c is 0.
#pragma once

namespace orvane_platform {

inline int mul_div(long long a, long long b, long long c) {
    if (c == 0) return -1;
    long long p = a * b;
    if (c < 0) {
        p = -p;
        c = -c;
    }
    return static_cast<int>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

}  // namespace orvane_platform
