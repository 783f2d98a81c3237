#pragma once
// A plain AVI holding one ZMBV stream, for ffmpeg to read in the codec's tests and benchmark.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace zmbv_avi {

inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}
inline void PutTag(std::vector<uint8_t>& v, const char* t) {
    v.insert(v.end(), t, t + 4);
}

// A plain AVI of one ZMBV stream, for ffmpeg to read.
inline void Write(const std::string& path, int w, int h, int bits,
                  const std::vector<std::vector<uint8_t>>& frames, const std::vector<bool>& keys,
                  uint32_t rate = 15) {
    std::vector<uint8_t> hdrl, movi, idx;
    PutTag(hdrl, "avih");
    Put32(hdrl, 56);
    for (uint32_t x : {1000000u / rate, 0u, 0u, 0x10u, uint32_t(frames.size()), 0u, 1u, 0u,
                       uint32_t(w), uint32_t(h), 0u, 0u, 0u, 0u})
        Put32(hdrl, x);
    std::vector<uint8_t> strl;
    PutTag(strl, "strh");
    Put32(strl, 56);
    PutTag(strl, "vids");
    PutTag(strl, "ZMBV");
    for (uint32_t x : {0u, 0u, 0u, 1u, rate, 0u, uint32_t(frames.size()), 0u, 0xFFFFFFFFu, 0u})
        Put32(strl, x);
    Put32(strl, 0);
    Put32(strl, uint32_t(w) | uint32_t(h) << 16);
    PutTag(strl, "strf");
    Put32(strl, 40);
    for (uint32_t x : {40u, uint32_t(w), uint32_t(h), 1u | uint32_t(bits) << 16})
        Put32(strl, x);
    PutTag(strl, "ZMBV");
    for (int i = 0; i < 5; ++i)
        Put32(strl, 0);
    PutTag(hdrl, "LIST");
    Put32(hdrl, uint32_t(strl.size() + 4));
    PutTag(hdrl, "strl");
    hdrl.insert(hdrl.end(), strl.begin(), strl.end());
    for (size_t i = 0; i < frames.size(); ++i) {
        PutTag(idx, "00dc");
        Put32(idx, keys[i] ? 0x10 : 0);
        Put32(idx, uint32_t(movi.size() + 4));
        Put32(idx, uint32_t(frames[i].size()));
        PutTag(movi, "00dc");
        Put32(movi, uint32_t(frames[i].size()));
        movi.insert(movi.end(), frames[i].begin(), frames[i].end());
        if (movi.size() % 2)
            movi.push_back(0);
    }
    std::vector<uint8_t> file;
    PutTag(file, "RIFF");
    Put32(file, uint32_t(4 + 12 + hdrl.size() + 12 + movi.size() + 8 + idx.size()));
    PutTag(file, "AVI ");
    PutTag(file, "LIST");
    Put32(file, uint32_t(hdrl.size() + 4));
    PutTag(file, "hdrl");
    file.insert(file.end(), hdrl.begin(), hdrl.end());
    PutTag(file, "LIST");
    Put32(file, uint32_t(movi.size() + 4));
    PutTag(file, "movi");
    file.insert(file.end(), movi.begin(), movi.end());
    PutTag(file, "idx1");
    Put32(file, uint32_t(idx.size()));
    file.insert(file.end(), idx.begin(), idx.end());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

} // namespace zmbv_avi
