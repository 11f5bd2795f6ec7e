#pragma once
// The sine that best fits a window of samples, in frequency, amplitude, phase and offset, and the
// signal to noise and distortion ratio of the window against it. Fitting the frequency too keeps
// a tiny residual rate error (a steered resampler a fraction of a ppm off) from counting as
// noise. Portable: no platform headers.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace tone {

// Solves the n x n system m (augmented with its right-hand side in column n) in place.
template <int N>
void solve(double (&m)[N][N + 1], double (&x)[N])
{
    for (int p = 0; p < N; ++p) {
        int best = p;
        for (int r = p + 1; r < N; ++r) {
            if (std::abs(m[r][p]) > std::abs(m[best][p])) {
                best = r;
            }
        }
        for (int c = 0; c <= N; ++c) {
            std::swap(m[p][c], m[best][c]);
        }
        for (int r = 0; r < N; ++r) {
            if (r != p && m[p][p] != 0.0) {
                const double factor = m[r][p] / m[p][p];
                for (int c = p; c <= N; ++c) {
                    m[r][c] -= factor * m[p][c];
                }
            }
        }
    }
    for (int r = 0; r < N; ++r) {
        x[r] = m[r][r] != 0.0 ? m[r][N] / m[r][r] : 0.0;
    }
}

// The least-squares sine y = a cos(w t) + b sin(w t) + c of one window, t counted from the
// window's middle; with `refine`, also corrects w by one Gauss-Newton step. The sines are
// rotated from one sample to the next rather than evaluated.
struct SineFit {
    double w = 0.0; // radians per sample
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;

    void step(const std::vector<double>& y, bool refine)
    {
        const double t0 = -0.5 * static_cast<double>(y.size() - 1);
        const double cw = std::cos(w);
        const double sw = std::sin(w);
        double cosine = std::cos(w * t0);
        double sine = std::sin(w * t0);
        double m[4][5] = {};
        for (std::size_t i = 0; i < y.size(); ++i) {
            const double t = t0 + static_cast<double>(i);
            const double basis[4] = {cosine, sine, 1.0, t * (b * cosine - a * sine)};
            const int n = refine ? 4 : 3;
            for (int r = 0; r < n; ++r) {
                for (int col = r; col < n; ++col) {
                    m[r][col] += basis[r] * basis[col];
                }
                m[r][4] += basis[r] * y[i];
            }
            const double next = cosine * cw - sine * sw;
            sine = sine * cw + cosine * sw;
            cosine = next;
        }
        if (refine) {
            for (int r = 0; r < 4; ++r) {
                for (int col = 0; col < r; ++col) {
                    m[r][col] = m[col][r];
                }
            }
            double x[4] = {};
            solve<4>(m, x);
            a = x[0];
            b = x[1];
            c = x[2];
            w += x[3];
        } else {
            double m3[3][4] = {};
            for (int r = 0; r < 3; ++r) {
                for (int col = 0; col < 3; ++col) {
                    m3[r][col] = col >= r ? m[r][col] : m[col][r];
                }
                m3[r][3] = m[r][4];
            }
            double x[3] = {};
            solve<3>(m3, x);
            a = x[0];
            b = x[1];
            c = x[2];
        }
    }

    double sinad(const std::vector<double>& y) const
    {
        const double t0 = -0.5 * static_cast<double>(y.size() - 1);
        const double cw = std::cos(w);
        const double sw = std::sin(w);
        double cosine = std::cos(w * t0);
        double sine = std::sin(w * t0);
        double residual = 0.0;
        for (const double value : y) {
            const double error = value - (a * cosine + b * sine + c);
            residual += error * error;
            const double next = cosine * cw - sine * sw;
            sine = sine * cw + cosine * sw;
            cosine = next;
        }
        const double signal = (a * a + b * b) / 2.0;
        return 10.0 * std::log10(signal / (residual / static_cast<double>(y.size())));
    }
};

// SINAD of `y` against the sine fitted from the angular frequency `w` (radians per sample).
inline double fittedSinad(const std::vector<double>& y, double w)
{
    SineFit fit;
    fit.w = w;
    fit.step(y, false);
    for (int i = 0; i < 4; ++i) {
        fit.step(y, true);
    }
    fit.step(y, false);
    return fit.sinad(y);
}

} // namespace tone
