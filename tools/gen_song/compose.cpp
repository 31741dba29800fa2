// The song itself: seven patterns in A minor at 130 BPM (speed 6, four rows a beat, sixteen rows a bar)
// and the 21-entry order table that lays them along the demo's picture.
//
// Channels: 0 drums (kick, snare, hat, boom), 1 pad or riser, 2 bass, 3 bell arpeggios or lead.
// Patterns and where they play:
//   0 intro      pad swell, booms on rows 8 and 40       orders 0, 11 (breakdown), 18 (fade), 20
//   1 build      four-to-the-floor, riser, snare roll     orders 1, 7, 12
//   2 groove     beat, bass, bell arpeggio, booms 0/32    orders 2, 4, 13
//   3 theme      as 2 with the lead melody                orders 3, 5, 6, 14
//   4 hook       loud drop, booms on rows 0, 8, 32, 40    orders 8, 15, 17
//   5 breakbeat  kicks, bass and stabs on rows 0, 3, 24, 27, 42, 59, 62   orders 9, 10, 16
//   6 ending     last chord dying away, silent from row 40  order 19
// Only the commands 2 (portamento down), A (volume slide), C (set volume) and F (speed/tempo) are used.
#include "gen_song.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

// Periods of notes C-1 .. B-3 (finetune 0).
constexpr uint16_t kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                   428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                   214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

// "A-2", "C#3" -> 0..35 (C-1 = 0); a bad name stops the generator (at compile time where it is constant).
constexpr int note(const char* name) {
    constexpr int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    if (name[0] < 'A' || name[0] > 'G') throw "bad note name";
    int octave = name[2] - '1';
    if (octave < 0 || octave > 2) throw "octave out of range";
    return octave * 12 + kSemitone[name[0] - 'A'] + (name[1] == '#' ? 1 : 0);
}

constexpr int kOctave = 12;

struct Chord {
    int bass;     // bass note, octave 1..2
    int pad;      // root of the pad's open fifth
    int tones[4]; // bell arpeggio, low to high
};

constexpr Chord kAm{note("A-1"), note("A-1"), {note("A-2"), note("C-3"), note("E-3"), note("A-3")}};
constexpr Chord kF{note("F-1"), note("F-1"), {note("F-2"), note("A-2"), note("C-3"), note("F-3")}};
constexpr Chord kC{note("C-2"), note("C-2"), {note("G-2"), note("C-3"), note("E-3"), note("G-3")}};
constexpr Chord kG{note("G-1"), note("G-1"), {note("G-2"), note("B-2"), note("D-3"), note("G-3")}};

enum Channel { kDrums = 0, kPadCh = 1, kBassCh = 2, kTop = 3 };

// Writes one pattern; refuses to put two things into one cell, which would silently lose one of them.
struct Writer {
    Pattern& p;

    Cell& at(int row, int ch) {
        if (row < 0 || row >= kRows || ch < 0 || ch >= kChannels) fail("cell out of range", row, ch);
        return p.cells[row][ch];
    }
    [[noreturn]] static void fail(const char* what, int row, int ch) {
        std::fprintf(stderr, "gen_song: %s at row %d channel %d\n", what, row, ch);
        std::exit(1);
    }
    // Starts a note; volume -1 keeps the sample's default volume, otherwise a C command sets it.
    void hit(int row, int ch, uint8_t sample, int nt, int volume = -1) {
        Cell& c = at(row, ch);
        if (c.period) fail("two notes in one cell", row, ch);
        if (nt < 0 || nt >= 36) fail("note out of range", row, ch);
        c.sample = sample;
        c.period = kPeriods[nt];
        if (volume >= 0) fx(row, ch, 0xC, volume);
    }
    void fx(int row, int ch, uint8_t command, int param) {
        Cell& c = at(row, ch);
        if (c.command || c.param) fail("two commands in one cell", row, ch);
        c.command = command;
        c.param = static_cast<uint8_t>(param);
    }
    void off(int row, int ch) { fx(row, ch, 0xC, 0); }
    // Volume slide on every row of [from, to): param 0xX0 up by X per tick, 0x0Y down by Y per tick.
    void slide(int from, int to, int ch, int param, int every = 1) {
        for (int r = from; r < to; r += every) fx(r, ch, 0xA, param);
    }
};

// Linear ramp from `from` at row 0 to `to` at row 63.
int ramp(int from, int to, int row) {
    return from + (to - from) * row / (kRows - 1);
}

struct Drum {
    char letter;
    uint8_t sample;
    int volume; // at level 100
};
constexpr Drum kKit[] = {{'k', kKick, 56}, {'s', kSnare, 48}, {'g', kSnare, 20}, // g: ghost snare
                         {'h', kHat, 24},  {'H', kHat, 32},   {'b', kBoom, 60}}; // H: accented hat

// Drum line, one character a row (letters of kKit), '.' for nothing. Volumes are scaled by a level
// in percent that runs from `level` to `level_end` over the pattern (a crescendo when it rises).
void drums(Writer& w, const char* line, int level, int level_end = -1) {
    if (level_end < 0) level_end = level;
    if (std::strlen(line) != kRows) Writer::fail("drum line is not 64 rows", 0, kDrums);
    for (int r = 0; r < kRows; r++) {
        if (line[r] == '.') continue;
        const Drum* drum = std::find_if(std::begin(kKit), std::end(kKit),
                                        [&](const Drum& d) { return d.letter == line[r]; });
        if (drum == std::end(kKit)) Writer::fail("bad drum letter", r, kDrums);
        w.hit(r, kDrums, drum->sample, note("C-3"), drum->volume * ramp(level, level_end, r) / 100);
    }
}

// A 64-row line of '.' with the given letters at the given rows.
std::string sparse(std::initializer_list<std::pair<int, char>> hits) {
    std::string line(kRows, '.');
    for (auto [row, letter] : hits) line.at(row) = letter;
    return line;
}

// Bass line over one chord a bar: R root, O octave up, '.' holds; volumes run from `volume` to `volume_end`.
void bassline(Writer& w, const char* line, const Chord* bars, int volume, int volume_end = -1) {
    if (volume_end < 0) volume_end = volume;
    if (std::strlen(line) != kRows) Writer::fail("bass line is not 64 rows", 0, kBassCh);
    for (int r = 0; r < kRows; r++) {
        const Chord& chord = bars[r / 16];
        if (line[r] == 'R')
            w.hit(r, kBassCh, kBass, chord.bass, ramp(volume, volume_end, r));
        else if (line[r] == 'O')
            w.hit(r, kBassCh, kBass, chord.bass + kOctave, ramp(volume, volume_end, r));
        else if (line[r] != '.')
            Writer::fail("bad bass letter", r, kBassCh);
    }
}

// Bell arpeggio in eighths over rows [from, to), tones taken by the digits of `figure` (8 per bar).
void arpeggio(Writer& w, const Chord* bars, int from, int to, int volume, const char* figure = "01232123") {
    for (int r = from; r < to; r += 2) {
        int tone = figure[(r % 16) / 2] - '0';
        w.hit(r, kTop, kBell, bars[r / 16].tones[tone], volume);
    }
}

// Pad: one chord per bar (a bar whose root repeats is held), at `volume`.
void pad_chords(Writer& w, const Chord* bars, int volume) {
    for (int bar = 0; bar < 4; bar++)
        if (bar == 0 || bars[bar].pad != bars[bar - 1].pad)
            w.hit(bar * 16, kPadCh, kPad, bars[bar].pad, volume);
}

struct Phrase {
    int row;
    const char* name;
    int length; // rows; the note is cut with C00 unless the next note starts first
    int volume;
};

void melody(Writer& w, const Phrase* notes, int count, uint8_t sample) {
    for (int i = 0; i < count; i++) {
        const Phrase& n = notes[i];
        w.hit(n.row, kTop, sample, note(n.name), n.volume);
        int end = n.row + n.length;
        bool next_starts = i + 1 < count && notes[i + 1].row == end;
        if (!next_starts && end < kRows) w.off(end, kTop);
    }
}

// 0: intro. Pad swells in over A minor, the bell joins, two soft booms, bass from the third bar.
Pattern intro() {
    static constexpr Chord kBars[4] = {kAm, kAm, kF, kG};
    Pattern p{};
    Writer w{p};
    w.fx(0, kDrums, 0xF, 6);         // speed 6
    w.fx(0, kBassCh, 0xF, 130);      // tempo 130
    w.hit(0, kPadCh, kPad, kAm.pad); // default volume 24, then swell to 44
    w.slide(2, 10, kPadCh, 0x10, 2);
    w.hit(32, kPadCh, kPad, kF.pad, 44);
    w.hit(48, kPadCh, kPad, kG.pad, 46);
    drums(w, sparse({{8, 'b'}, {40, 'b'}, {56, 'h'}, {60, 'h'}, {62, 'h'}, {63, 'h'}}).c_str(), 70);
    arpeggio(w, kBars, 16, 64, 18);
    bassline(w, "................................R.......R.......R.......R...R...", kBars, 30);
    return p;
}

// 1: build. Kicks on every beat, the pad gives way to the riser, the snare rolls into the next pattern.
Pattern build() {
    static constexpr Chord kBars[4] = {kF, kG, kAm, kG};
    Pattern p{};
    Writer w{p};
    w.hit(0, kDrums, kBoom, note("C-3"), 54);
    drums(w, "....k...k...k...k...k...k...k...k...k.h.k...k.h.................", 40, 100);
    for (int r = 48; r < 64; r++) w.hit(r, kDrums, kSnare, note("C-3"), 16 + (r - 48) * 2);
    w.hit(0, kPadCh, kPad, kF.pad, 30);
    w.hit(16, kPadCh, kPad, kG.pad, 32);
    w.hit(32, kPadCh, kRiser, note("C-3"), 44);
    bassline(w, "R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.R.RORORORORORORORO", kBars, 22, 46);
    for (int r = 0; r < 64; r += 2) {
        int tone = "01230123"[(r % 16) / 2] - '0';
        w.hit(r, kTop, kBell, kBars[r / 16].tones[tone], 12 + r / 3);
    }
    return p;
}

constexpr Chord kMainBars[4] = {kAm, kF, kC, kG};
constexpr const char* kGrooveDrums = "b.h.s.h.k.hks.h.k.h.s.h.k.hks.h.b.h.s.h.k.hks.h.k.h.s.h.k.hks.hs";

// 2: groove. The full beat with booms on rows 0 and 32, a bouncing bass and the bell arpeggio.
Pattern groove() {
    Pattern p{};
    Writer w{p};
    drums(w, kGrooveDrums, 85);
    pad_chords(w, kMainBars, 30);
    bassline(w, "R.R.O.R.R.O.R.O.R.R.O.R.R.O.R.O.R.R.O.R.R.O.R.O.R.R.O.R.R.O.ROO.", kMainBars, 38);
    arpeggio(w, kMainBars, 0, 64, 22);
    return p;
}

// 3: theme. The groove under the lead melody; the last note falls off with a portamento down.
Pattern theme() {
    static constexpr Phrase kTune[] = {
        {0, "E-3", 6, 36},  {6, "D-3", 2, 34},  {8, "C-3", 4, 36},  {12, "B-2", 2, 32}, {14, "C-3", 2, 34},
        {16, "A-2", 8, 36}, {24, "C-3", 4, 34}, {28, "F-3", 4, 36}, {32, "E-3", 6, 38}, {38, "D-3", 2, 34},
        {40, "E-3", 2, 36}, {42, "G-3", 6, 38}, {48, "D-3", 12, 36}};
    Pattern p{};
    Writer w{p};
    drums(w, kGrooveDrums, 90);
    pad_chords(w, kMainBars, 28);
    bassline(w, "R...R.O.R...R.O.R...R.O.R...R.O.R...R.O.R...R.O.R...R.O.R...R.O.", kMainBars, 40);
    melody(w, kTune, sizeof kTune / sizeof kTune[0], kLead);
    w.slide(54, 58, kTop, 0x01);
    w.fx(58, kTop, 0x2, 6);
    w.fx(59, kTop, 0x2, 10);
    return p;
}

// 4: hook. Booms on rows 0, 8, 32 and 40, a driving bass and the loud lead hook.
Pattern hook() {
    static constexpr Phrase kTune[] = {
        {0, "A-3", 2, 44},  {3, "A-3", 2, 34},  {6, "G-3", 2, 34},  {8, "E-3", 6, 42},  {14, "D-3", 2, 40},
        {16, "C-3", 3, 44}, {19, "C-3", 3, 40}, {22, "D-3", 2, 40}, {24, "C-3", 4, 44}, {28, "A-2", 4, 40},
        {32, "G-3", 2, 44}, {35, "G-3", 2, 34}, {38, "E-3", 2, 34}, {40, "G-3", 6, 42}, {46, "A-3", 2, 40},
        {48, "B-3", 6, 44}, {54, "A-3", 2, 40}, {56, "G-3", 4, 42}, {60, "D-3", 3, 40}};
    Pattern p{};
    Writer w{p};
    drums(w, "b.H.s.H.b.Hks.H.k.H.s.H.k.Hks.hhb.H.s.H.b.Hks.H.k.H.s.Hks.kssshs", 95);
    pad_chords(w, kMainBars, 34);
    bassline(w, "R.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.ROR.RO", kMainBars, 40);
    melody(w, kTune, sizeof kTune / sizeof kTune[0], kLead);
    return p;
}

// 5: breakbeat. Kicks, bass and lead stabs on rows 0, 3, 24, 27, 42, 59 and 62, softer notes between.
Pattern breakbeat() {
    static constexpr Phrase kStabs[] = {
        {0, "E-3", 2, 46},  {3, "E-3", 2, 44},  {6, "G-3", 2, 30},  {8, "A-3", 2, 32},  {11, "G-3", 2, 30},
        {14, "E-3", 2, 30}, {19, "C-3", 2, 30}, {22, "D-3", 2, 30}, {24, "F-3", 2, 46}, {27, "F-3", 2, 44},
        {30, "E-3", 2, 30}, {32, "G-3", 2, 32}, {35, "E-3", 2, 30}, {38, "C-3", 2, 30}, {42, "G-3", 3, 46},
        {46, "E-3", 2, 30}, {48, "D-3", 2, 32}, {51, "B-2", 2, 30}, {54, "D-3", 2, 30}, {56, "G-3", 2, 30},
        {59, "B-3", 2, 40}, {62, "B-3", 1, 38}};
    Pattern p{};
    Writer w{p};
    drums(w, "b..ks.hgh.k.s.hgh.h.s.hgk..ks.hgk.h.s.hgh.k.s.hgk.h.s.h.h..ks.k.", 100);
    pad_chords(w, kMainBars, 26);
    bassline(w, "R..R..O.R.R.O.R.R..R..O.R..R..O.R..R..O...R..O..R..R..O....R..R.", kMainBars, 40);
    melody(w, kStabs, sizeof kStabs / sizeof kStabs[0], kLead);
    return p;
}

// 6: ending. One last boom and A minor chord; the bass dives, everything fades out by row 40.
Pattern ending() {
    Pattern p{};
    Writer w{p};
    w.hit(0, kDrums, kBoom, note("C-3"), 48);
    w.hit(0, kPadCh, kPad, kAm.pad, 44);
    w.slide(4, 40, kPadCh, 0x01, 3);
    w.off(40, kPadCh);
    w.hit(0, kBassCh, kBass, kAm.bass, 44);
    for (int r = 1; r < 10; r++) w.fx(r, kBassCh, 0x2, 3);
    w.off(12, kBassCh);
    static constexpr Phrase kLast[] = {
        {0, "A-2", 4, 26}, {4, "C-3", 6, 22}, {10, "E-3", 8, 18}, {18, "A-3", 16, 14}};
    for (const Phrase& n : kLast) w.hit(n.row, kTop, kBell, note(n.name), n.volume);
    w.off(40, kTop);
    return p;
}

} // namespace

Song compose() {
    Song song;
    song.patterns = {intro(), build(), groove(), theme(), hook(), breakbeat(), ending()};
    song.orders = {0, 1, 2, 3, 2, 3, 3, 1, 4, 5, 5, 0, 1, 2, 3, 4, 5, 4, 0, 6, 0};
    return song;
}
