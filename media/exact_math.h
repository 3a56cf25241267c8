// The arithmetic the picture and the music share. Sine, exp, log and atan are
// our own: the C library's versions may round differently between releases,
// and a single changed bit would change the media's bytes.
#pragma once

#include <cmath>

constexpr double PI = 3.14159265358979323846;
constexpr double LN2 = 0.69314718055994530942;

inline double msin(double x)
{
    x -= std::floor(x / (2 * PI) + 0.5) * 2 * PI;
    if (x > PI / 2)
        x = PI - x;
    else if (x < -PI / 2)
        x = -PI - x;
    double x2 = x * x, term = x, sum = x;
    for (int n = 1; n < 12; ++n) {
        term *= -x2 / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

inline double mcos(double x)
{
    return msin(x + PI / 2);
}

inline double mexp(double x)
{
    if (x < -700)
        return 0;
    double k = std::floor(x / LN2 + 0.5);
    double r = x - k * LN2, term = 1, sum = 1;
    for (int n = 1; n < 20; ++n) {
        term *= r / n;
        sum += term;
    }
    return std::ldexp(sum, (int)k);
}

inline double mlog(double x)
{
    int e;
    double m = std::frexp(x, &e);  // m in [0.5, 1)
    // A mantissa near 1 keeps z small, and the series short.
    if (m < 0.70710678118654752) {
        m *= 2;
        --e;
    }
    double z = (m - 1) / (m + 1), z2 = z * z, term = z, sum = 0;
    for (int n = 0; n < 30; ++n) {
        sum += term / (2 * n + 1);
        term *= z2;
    }
    return 2 * sum + e * LN2;
}

inline double mpow(double a, double b)
{
    return a <= 0 ? 0 : mexp(b * mlog(a));
}

inline double matan(double x)
{
    bool neg = x < 0;
    x = std::fabs(x);
    bool inv = x > 1;
    if (inv)
        x = 1 / x;
    // Two half-angle steps make the series converge in a handful of terms.
    x = x / (1 + std::sqrt(1 + x * x));
    x = x / (1 + std::sqrt(1 + x * x));
    double x2 = x * x, term = x, sum = 0;
    for (int n = 0; n < 20; ++n) {
        sum += term / (2 * n + 1);
        term *= -x2;
    }
    sum *= 4;
    if (inv)
        sum = PI / 2 - sum;
    return neg ? -sum : sum;
}

inline double matan2(double y, double x)
{
    if (x > 0)
        return matan(y / x);
    if (x < 0)
        return y >= 0 ? matan(y / x) + PI : matan(y / x) - PI;
    return y > 0 ? PI / 2 : (y < 0 ? -PI / 2 : 0);
}

// Clamping and easing: the picture's edges and the music's envelopes.
inline double clamp01(double x)
{
    return x < 0 ? 0 : (x > 1 ? 1 : x);
}

inline double smooth(double e0, double e1, double x)
{
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

inline double mix(double a, double b, double t)
{
    return a + (b - a) * t;
}
