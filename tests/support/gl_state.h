// Test support: GL state read back, and GL's column-major 4 x 4 matrices
// computed here without GLU and compared with what GL holds.
#pragma once
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

inline GLint gl_integer(GLenum what)
{
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}

using Matrix = std::array<double, 16>;

inline Matrix gl_matrix(GLenum which)
{
    Matrix m;
    glGetDoublev(which, m.data());
    return m;
}

inline Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix r{};
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++)
            for (int k = 0; k < 4; k++)
                r[col * 4 + row] += a[k * 4 + row] * b[col * 4 + k];
    return r;
}

// The viewing transform of an eye at (0, 0, 5) looking at the origin.
inline const Matrix eye_at_five = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1};

inline Matrix about_y(double degrees)
{
    double a = degrees * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
    return {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
}

inline Matrix about_x(double degrees)
{
    double a = degrees * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
    return {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
}

inline Matrix perspective(double fovy, double aspect, double near, double far)
{
    double f = 1.0 / std::tan(fovy * std::numbers::pi / 360.0);
    double z = (far + near) / (near - far), w = 2.0 * far * near / (near - far);
    return {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, z, -1, 0, 0, w, 0};
}

inline void expect_matrix_near(const Matrix& got, const Matrix& want, double tolerance)
{
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(got[i], want[i], tolerance) << "element " << i;
}
