// Encodes raw 32-bit frames (top row first, blue-green-red-unused) with our ZMBV core on THREADS
// threads (default 1) and writes them as an AVI for ffmpeg to check.
// Usage: codec_bench RAW WIDTH HEIGHT FPS OUT.avi [LEVEL [THREADS]]
// Prints: frames, seconds spent encoding (wall clock), bytes of encoded frames.

#include "codec/zmbv_encoder.h"
#include "zmbv_avi_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: codec_bench RAW WIDTH HEIGHT FPS OUT.avi [LEVEL]\n");
        return 2;
    }
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]), fps = std::atoi(argv[4]);
    const int level = argc > 6 ? std::atoi(argv[6]) : zmbv::kDefaultLevel;
    const int threads = argc > 7 ? std::atoi(argv[7]) : 1;
    zmbv::Encoder encoder;
    if (fps <= 0 || !encoder.Start(width, height, zmbv::PixelFormat::Bgr32, level, threads)) {
        std::fprintf(stderr, "cannot encode %dx%d\n", width, height);
        return 2;
    }
    std::ifstream raw(argv[1], std::ios::binary);
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 4);
    std::vector<std::vector<uint8_t>> packets;
    std::vector<bool> keys;
    // Wall time: with threads, processor time counts every core's.
    double spent = 0;
    size_t bytes = 0;
    // A key frame every 10 seconds, as a recording without a key-frame interval gets.
    while (raw.read(reinterpret_cast<char*>(frame.data()), std::streamsize(frame.size()))) {
        std::vector<uint8_t> packet;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = encoder.Encode({frame.data(), width * 4, 32, nullptr},
                                       packets.size() % (10 * size_t(fps)) == 0, packet);
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok)
            return 1;
        bytes += packet.size();
        keys.push_back(encoder.LastWasKey());
        packets.push_back(std::move(packet));
    }
    zmbv_avi::Write(argv[5], width, height, 32, packets, keys, uint32_t(fps));
    std::printf("%zu %.6f %zu\n", packets.size(), spent, bytes);
    return 0;
}
