// Offers the start-up look and the repair movies as a crash, a copy cut short or damage leave
// them, and holds them to their word: the look changes nothing and tells what the repair then
// does; a file the repair leaves alone is byte for byte as it was; one it repairs is whole by the
// look afterwards, and a second repair changes no byte.
//
// Seeds come from our own writer (fuzz.sh asks for them with VIDORRA_FUZZ_SEEDS=DIR): whole and
// cut takes, one segment and several, with sound and without, in our codec's frames and
// uncompressed.

#include "avi/avi_repair.h"
#include "avi/avi_writer.h"
#include "avi/byte_file.h"
#include "avi/riff.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "repair fuzz: %s\n", what);
        std::abort();
    }
}

void MakeSeeds(const std::string& dir) {
    int n = 0;
    for (const bool sound : {false, true})
        for (const bool zmbv : {false, true})
            for (const uint64_t segment : {uint64_t{1} << 30, uint64_t{600}}) {
                avi::MemoryFile file;
                avi::VideoStreamInfo v;
                v.handler = avi::Fourcc(zmbv ? "ZMBV" : "DIB ");
                v.rate = 10;
                v.scale = 1;
                v.width = 4;
                v.height = 2;
                v.compressed = zmbv;
                v.formatCapacity = 64;
                std::optional<avi::AudioStreamInfo> a;
                if (sound) {
                    a.emplace();
                    a->samplesPerSec = 8000;
                    a->blockAlign = 1;
                    a->bitsPerSample = 8;
                }
                avi::WriterLimits limits;
                limits.segmentBytes = segment;
                limits.indexChunkEntries = 4;
                limits.superIndexEntries = 8;
                avi::Writer w(file, v, a, limits);
                if (w.Open() != avi::WriteStatus::Ok)
                    continue;
                avi::ByteImage format;
                format.U32(40);
                format.U32(4);
                format.U32(2);
                format.U16(1);
                format.U16(24);
                format.U32(zmbv ? avi::Fourcc("ZMBV") : 0);
                format.Zeros(20);
                (void)w.SetVideoFormat(format.Data(), format.Size());
                std::vector<std::vector<uint8_t>> moments;
                for (int i = 0; i < 12; ++i) {
                    std::vector<uint8_t> frame(zmbv ? 10 : 24, static_cast<uint8_t>(i));
                    frame[0] = i % 4 == 0 ? 1 : 0;
                    (void)w.WriteVideo(i, frame.data(), frame.size(), i % 4 == 0);
                    if (sound) {
                        const std::vector<uint8_t> samples(40, static_cast<uint8_t>(i));
                        (void)w.WriteAudio(int64_t{40} * i, samples.data(), samples.size());
                    }
                    if (i % 5 == 4)
                        (void)w.Checkpoint();
                    moments.push_back(file.bytes);
                }
                (void)w.Finish();
                moments.push_back(file.bytes);
                for (size_t m = 0; m < moments.size(); m += 3) {
                    const std::vector<uint8_t>& bytes = moments[m];
                    for (const size_t cut : {bytes.size(), bytes.size() * 3 / 4}) {
                        const std::string name = dir + "/seed-" + std::to_string(n++);
                        if (FILE* f = std::fopen(name.c_str(), "wb")) {
                            std::fwrite(bytes.data(), 1, cut, f);
                            std::fclose(f);
                        }
                    }
                }
            }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* dir = std::getenv("VIDORRA_FUZZ_SEEDS")) {
        MakeSeeds(dir);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> input(data, data + size);
    avi::MemoryFile file;
    file.bytes = input;
    const avi::RepairResult look = avi::CheckRepair(file);
    Require(file.bytes == input, "the look changed the file");
    const avi::RepairResult result = avi::Repair(file);
    Require(result == look, "the look and the repair disagree");
    if (result != avi::RepairResult::Repaired) {
        Require(file.bytes == input, "a file left alone was changed");
        return 0;
    }
    Require(avi::CheckRepair(file) == avi::RepairResult::NothingToDo,
            "a repaired file is not whole by the look");
    const std::vector<uint8_t> repaired = file.bytes;
    Require(avi::Repair(file) == avi::RepairResult::NothingToDo, "a second repair had work");
    Require(file.bytes == repaired, "a second repair changed the file");
    return 0;
}
