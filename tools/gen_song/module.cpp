// Lays the samples and the song out as a 4-channel "M.K." module: 20-byte title, 31 sample headers,
// song length, restart order, 128-entry order table, tag, patterns (64 rows x 4 channels x 4 bytes),
// then the sample data. 16-bit fields are big-endian and count words.
#include "gen_song.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSampleSlots = 31;
constexpr int kOrderSlots = 128;

void put_be16(std::vector<uint8_t>& out, uint32_t value) {
    if (value > 0xFFFF) {
        std::fprintf(stderr, "gen_song: field %u does not fit in 16 bits\n", value);
        std::exit(1);
    }
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put_text(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; i++) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

} // namespace

std::vector<uint8_t> build_module(const std::vector<Sample>& samples, const Song& song) {
    std::vector<uint8_t> out;
    put_text(out, "shoreline", 20);
    for (int i = 0; i < kSampleSlots; i++) {
        if (i < static_cast<int>(samples.size())) {
            const Sample& s = samples[i];
            put_text(out, s.name, 22);
            put_be16(out, static_cast<uint32_t>(s.data.size() / 2));
            out.push_back(0); // finetune
            out.push_back(static_cast<uint8_t>(s.volume));
            put_be16(out, s.loop_start / 2);
            put_be16(out, s.loop_length ? s.loop_length / 2 : 1); // one word: no loop
        } else {
            put_text(out, "", 22);
            put_be16(out, 0);
            out.push_back(0);
            out.push_back(0);
            put_be16(out, 0);
            put_be16(out, 1);
        }
    }
    out.push_back(static_cast<uint8_t>(song.orders.size()));
    out.push_back(127); // restart byte of the usual tracker: start over at the first order
    for (int i = 0; i < kOrderSlots; i++)
        out.push_back(i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);
    put_text(out, "M.K.", 4);
    for (const Pattern& p : song.patterns)
        for (int row = 0; row < kRows; row++)
            for (int ch = 0; ch < kChannels; ch++) {
                const Cell& c = p.cells[row][ch];
                out.push_back(static_cast<uint8_t>((c.sample & 0xF0) | (c.period >> 8)));
                out.push_back(static_cast<uint8_t>(c.period & 0xFF));
                out.push_back(static_cast<uint8_t>(((c.sample & 0x0F) << 4) | c.command));
                out.push_back(c.param);
            }
    for (const Sample& s : samples)
        for (int8_t b : s.data) out.push_back(static_cast<uint8_t>(b));
    return out;
}
