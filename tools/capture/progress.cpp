// progress.cpp: progress line and --bench table of `capture` (main thread, between frames).
#include "progress.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr double kRedrawInterval = 0.1; // seconds between progress redraws

} // namespace

double now_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

int position_rows(int position) {
    return position / 100 * 64 + position % 100;
}

double range_fraction(int position, int from, int to) {
    int span = position_rows(to) - position_rows(from);
    if (span <= 0) return 0;
    double f = static_cast<double>(position_rows(position) - position_rows(from)) / span;
    return std::clamp(f, 0.0, 1.0);
}

void format_duration(char* buf, size_t size, double seconds) {
    if (!(seconds >= 0) || seconds > 359999) {
        snprintf(buf, size, "-:--");
        return;
    }
    int s = static_cast<int>(seconds + 0.5);
    if (s >= 3600)
        snprintf(buf, size, "%d:%02d:%02d", s / 3600 % 100, s / 60 % 60, s % 60);
    else
        snprintf(buf, size, "%d:%02d", s / 60 % 60, s % 60);
}

void format_progress(char* buf, size_t size, int width, int section, int position, long frames,
                     double fraction, double elapsed_s) {
    if (size == 0) return;
    char eta[32];
    // Too early for a steady estimate: the first sections are the cheapest.
    if (fraction < 0.02 || elapsed_s < 0.5)
        snprintf(eta, sizeof eta, "-:--");
    else
        format_duration(eta, sizeof eta, elapsed_s * (1 - fraction) / fraction);
    char head[64], tail[48];
    snprintf(head, sizeof head, "section %2d/11  pos %2d:%02d  frame %6ld  ", section, position / 100,
             position % 100, frames);
    snprintf(tail, sizeof tail, "  %3d%%  ETA %s", static_cast<int>(fraction * 100), eta);
    int limit = std::min<int>(width, static_cast<int>(size) - 1);
    int bar = limit - static_cast<int>(strlen(head) + strlen(tail)) - 2;
    if (bar < 4) { // a narrow terminal: drop the bar, then cut the line
        snprintf(buf, size, "%s%s", head, tail + 2);
        if (static_cast<int>(strlen(buf)) > limit) buf[std::max(limit, 0)] = '\0';
        return;
    }
    bar = std::min(bar, 40);
    int filled = static_cast<int>(fraction * bar);
    char cells[48];
    for (int i = 0; i < bar; ++i) cells[i] = i < filled ? '#' : '.';
    cells[bar] = '\0';
    snprintf(buf, size, "%s[%s]%s", head, cells, tail);
}

void progress_init(progress_bar* p, bool quiet, int from, int to) {
    *p = progress_bar{};
    p->enabled = !quiet && isatty(STDERR_FILENO);
    p->from = from;
    p->to = to;
    p->started = now_seconds();
    winsize ws;
    if (p->enabled && ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        p->width = ws.ws_col - 1; // never touch the last column: some terminals wrap there
}

void progress_update(progress_bar* p, int section, int position, long frames) {
    if (!p->enabled) return;
    double now = now_seconds();
    if (p->last_draw >= 0 && now - p->last_draw < kRedrawInterval) return;
    p->last_draw = now;
    char line[256];
    format_progress(line, sizeof line, p->width, section, position, frames,
                    range_fraction(position, p->from, p->to), now - p->started);
    fprintf(stderr, "\r%s\033[K", line);
    fflush(stderr);
    p->drawn = true;
}

void progress_done(progress_bar* p) {
    if (p->drawn) fputs("\r\033[K", stderr);
    p->drawn = false;
}

bench_row bench_summary(std::vector<double>& times) {
    bench_row r{};
    r.frames = static_cast<int>(times.size());
    if (times.empty()) return r;
    std::sort(times.begin(), times.end());
    size_t mid = times.size() / 2;
    double median = times.size() % 2 ? times[mid] : (times[mid - 1] + times[mid]) / 2;
    double total = 0;
    for (double t : times) total += t;
    r.median_ms = median * 1000;
    r.slowest_ms = times.back() * 1000;
    r.fps = total > 0 ? times.size() / total : 0;
    return r;
}

void print_bench(FILE* out, bench_table* t, int fps) {
    fprintf(out,
            "virtual clock %d fps; frame time = CPU time of the one demo thread from one frame to the "
            "next (drawing, presenting, mixing)\n",
            fps);
    fprintf(out, "section  frames  median ms  slowest ms      fps\n");
    std::vector<double> all;
    for (int s = 0; s < kSections; ++s) {
        all.insert(all.end(), t->times[s].begin(), t->times[s].end());
        bench_row r = bench_summary(t->times[s]);
        if (r.frames == 0) continue;
        fprintf(out, "%7d  %6d  %9.2f  %10.2f  %7.0f\n", s + 1, r.frames, r.median_ms, r.slowest_ms, r.fps);
    }
    bench_row r = bench_summary(all);
    fprintf(out, "    all  %6d  %9.2f  %10.2f  %7.0f\n", r.frames, r.median_ms, r.slowest_ms, r.fps);
    fprintf(out, "start-up and first frame: %.1f ms\n", t->startup * 1000);
}
