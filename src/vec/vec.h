// vec.h: the vector engine. A small flat-shaded 3D renderer over plain records.
//
// Units: angles in 1/1024 of a full turn; world coordinates = scene-file units * 256; screen positions in
// 1/256 pixel; shade values are intensity * 256 held in floats (65280.0 = full). Single precision, except
// sines, cosines and square roots, which are taken in double precision and rounded back to float.
// Matrices are 4x4 floats, row-major m[row][column]; a point maps as x' = m[0][0]x + m[0][1]y + m[0][2]z +
// m[0][3] (translation in column 3).
//
// USAGE: vec_init(&world); vec_init_cam(&cam, &world); vec_set_camres(&cam, w, h, bits); cam.screen = ...;
// vec_get_camera(scene, size, 1, &cam); vec_get_objects(scene, size, &world); then per frame move objects
// and the camera and call vec_render_world(&cam). Functions that can fail return 0 = success, 1 = failure.
// Single-threaded: the engine keeps process-wide settings and scratch state.
#pragma once
#include <cstddef>
#include <cstdint>

using vec_matrix = float[4][4];

struct vec_object;

struct vec_objnode {
    vec_object* object;
    vec_objnode* next;
    vec_objnode* parent;
    int level;           // hierarchy level used to find the parent
    int mask;            // 15 at insertion; not read by the engine
    int32_t reserved[6]; // 0; not read by the engine
};

struct vec_objlist {
    vec_objnode* first;
    int count;
    vec_objnode* last; // the tail, so that appending takes constant time; null when empty
};

// Counters shared by an object and all its copies.
struct vec_objshare {
    int copies;     // extra owners of faces, verts, uv and this block
    int normcopies; // extra owners of normals
    int lists;      // insertions of the object or a copy into a list
};

// Three vertex indices and a fourth word (-1 for a triangle). A word with bit 27 set is an absent vertex.
struct vec_face {
    int32_t v[4];
};

// One polygon corner handed to the filler.
struct vec_pvert {
    int32_t x, y;   // screen position in 1/256 pixel
    int32_t u, v;   // texture coordinates
    int32_t u2, v2; // second coordinate pair
    int32_t shade;  // intensity * 256
    int32_t z;
};

// A world or a camera (a camera is a copy of a world record, sharing its object list).
struct vec_world {
    vec_objlist* objects;
    vec_objnode* seek; // cursor of vec_seek_obj
    int cammode;       // 0: look at target rolled by angles[2]; 1: from angles; 2: from front and up
    float pos[3];
    float target[3];
    float up[3];
    float front[3];
    float angles[3];
    float eyeofs[3];
    vec_matrix matrix;
    int xres, yres;
    int bits;   // 8: palette indices, 32: 0x00RRGGBB words
    int aspect; // 256 = square pixels
    void* screen;
    int32_t* zbuffer; // xres * yres entries, or null
    char name[11];
};

// Bits of vec_object::flags. The low byte, with kVecUnshaded, is the polygon filler's fill type
// (vec_set_filltype); the render pipeline adds kVecZTest itself when a z-buffer is set.
constexpr uint32_t kVecFlat = 0x1;          // one shade per polygon from vec_shade
constexpr uint32_t kVecSmooth = 0x2;        // a shade per corner from the vertex normals
constexpr uint32_t kVecUvMap = 0x4;         // texture mapped with uv
constexpr uint32_t kVecNormalMap = 0x8;     // mapped by the camera-space normals (second coordinate pair)
constexpr uint32_t kVecBothMaps = 0x10;     // both mappings: two textures and a third
constexpr uint32_t kVecPlainTexture = 0x20; // texture without interpolated coordinates
constexpr uint32_t kVecZTest = 0x40;        // z-buffer test
constexpr uint32_t kVecPerspective = 0x80;  // perspective-correct interpolation (z kept in every corner)
constexpr uint32_t kVecTwoSided = 0x100;    // back faces drawn too, reversed, with the back-side texture
constexpr uint32_t kVecUnshaded = 0x200;    // with kVecFlat: the flat shade is not applied to the colour
constexpr uint32_t kVecTexturedByUv = kVecUvMap | kVecBothMaps | kVecPlainTexture;
constexpr uint32_t kVecTexturedByNormals = kVecNormalMap | kVecBothMaps;

struct vec_object {
    int nverts;
    int nfaces;
    uint32_t flags;  // kVec* bits
    vec_face* faces; // shared with copies
    float* verts;    // nverts * 3, shared with copies
    float* uv;       // nverts * 2 or null, scaled by 65536, shared with copies
    float* normals;  // nverts * 3 or null, length up to 30976, shared with copies
    float pos[3];
    float move[3]; // pending translation
    float turn[3]; // pending rotation angles
    vec_matrix matrix;
    vec_matrix work;  // object-to-camera, rebuilt every frame
    vec_matrix local; // local axes from the scene file; translation column = minus the pivot
    char name[11];
    char material[17];
    const void* texture[4];
    uint32_t color;
    vec_objshare* share;
    float radius;
    float depth;     // camera-space distance of the pivot; 2147483648.0 = culled this frame
    float* tverts;   // nverts * 3, per instance
    float* scrverts; // nverts * 2, per instance
    float* tnormals; // nverts * 3 or null, per instance
    float pivot[3];
    float light[3];
};

// --- set-up, world, camera and objects ---
int vec_init(vec_world* world);
void vec_close(vec_world* world);
int vec_init_sys();
void vec_close_sys();
int vec_init_cam(vec_world* cam, vec_world* world);
int vec_set_camres(vec_world* cam, int width, int height, int bits);
// A z-buffer belongs to the record that set it: vec_set_zbuffer and vec_set_camres release the one they
// replace, so of a record and its copies (vec_init_cam) only one may replace a shared z-buffer.
int vec_set_zbuffer(vec_world* cam, int on);
int vec_set_res(int width, int height, int bits);
int vec_set_aspect(int aspect);
void vec_set_lsrc(const float* position);
void vec_set_range(int base, int range);
void vec_set_mirror(int flag);
void vec_seek_set(vec_world* world);
vec_object* vec_seek_obj(vec_world* world);
int vec_add_object(vec_world* world, vec_object* obj, int level);
vec_object* vec_alloc_object(int nverts, int nfaces, int with_uv);
// vec_init_object returns 1 (changing nothing) if a face names a vertex the object lacks: the first three
// words must be vertex indices, the fourth a vertex index or negative.
int vec_init_object(vec_object* obj);
vec_object* vec_copy_object(vec_world* world, vec_object* src, int n);
void vec_free_object(vec_object* obj);
// Releases a world's list, its nodes and every listed object with its copies (at shut-down; a camera
// copied from the world shares the list and must not be rendered afterwards). Linear in the list's length.
void vec_free_world(vec_world* world);
// Builds the table behind vec_isqrt (vec_init_sys does this); vec_isqrt(n) = floor(sqrt(n)), exact.
void vec_calc_sqrt();
uint32_t vec_isqrt(uint32_t n);

// --- 3D Studio scene reader ---
// vec_set_source(1) reads from memory (src = the scene bytes, size = their count); vec_set_source(0) reads
// from a file (src = a path, size ignored). Safe for untrusted data: a malformed scene, or one whose
// objects would take more memory than its size allows (32 bytes per byte of the file and 1 MB), returns 1.
// After a read, vec_errorstr is "" or says why it failed.
extern const char* vec_errorstr;
void vec_set_source(int memory);
int vec_load_camera(const void* src, size_t size, int number, vec_world* cam);
int vec_load_objects(const void* src, size_t size, vec_world* world);
int vec_get_camera(const uint8_t* scene, size_t size, int number, vec_world* cam);
int vec_get_objects(const uint8_t* scene, size_t size, vec_world* world);

// --- vector and quaternion math ---
void vec_init_qmatr(vec_matrix m);
void vec_matrixmul_4x4(const vec_matrix a, const vec_matrix b, vec_matrix c);
void vec_transf_vects(int n, const vec_matrix m, const float* in, float* out);
void vec_inverse_transf(const vec_matrix m, const float* in, float* out);
void vec_crossproduct(const float* a, const float* b, float* out);
void vec_normalizevector(float* v);
void vec_calc_qrot(vec_matrix m, float a, float b, float c);
void vec_calc_qtoaxis(vec_matrix m, float* front, float* up);
void vec_calc_qtodir(vec_matrix m, const float* dir, float roll);
int vec_translate_object(vec_object* obj);
int vec_rotate_object(vec_object* obj);
void vec_mirror_object(vec_object* obj);

// --- render pipeline ---
// Draws the camera's world into cam->screen; returns 0. Allocates nothing after the first frame of a list.
int vec_render_world(vec_world* cam);
void vec_init_sort();
int vec_tell_sorttype();
void vec_project_object(vec_object* obj, int width, int height, float aspect);
int vec_visicalc(vec_object* obj);
void vec_init_shading(vec_object* obj);
float vec_shade(vec_object* obj, int index);
int vec_draw_objects();

// Depth sorts. byte_radix returns `count` (key, input index) pairs in ascending order of the keys' low
// `passes` bytes, stable, least significant byte first; scratch holds 2 * count pairs.
struct vec_sortpair {
    int32_t key;
    int32_t index;
};
const vec_sortpair* byte_radix(int count, const int32_t* keys, vec_sortpair* scratch, int passes);
// counting_sort: the same, by whole keys in 0..maxkey (maxkey at most 65535, else null is returned; keys
// outside the range sort as the nearest bound).
const vec_sortpair* counting_sort(int count, const int32_t* keys, vec_sortpair* scratch, int maxkey);

// --- polygon filler and z-buffer ---
void vec_init_fill();
void vec_close_fill();
int vec_set_fillres(int width, int height, int bits);
int vec_set_bufs(void* screen, int32_t* zbuffer);
int32_t* vec_tell_zbuffer();
void vec_clear_zbuffer();
void vec_set_texture(const void* image, int slot);
int vec_set_filltype(uint32_t type);
void vec_poly(int count, vec_pvert* corners, uint32_t colour);
