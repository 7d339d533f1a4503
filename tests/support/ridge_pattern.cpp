#include "support/ridge_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quorvel::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;

// splitmix64: small, portable and fully specified, so the images never change with the
// standard library's random engines.
class Random {
public:
    explicit Random(uint32_t seed) : state_(0x9E3779B97F4A7C15ull ^ seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Roughly normal (Irwin-Hall of four), enough for sensor noise.
    double noise() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.732; }

private:
    uint64_t state_;
};

// The shape of one print, drawn once per image from the seed.
struct Print {
    double core_x, core_y;  // centre of the ridge loop, in pixels
    double finger_rx, finger_ry;
    double period_base, period_swing;  // ridge period in pixels and its variation
    double warp_amp[3], warp_fx[3], warp_fy[3], warp_phase[3];
    double loop_twist;   // angular term that bends circles into a loop
    double arch_weight;  // share of straight, arch-like ridges towards the bottom
    double background, bg_tilt_x, bg_tilt_y, ridge_depth, noise_sd;
};

Print draw_print(int width, int height, Random& rng) {
    Print p{};
    p.core_x = width * rng.range(0.40, 0.60);
    p.core_y = height * rng.range(0.35, 0.50);
    p.finger_rx = width * rng.range(0.38, 0.46);
    p.finger_ry = height * rng.range(0.44, 0.50);
    p.period_base = rng.range(8.0, 10.0);
    p.period_swing = rng.range(1.0, 2.5);
    for (int i = 0; i < 3; ++i) {
        p.warp_amp[i] = rng.range(0.3, 1.2);
        p.warp_fx[i] = rng.range(0.5, 2.5) * 2.0 * kPi / width;
        p.warp_fy[i] = rng.range(0.5, 2.5) * 2.0 * kPi / height;
        p.warp_phase[i] = rng.range(0.0, 2.0 * kPi);
    }
    p.loop_twist = rng.range(0.5, 1.5);
    p.arch_weight = rng.range(0.3, 0.7);
    p.background = rng.range(205.0, 230.0);
    p.bg_tilt_x = rng.range(-15.0, 15.0);
    p.bg_tilt_y = rng.range(-15.0, 15.0);
    p.ridge_depth = rng.range(120.0, 170.0);
    p.noise_sd = rng.range(4.0, 9.0);
    return p;
}

// Ridge phase in cycles at (x, y): loops round the core above, flattening into arches below,
// with a smooth warp so that frequency and orientation keep drifting.
double ridge_phase(const Print& p, double x, double y, int height) {
    const double dx = x - p.core_x;
    const double dy = (y - p.core_y) * 1.25;
    const double r = std::sqrt(dx * dx + dy * dy);
    const double angle = std::atan2(dy, dx);
    // smoothstep, so that the ridges bend into arches without a kink
    const double s = std::clamp((y - p.core_y + 0.1 * height) / (0.6 * height), 0.0, 1.0);
    const double arch = s * s * (3.0 - 2.0 * s) * p.arch_weight;
    double warp = 0.0;
    for (int i = 0; i < 3; ++i)
        warp += p.warp_amp[i] * std::sin(p.warp_fx[i] * x + p.warp_fy[i] * y + p.warp_phase[i]);
    const double period = p.period_base + p.period_swing * std::sin(2.0 * angle + 0.01 * r);
    const double loop = r / period + p.loop_twist * std::sin(angle) * (1.0 - arch);
    const double flat = (y - p.core_y) / period + 0.15 * dx * dx / (period * height);
    return (1.0 - arch) * loop + arch * flat + warp;
}

// 1 inside the finger, falling smoothly to 0 over its rim.
double finger_mask(const Print& p, double x, double y, int width, int height) {
    const double ex = (x - 0.5 * width) / p.finger_rx;
    const double ey = (y - 0.52 * height) / p.finger_ry;
    const double d = std::sqrt(ex * ex + ey * ey);
    return std::clamp((1.08 - d) / 0.16, 0.0, 1.0);
}

}  // namespace

std::vector<uint8_t> ridge_pattern(int width, int height, uint32_t seed) {
    if (width <= 0 || height <= 0) return {};
    Random rng(seed);
    const Print p = draw_print(width, height, rng);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double bg = p.background + p.bg_tilt_x * (x / double(width) - 0.5) +
                              p.bg_tilt_y * (y / double(height) - 0.5);
            const double phase = ridge_phase(p, x, y, height);
            const double ridge = 0.5 + 0.5 * std::cos(2.0 * kPi * phase);
            const double mask = finger_mask(p, x, y, width, height);
            const double value = bg - p.ridge_depth * ridge * mask + p.noise_sd * rng.noise();
            pixels[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::clamp(std::lround(value), 0l, 255l));
        }
    }
    return pixels;
}

}  // namespace quorvel::testing
