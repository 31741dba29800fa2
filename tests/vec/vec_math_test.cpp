// Matrix, vector and orientation maths of the vector engine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "vec.h"
#include "vec_local.h"
#include "vec_test_util.h"

namespace {

void fill_matrix(vec_matrix m, float base) {
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) m[i][j] = base + static_cast<float>(i * 4 + j) * 0.37f - 2.0f;
}

void expect_row(const vec_matrix m, int row, float x, float y, float z) {
    EXPECT_NEAR(m[row][0], x, 1e-6) << "row " << row;
    EXPECT_NEAR(m[row][1], y, 1e-6) << "row " << row;
    EXPECT_NEAR(m[row][2], z, 1e-6) << "row " << row;
}

// The angle conversion of the engine: float -> double * 2 pi / 1024 -> float -> double.
double to_radians(float a) {
    return static_cast<double>(static_cast<float>(a * 0.006135923151542565));
}

TEST(VecMath, ProductMayOverwriteEitherOperand) {
    vec_matrix a, b, c, a2, b2;
    fill_matrix(a, 1.0f);
    fill_matrix(b, -0.5f);
    vec_matrixmul_4x4(a, b, c);
    // Element [1][2] summed in the documented order.
    const float e = a[1][0] * b[0][2] + a[1][1] * b[1][2] + a[1][2] * b[2][2] + a[1][3] * b[3][2];
    EXPECT_EQ(c[1][2], e);

    memcpy(a2, a, sizeof(a));
    vec_matrixmul_4x4(a2, b, a2);
    EXPECT_EQ(memcmp(a2, c, sizeof(c)), 0);
    memcpy(b2, b, sizeof(b));
    vec_matrixmul_4x4(a, b2, b2);
    EXPECT_EQ(memcmp(b2, c, sizeof(c)), 0);
}

TEST(VecMath, TransformsPointsInPlaceAndInverseRotation) {
    vec_matrix m;
    vec_init_qmatr(m);
    vec_calc_qrot(m, 100.0f, 37.0f, -250.0f);
    m[0][3] = 10.0f;
    m[1][3] = -20.0f;
    m[2][3] = 30.0f;
    float pts[6] = {1.0f, 2.0f, 3.0f, -4.0f, 5.0f, 0.5f};
    float out[6];
    vec_transf_vects(2, m, pts, out);
    vec_transf_vects(2, m, pts, pts); // in place gives the same
    EXPECT_EQ(memcmp(pts, out, sizeof(out)), 0);
    EXPECT_EQ(out[3], m[0][0] * -4.0f + m[0][1] * 5.0f + m[0][2] * 0.5f + m[0][3]);

    // The transpose undoes the rotation (the translation is ignored).
    float v[3] = {out[0] - 10.0f, out[1] + 20.0f, out[2] - 30.0f};
    vec_inverse_transf(m, v, v);
    EXPECT_NEAR(v[0], 1.0f, 1e-5);
    EXPECT_NEAR(v[1], 2.0f, 1e-5);
    EXPECT_NEAR(v[2], 3.0f, 1e-5);
}

TEST(VecMath, CrossProductAndNormalisation) {
    const float y[3] = {0, 1, 0};
    float a[3] = {2, 3, 4};
    vec_crossproduct(a, y, a); // output may be an operand
    EXPECT_EQ(a[0], -4.0f);
    EXPECT_EQ(a[1], 0.0f);
    EXPECT_EQ(a[2], 2.0f);

    float zero[3] = {0, 0, 0};
    vec_normalizevector(zero);
    EXPECT_EQ(zero[0], 1.0f);
    EXPECT_EQ(zero[1], 0.0f);
    EXPECT_EQ(zero[2], 0.0f);
    float nan[3] = {NAN, 1, 1};
    vec_normalizevector(nan);
    EXPECT_EQ(nan[0], 1.0f);
}

TEST(VecMath, RotationFromThreeAngles) {
    vec_matrix m;
    vec_init_qmatr(m);
    m[0][3] = 7.0f;
    vec_calc_qrot(m, 256.0f, 0.0f, 0.0f); // quarter turn about x
    float p[3] = {0, 1, 0};
    vec_transf_vects(1, m, p, p);
    EXPECT_NEAR(p[0], 7.0f, 1e-6); // translation column kept
    EXPECT_NEAR(p[1], 0.0f, 1e-6);
    EXPECT_NEAR(p[2], 1.0f, 1e-6);

    // Against Rz(c) Rx(a) Ry(b) in double precision, and bit-exact where an element is a plain sine.
    const float a = 123.0f, b = -77.5f, c = 900.0f;
    vec_calc_qrot(m, a, b, c);
    const double sa = std::sin(to_radians(a)), ca = std::cos(to_radians(a));
    const double sb = std::sin(to_radians(b)), cb = std::cos(to_radians(b));
    const double sc = std::sin(to_radians(c)), cc = std::cos(to_radians(c));
    const double rx[3][3] = {{1, 0, 0}, {0, ca, -sa}, {0, sa, ca}};
    const double ry[3][3] = {{cb, 0, -sb}, {0, 1, 0}, {sb, 0, cb}};
    const double rz[3][3] = {{cc, sc, 0}, {-sc, cc, 0}, {0, 0, 1}};
    double xy[3][3] = {}, all[3][3] = {};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++) xy[i][j] += rx[i][k] * ry[k][j];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++) all[i][j] += rz[i][k] * xy[k][j];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(m[i][j], all[i][j], 1e-6) << i << "," << j;
    EXPECT_EQ(m[2][1], static_cast<float>(sa));
    EXPECT_EQ(m[0][1], static_cast<float>(ca * sc));
    // sa * sc is rounded to float before it is used.
    EXPECT_EQ(m[0][0], static_cast<float>(cb * cc - static_cast<double>(static_cast<float>(sa * sc)) * sb));
}

TEST(VecMath, OrientationFromAxesAndDirection) {
    vec_matrix m;
    vec_init_qmatr(m);
    float front[3] = {0, 0, -5}, up[3] = {0, 2, 0};
    vec_calc_qtoaxis(m, front, up);
    EXPECT_EQ(front[2], -1.0f); // normalised in place
    EXPECT_EQ(up[1], 1.0f);
    expect_row(m, 0, -1, 0, 0); // up x front
    expect_row(m, 1, 0, 1, 0);
    expect_row(m, 2, 0, 0, -1);

    vec_init_qmatr(m);
    const float dir[3] = {0, 1, 0};
    vec_calc_qtodir(m, dir, 0.0f);
    expect_row(m, 0, 1, 0, 0);
    expect_row(m, 1, 0, 0, 1);
    expect_row(m, 2, 0, -1, 0);

    // Looking straight down the z axis falls back to (1, 0, 0) for the side row.
    vec_init_qmatr(m);
    const float down[3] = {0, 0, -3};
    vec_calc_qtodir(m, down, 0.0f);
    expect_row(m, 0, 1, 0, 0);
    expect_row(m, 1, 0, 1, 0);
    expect_row(m, 2, 0, 0, 1);

    // A quarter-turn roll about the view axis turns the side row into the up row.
    vec_init_qmatr(m);
    vec_calc_qtodir(m, dir, 256.0f);
    vec_matrix plain;
    vec_init_qmatr(plain);
    vec_calc_qtodir(plain, dir, 0.0f);
    for (int j = 0; j < 3; j++) {
        EXPECT_NEAR(m[2][j], plain[2][j], 1e-6);
        EXPECT_NEAR(std::fabs(m[0][j]), std::fabs(plain[1][j]), 1e-6);
    }
    // The view direction maps to -z in camera space.
    float p[3] = {0, 10, 0};
    vec_transf_vects(1, plain, p, p);
    EXPECT_NEAR(p[2], -10.0f, 1e-5);
}

TEST(VecMath, PendingMoveTurnAndMirror) {
    vec_object o;
    memset(&o, 0, sizeof(o));
    vec_init_qmatr(o.matrix);
    o.matrix[0][3] = 100.0f;
    vec_matrix before;
    memcpy(before, o.matrix, sizeof(before));
    EXPECT_EQ(vec_rotate_object(&o), 0);
    EXPECT_EQ(memcmp(before, o.matrix, sizeof(before)), 0); // zero turn: untouched

    // The turn is applied in front of the matrix: the translation turns too (a quarter turn about z).
    o.turn[2] = 256.0f;
    vec_rotate_object(&o);
    EXPECT_EQ(o.turn[2], 0.0f);
    EXPECT_NEAR(o.matrix[0][3], 0.0f, 1e-4);
    EXPECT_NEAR(o.matrix[1][3], -100.0f, 1e-4);

    o.move[0] = 5.0f;
    o.move[2] = -2.0f;
    EXPECT_EQ(vec_translate_object(&o), 0);
    EXPECT_NEAR(o.matrix[0][3], 5.0f, 1e-4);
    EXPECT_EQ(o.matrix[2][3], -2.0f);
    EXPECT_EQ(o.move[0], 0.0f);
    EXPECT_EQ(o.move[2], 0.0f);

    fill_matrix(o.work, 1.0f);
    memcpy(before, o.work, sizeof(before));
    vec_set_mirror(0);
    vec_mirror_object(&o);
    EXPECT_EQ(memcmp(before, o.work, sizeof(before)), 0);
    vec_set_mirror(5);
    vec_mirror_object(&o);
    vec_set_mirror(0);
    for (int j = 0; j < 4; j++) {
        EXPECT_EQ(o.work[1][j], before[1][j]);
        EXPECT_EQ(o.work[2][j], -before[2][j]);
    }
}

TEST(VecMath, IntegerSquareRoots) {
    vec_calc_sqrt();
    for (uint32_t n = 0; n < 200000; n++) {
        const uint32_t r = vec_isqrt(n);
        ASSERT_TRUE(uint64_t{r} * r <= n && uint64_t{r + 1} * (r + 1) > n) << n;
    }
    for (uint64_t k : {256ull, 257ull, 4095ull, 46340ull, 65535ull}) {
        EXPECT_EQ(vec_isqrt(static_cast<uint32_t>(k * k)), k);
        EXPECT_EQ(vec_isqrt(static_cast<uint32_t>(k * k - 1)), k - 1);
    }
    EXPECT_EQ(vec_isqrt(0xFFFFFFFFu), 65535u);
    uint32_t x = 12345;
    for (int i = 0; i < 100000; i++) {
        x = x * 1664525u + 1013904223u;
        const uint64_t r = vec_isqrt(x);
        ASSERT_TRUE(r * r <= x && (r + 1) * (r + 1) > x) << x;
    }
}

} // namespace
