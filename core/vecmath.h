// Vector and rotation math shared by the whole simulation.
//
// Conventions, stated once for every file of the project:
//   Earth frame: X north, Y up, Z east (north x up = east), origin at home, metres.
//   Body frame:  x forward along the model's axis, y up, z toward the right wing
//                (z = x cross y), origin at the centre of gravity.
//   Attitude `orient`: a Mat3 whose rows are the body x, y, z axes written in
//   earth coordinates. MatVec(orient, vEarth) gives body components;
//   MatVec(transpose(orient), vBody) gives earth components.
//
//   Rotation builders, applied with MatVec to a vector:
//     MRotX(a), MRotZ(a) turn the vector by -a about their axis (right-hand rule);
//     MRotY(a) turns it by +a about y;
//     MRotO(a, x, y, z) turns it by +a about the unit axis (x, y, z) (Rodrigues).
//   These sign patterns are load-bearing: the element geometry and the drawings
//   depend on exactly these matrices.
//
// Everything is double precision; every operation takes values and returns a
// new value.
#pragma once

#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <span>

namespace uav {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    friend bool operator==(const Vec3&, const Vec3&) = default;
};

// Row-major 3x3: m[i][j], row i, column j.
struct Mat3 {
    double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};

    Vec3 row(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
    void setRow(int i, const Vec3& v) {
        m[i][0] = v.x;
        m[i][1] = v.y;
        m[i][2] = v.z;
    }
    friend bool operator==(const Mat3&, const Mat3&) = default;
};

// Sum of the first n vectors of the list, accumulated from (0,0,0) in list
// order. n larger than the list is clamped to the list.
inline Vec3 VecSum(std::span<const Vec3> list, std::size_t n) {
    Vec3 s;
    if (n > list.size()) n = list.size();
    for (std::size_t i = 0; i < n; ++i) {
        s.x += list[i].x;
        s.y += list[i].y;
        s.z += list[i].z;
    }
    return s;
}
inline Vec3 VecSum(std::initializer_list<Vec3> list) {
    return VecSum(std::span<const Vec3>(list.begin(), list.size()), list.size());
}

inline Vec3 VecCross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vec3 VecScale(const Vec3& v, double k) { return {k * v.x, k * v.y, k * v.z}; }
inline double VecDot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double VecNorm(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
inline Vec3 VecAdd(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 VecSub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

inline Mat3 MatMul(const Mat3& a, const Mat3& b) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

inline Vec3 MatVec(const Mat3& m, const Vec3& v) {
    return {m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z,
            m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z,
            m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z};
}

inline Mat3 MatTranspose(const Mat3& a) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

inline Mat3 MatIdentity() {
    Mat3 r;
    r.m[0][0] = r.m[1][1] = r.m[2][2] = 1.0;
    return r;
}

inline Mat3 MRotX(double a) {
    const double ca = std::cos(a), sa = std::sin(a);
    return Mat3{{{1, 0, 0}, {0, ca, sa}, {0, -sa, ca}}};
}
inline Mat3 MRotY(double a) {
    const double ca = std::cos(a), sa = std::sin(a);
    return Mat3{{{ca, 0, sa}, {0, 1, 0}, {-sa, 0, ca}}};
}
inline Mat3 MRotZ(double a) {
    const double ca = std::cos(a), sa = std::sin(a);
    return Mat3{{{ca, sa, 0}, {-sa, ca, 0}, {0, 0, 1}}};
}
// Right-hand rotation by a (radians) about the unit axis (x, y, z); the axis
// is not normalised here.
inline Mat3 MRotO(double a, double x, double y, double z) {
    const double ca = std::cos(a), sa = std::sin(a), t = 1.0 - ca;
    return Mat3{{{x * x * t + ca, x * y * t - z * sa, x * z * t + y * sa},
                 {x * y * t + z * sa, y * y * t + ca, y * z * t - x * sa},
                 {x * z * t - y * sa, y * z * t + x * sa, z * z * t + ca}}};
}
inline Mat3 MRotO(double a, const Vec3& axis) { return MRotO(a, axis.x, axis.y, axis.z); }

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2),
// whatever the floating-point rounding mode: the rule for every real-to-integer
// conversion (slider positions, pixels, quantised servo steps).
inline double roundHalfEven(double x) {
    if (std::fabs(x - std::trunc(x)) == 0.5) return 2.0 * std::round(x / 2.0);
    return std::round(x);
}

inline constexpr double PI = 3.14159265358979323846;
inline constexpr double DEG_TO_RAD = PI / 180.0;
inline constexpr double KMH_PER_MS = 3.6;

}  // namespace uav
