// progress.h: the progress line of long captures and the timing table of --bench.
//
// The progress line goes to standard error only when it is a terminal; it is redrawn in place at most
// ten times a second. The bench table collects one duration per frame per section and prints the median,
// the slowest frame and the frames per second.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

constexpr int kSections = 11;

// Song position as a row count (order * 64 + row), which grows with time at a steady tempo.
int position_rows(int position);

// The share of the range [from, to) that position has reached, 0..1.
double range_fraction(int position, int from, int to);

// One progress line, at most width characters, e.g.
// "section  8/11  pos 13:16  frame  5231  [#########.......]  58%  ETA 0:12"
void format_progress(char* buf, size_t size, int width, int section, int position, long frames,
                     double fraction, double elapsed_s);

// "m:ss" (or "h:mm:ss"); "-:--" for a negative or absurd value.
void format_duration(char* buf, size_t size, double seconds);

struct progress_bar {
    bool enabled = false;
    int from = 0, to = 2000;
    double started = 0, last_draw = -1;
    int width = 80;
    bool drawn = false;
};

// Enabled when standard error is a terminal and quiet is false.
void progress_init(progress_bar* p, bool quiet, int from, int to);
void progress_update(progress_bar* p, int section, int position, long frames);
void progress_done(progress_bar* p); // ends the line, if one was drawn

// Wall time in seconds from a monotonic clock.
double now_seconds();
// CPU time of the calling thread in seconds: frame costs that other programs on the machine do not skew.
double cpu_seconds();

struct bench_table {
    std::vector<double> times[kSections]; // frame times in seconds per section
    double startup = 0;                   // from start to the first frame (set-up and one frame)
};

struct bench_row {
    int frames;
    double median_ms, slowest_ms, fps;
};

// Median (mean of the middle two for an even count), slowest and frames per second of times; all 0 when
// empty. Reorders times.
bench_row bench_summary(std::vector<double>& times);
void print_bench(FILE* out, bench_table* t, int fps);
