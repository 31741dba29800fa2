// vec_math.cpp: the vector engine's linear algebra: 4x4 matrices (row-major, translation in column 3),
// point transforms, cross product, normalisation, the three ways to build an orientation, and the per-frame
// object updates (pending move and turn, mirroring).
//
// Single precision throughout; sines, cosines and square roots are taken in double precision and rounded
// back to float. Angles are in 1/1024 of a turn. Every matrix product goes through one engine-wide scratch
// matrix so that the destination may be an operand; nothing here is re-entrant. Main thread only.
#include "vec.h"
#include "vec_local.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kAngleToRadians = 0.006135923151542565; // 2 pi / 1024
constexpr float kRefUp[3] = {0.0f, 0.0f, -1.0f};         // reference up of vec_calc_qtodir

vec_matrix scratch;    // receives every product before it is copied out
vec_matrix rot_matrix; // the rotation of vec_rotate_object
vec_matrix roll_matrix;

// Angle in 1/1024 turn to radians, rounded through float as the engine has always done.
double radians(float angle) {
    return static_cast<double>(static_cast<float>(angle * kAngleToRadians));
}

float fsin(double r) {
    return static_cast<float>(std::sin(r));
}
float fcos(double r) {
    return static_cast<float>(std::cos(r));
}

void set_row(vec_matrix m, int row, const float* v) {
    m[row][0] = v[0];
    m[row][1] = v[1];
    m[row][2] = v[2];
}

} // namespace

void vec_init_qmatr(vec_matrix m) {
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) m[i][j] = i == j ? 1.0f : 0.0f;
}

void vec_matrixmul_4x4(const vec_matrix a, const vec_matrix b, vec_matrix c) {
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            scratch[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + a[i][3] * b[3][j];
    memcpy(c, scratch, sizeof(scratch));
}

void vec_transf_vects(int n, const vec_matrix m, const float* in, float* out) {
    for (int k = n - 1; k >= 0; k--) {
        const float x = in[3 * k], y = in[3 * k + 1], z = in[3 * k + 2];
        out[3 * k] = m[0][0] * x + m[0][1] * y + m[0][2] * z + m[0][3];
        out[3 * k + 1] = m[1][0] * x + m[1][1] * y + m[1][2] * z + m[1][3];
        out[3 * k + 2] = m[2][0] * x + m[2][1] * y + m[2][2] * z + m[2][3];
    }
}

void vec_inverse_transf(const vec_matrix m, const float* in, float* out) {
    const float x = in[0], y = in[1], z = in[2];
    out[0] = m[0][0] * x + m[1][0] * y + m[2][0] * z;
    out[1] = m[0][1] * x + m[1][1] * y + m[2][1] * z;
    out[2] = m[0][2] * x + m[1][2] * y + m[2][2] * z;
}

void vec_crossproduct(const float* a, const float* b, float* out) {
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

void vec_normalizevector(float* v) {
    const float sum = v[1] * v[1] + v[2] * v[2] + v[0] * v[0];
    const float len = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    if (!(len > 0.0f)) {
        v[0] = 1.0f;
        v[1] = 0.0f;
        v[2] = 0.0f;
        return;
    }
    const float inv = 1.0f / len;
    v[0] *= inv;
    v[1] *= inv;
    v[2] *= inv;
}

void vec_calc_qrot(vec_matrix m, float a, float b, float c) {
    const double ra = radians(a), rb = radians(b), rc = radians(c);
    const double sa = std::sin(ra), ca = std::cos(ra);
    const double sb = std::sin(rb), cb = std::cos(rb);
    const double sc = std::sin(rc), cc = std::cos(rc);
    const double sasc = static_cast<float>(sa * sc);
    const double sacc = static_cast<float>(sa * cc);
    m[0][0] = static_cast<float>(cb * cc - sasc * sb);
    m[0][1] = static_cast<float>(ca * sc);
    m[0][2] = static_cast<float>(-sasc * cb - cc * sb);
    m[1][0] = static_cast<float>(-sacc * sb - sc * cb);
    m[1][1] = static_cast<float>(ca * cc);
    m[1][2] = static_cast<float>(-sacc * cb + sb * sc);
    m[2][0] = static_cast<float>(ca * sb);
    m[2][1] = static_cast<float>(sa);
    m[2][2] = static_cast<float>(ca * cb);
}

void vec_calc_qtoaxis(vec_matrix m, float* front, float* up) {
    vec_normalizevector(front);
    vec_normalizevector(up);
    float side[3];
    vec_crossproduct(up, front, side);
    vec_normalizevector(side);
    set_row(m, 0, side);
    set_row(m, 1, up);
    set_row(m, 2, front);
}

void vec_calc_qtodir(vec_matrix m, const float* dir, float roll) {
    float back[3] = {-dir[0], -dir[1], -dir[2]};
    vec_normalizevector(back);
    float side[3];
    vec_crossproduct(back, kRefUp, side);
    vec_normalizevector(side);
    float up[3];
    vec_crossproduct(back, side, up);
    vec_normalizevector(up);
    set_row(m, 0, side);
    set_row(m, 1, up);
    set_row(m, 2, back);

    // Roll about the view axis, built from a unit quaternion.
    float axis[3] = {back[0], back[1], back[2]};
    vec_normalizevector(axis);
    const float theta = static_cast<float>(radians(roll));
    const float half = theta * 0.5f;
    const float s = fsin(half), w = fcos(half);
    const float x = s * axis[0], y = s * axis[1], z = s * axis[2];
    auto twice = [](float t) { return t + t; };
    vec_matrix& r = roll_matrix;
    memset(r, 0, sizeof(r));
    r[0][0] = 1.0f - twice(y * y + z * z);
    r[0][1] = twice(x * y - z * w);
    r[0][2] = twice(x * z + y * w);
    r[1][0] = twice(x * y + z * w);
    r[1][1] = 1.0f - twice(x * x + z * z);
    r[1][2] = twice(y * z - x * w);
    r[2][0] = twice(x * z - y * w);
    r[2][1] = twice(y * z + x * w);
    r[2][2] = 1.0f - twice(x * x + y * y);
    r[3][3] = 1.0f;
    vec_matrixmul_4x4(m, r, m);
}

int vec_translate_object(vec_object* obj) {
    obj->matrix[0][3] += obj->move[0];
    obj->matrix[1][3] += obj->move[1];
    obj->matrix[2][3] += obj->move[2];
    obj->move[0] = obj->move[1] = obj->move[2] = 0.0f;
    return 0;
}

int vec_rotate_object(vec_object* obj) {
    if (obj->turn[0] == 0.0f && obj->turn[1] == 0.0f && obj->turn[2] == 0.0f) return 0;
    vec_init_qmatr(rot_matrix);
    vec_calc_qrot(rot_matrix, obj->turn[0], obj->turn[1], obj->turn[2]);
    obj->turn[0] = obj->turn[1] = obj->turn[2] = 0.0f;
    vec_matrixmul_4x4(rot_matrix, obj->matrix, obj->matrix);
    return 0;
}

void vec_mirror_object(vec_object* obj) {
    if (!vec_state.mirror) return;
    vec_matrix d;
    vec_init_qmatr(d);
    d[2][2] = -1.0f;
    vec_matrixmul_4x4(d, obj->work, obj->work);
}
