// modbuild.h: builds small four-channel tracker modules in memory for the music system's tests.
#pragma once
#include "sound_internal.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct test_sample {
    uint32_t length = 0; // bytes (even)
    int finetune = 0;
    int volume = 64;
    uint32_t loopstart = 0;  // bytes
    uint32_t looplength = 0; // bytes
    int8_t fill = 0;         // value of every data byte (0: a ramp 0, 1, 2, ...)
};

class test_module {
  public:
    explicit test_module(int patterns = 1, int channels = 4, const char* tag = "M.K.")
        : channels_(channels), patterns_(patterns) {
        header_.assign(pt_patterns_at, 0);
        std::memcpy(header_.data() + pt_tag_at, tag, 4);
        header_[pt_songlen_at] = 1;
        cells_.assign(static_cast<size_t>(patterns) * pt_rows * channels * pt_cellbytes, 0);
    }
    void order(std::vector<int> orders) {
        header_[pt_songlen_at] = static_cast<uint8_t>(orders.size());
        for (size_t i = 0; i < orders.size(); i++)
            header_[pt_orders_at + i] = static_cast<uint8_t>(orders[i]);
    }
    void restart(int r) { header_[pt_restart_at] = static_cast<uint8_t>(r); }
    void sample(int n, const test_sample& s) {
        uint8_t* h = header_.data() + pt_sampleheaders_at + (n - 1) * pt_sampleheader_bytes;
        put16(h + pt_samplelength_at, s.length / 2);
        h[pt_finetune_at] = static_cast<uint8_t>(s.finetune & 0x0F);
        h[pt_samplevolume_at] = static_cast<uint8_t>(s.volume);
        put16(h + pt_loopstart_at, s.loopstart / 2);
        put16(h + pt_looplength_at, s.looplength / 2);
        samples_[n] = s;
    }
    // A cell: period (0 = none), sample number, command, parameter.
    void cell(int pattern, int row, int channel, int period, int sample, int cmd, int param) {
        uint8_t* c = cells_.data() +
                     ((static_cast<size_t>(pattern) * pt_rows + row) * channels_ + channel) * pt_cellbytes;
        c[0] = static_cast<uint8_t>((sample & 0xF0) | ((period >> 8) & 0x0F));
        c[1] = static_cast<uint8_t>(period & 0xFF);
        c[2] = static_cast<uint8_t>(((sample & 0x0F) << 4) | (cmd & 0x0F));
        c[3] = static_cast<uint8_t>(param);
    }
    std::vector<uint8_t> bytes() const {
        size_t size = header_.size() + cells_.size();
        for (const test_sample& s : samples_) size += s.length;
        std::vector<uint8_t> out(size);
        std::memcpy(out.data(), header_.data(), header_.size());
        std::memcpy(out.data() + header_.size(), cells_.data(), cells_.size());
        uint8_t* at = out.data() + header_.size() + cells_.size();
        for (int n = 1; n < 32; n++) {
            const test_sample& s = samples_[n];
            for (uint32_t i = 0; i < s.length; i++) {
                *at++ = static_cast<uint8_t>(s.fill ? s.fill : static_cast<int8_t>(i));
            }
        }
        return out;
    }

  private:
    static void put16(uint8_t* p, uint32_t v) {
        p[0] = static_cast<uint8_t>(v >> 8);
        p[1] = static_cast<uint8_t>(v);
    }
    std::vector<uint8_t> header_;
    std::vector<uint8_t> cells_;
    test_sample samples_[32];
    int channels_;
    int patterns_;
};
