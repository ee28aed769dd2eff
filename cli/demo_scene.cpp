#include "cli/demo_scene.h"

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace lensfall::cli {

namespace {

using Vec = std::array<double, 3>;

Vec operator+(Vec a, Vec b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec operator-(Vec a, Vec b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec operator*(Vec a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(Vec a, Vec b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec normalised(Vec a) { return a * (1.0 / std::sqrt(dot(a, a))); }

struct Ball {
  const char *name;  // null: not listed among the scene's objects
  Vec centre;
  double radius;
  Vec colour;
  double emission;  // > 0: a light, not shaded
};

// A small deterministic hash for texture noise and light placement.
double hash(uint32_t n) {
  n = (n << 13U) ^ n;
  n = n * (n * n * 15731U + 789221U) + 1376312589U;
  return double(n & 0x7fffffffU) / double(0x7fffffff);
}

constexpr double kWallY = 18.0;

std::vector<Ball> demoBalls() {
  std::vector<Ball> balls = {
      {"NearBall", {-0.3, 1.9, 0.12}, 0.12, {0.05, 0.45, 0.42}, 0.0},
      {kDemoFocusObject, {0.0, 3.0, 0.15}, 0.15, {0.85, 0.35, 0.08}, 0.0},
      {"MidBall", {0.5, 5.0, 0.25}, 0.25, {0.35, 0.2, 0.6}, 0.0},
      {"FarBall", {-1.9, 9.0, 0.4}, 0.4, {0.7, 0.7, 0.65}, 0.0},
  };
  for (uint32_t k = 0; k < 36; ++k) {
    const double x = -3.0 + 6.0 * hash(k * 3 + 1);
    const double z = 0.55 + 0.85 * hash(k * 3 + 2);
    const double warmth = hash(k * 3 + 3);
    balls.push_back({nullptr,
                     {x, 15.0, z},
                     0.035,
                     {1.0, 0.75 + 0.2 * warmth, 0.45 + 0.4 * warmth},
                     12.0});
  }
  return balls;
}

}  // namespace

host::Frame makeDemoFrame(host::Scene &scene, int width, int height) {
  const Vec eye = {0.0, 0.0, 0.45};
  HostCameraLens lens;
  lens.focalLengthMm = 85.0;
  lens.horizontalFov = 2.0 * std::atan(18.0 / lens.focalLengthMm);
  lens.verticalFov =
      2.0 * std::atan(std::tan(lens.horizontalFov / 2.0) * height / width);
  lens.focalDistance = 3.0;
  scene.width = width;
  scene.height = height;
  scene.setCamera(lens, eye);
  scene.addObject("Ground", {0.0, 6.0, 0.0});
  scene.addObject("Wall", {0.0, kWallY, 3.0});
  const std::vector<Ball> balls = demoBalls();
  for (const Ball &ball : balls) {
    if (ball.name != nullptr) scene.addObject(ball.name, ball.centre);
  }

  host::Frame frame(width, height);
  frame.depth.assign(frame.pixels(), 0.0f);
  const double tx = std::tan(lens.horizontalFov / 2.0);
  const double ty = std::tan(lens.verticalFov / 2.0);
  const Vec light = normalised({-0.5, -0.6, 0.8});
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // The camera looks slightly down, so the ground recedes to the wall.
      const Vec ray =
          normalised({tx * (2.0 * (x + 0.5) / width - 1.0), 1.0,
                      ty * (1.0 - 2.0 * (y + 0.5) / height) - 0.05});
      double nearest = std::numeric_limits<double>::infinity();
      Vec colour = {0.0, 0.0, 0.0};
      // The wall far behind everything.
      if (ray[1] > 0.0) {
        nearest = (kWallY - eye[1]) / ray[1];
        const Vec p = eye + ray * nearest;
        const double stripe = std::fmod(std::fabs(p[0]) * 1.5, 1.0) < 0.5;
        const double noise = hash(uint32_t(x * 7919 + y * 104729));
        colour = Vec{0.05, 0.055, 0.07} * (0.8 + 0.25 * stripe + 0.1 * noise);
      }
      // The ground, checkered in half-metre squares.
      if (ray[2] < 0.0) {
        const double t = -eye[2] / ray[2];
        if (t < nearest) {
          nearest = t;
          const Vec p = eye + ray * t;
          const bool dark =
              (int(std::floor(p[0] * 4.0)) + int(std::floor(p[1] * 4.0))) & 1;
          const double noise = hash(uint32_t(x * 31337 + y * 7127));
          const double base = dark ? 0.08 : 0.55;
          colour = Vec{base, base * 0.97, base * 0.92} * (0.9 + 0.15 * noise);
        }
      }
      for (const Ball &ball : balls) {
        const Vec offset = eye - ball.centre;
        const double b = dot(offset, ray);
        const double c = dot(offset, offset) - ball.radius * ball.radius;
        const double discriminant = b * b - c;
        if (discriminant < 0.0) continue;
        const double t = -b - std::sqrt(discriminant);
        if (t <= 0.0 || t >= nearest) continue;
        nearest = t;
        if (ball.emission > 0.0) {
          colour = ball.colour * ball.emission;
        } else {
          const Vec normal = normalised(eye + ray * t - ball.centre);
          const double diffuse = std::max(0.0, dot(normal, light));
          colour = ball.colour * (0.15 + 0.85 * diffuse);
        }
      }
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      frame.red[i] = float(colour[0]);
      frame.green[i] = float(colour[1]);
      frame.blue[i] = float(colour[2]);
      frame.depth[i] = float(nearest);
    }
  }
  frame.resetOutput();
  return frame;
}

}  // namespace lensfall::cli
