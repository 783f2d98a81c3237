// Write cost of the AVI writer, figures not pass/fail: full-screen frames (1024 x 768 at 32 bits,
// 3 MB) written as a movie, against the same bytes written to a plain file in one sequential
// stream. Both end with the data on the disk (fsync), and the writer flushes at each
// once-a-second checkpoint as the program does, so the comparison is what a recording costs.
//   avi_writer_bench FRAMES DIRECTORY

#include "avi/avi_writer.h"
#include "avi/riff.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 1024, kHeight = 768, kFps = 25;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 4;

// The file as the Windows program's byte file uses it: positioned writes, a flush to the disk.
class PosixSink final : public avi::ByteSink {
public:
    explicit PosixSink(const std::string& path)
        : fd_(::open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0644)) {}
    ~PosixSink() override {
        if (fd_ >= 0)
            ::close(fd_);
    }
    PosixSink(const PosixSink&) = delete;
    PosixSink& operator=(const PosixSink&) = delete;
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            p += n;
            offset += static_cast<uint64_t>(n);
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Truncate(uint64_t size) override {
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
    }
    bool Flush() override { return ::fsync(fd_) == 0; }
    [[nodiscard]] bool Ok() const { return fd_ >= 0; }

private:
    int fd_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double PlainFile(const std::string& path, const std::vector<uint8_t>& frame, int frames) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0)
        return -1;
    for (int i = 0; i < frames; ++i)
        for (size_t done = 0; done < frame.size();) {
            const ssize_t n = ::write(fd, frame.data() + done, frame.size() - done);
            if (n <= 0) {
                ::close(fd);
                return -1;
            }
            done += static_cast<size_t>(n);
        }
    ::fsync(fd);
    ::close(fd);
    return Seconds(start);
}

double Movie(const std::string& path, const std::vector<uint8_t>& frame, int frames) {
    const auto start = std::chrono::steady_clock::now();
    PosixSink sink(path);
    if (!sink.Ok())
        return -1;
    avi::VideoStreamInfo video;
    video.handler = avi::Fourcc("DIB ");
    video.rate = kFps * 1000;
    video.scale = 1000;
    video.suggestedBufferSize = kFrameBytes;
    video.width = kWidth;
    video.height = kHeight;
    video.name = "Vidorra Video";
    avi::AudioStreamInfo audio;
    audio.samplesPerSec = 22050;
    audio.blockAlign = 2;
    audio.bitsPerSample = 16;
    avi::Writer w(sink, video, audio);
    std::vector<uint8_t> format(40, 0);
    format[0] = 40;
    format[4] = kWidth & 0xff;
    format[5] = kWidth >> 8;
    format[8] = kHeight & 0xff;
    format[9] = kHeight >> 8;
    format[12] = 1;
    format[14] = 32;
    const std::vector<uint8_t> sound(22050 * 2 / kFps, 0);
    if (w.Open() != avi::WriteStatus::Ok ||
        w.SetVideoFormat(format.data(), format.size()) != avi::WriteStatus::Ok)
        return -1;
    for (int i = 0; i < frames; ++i) {
        if (w.WriteVideo(i, frame.data(), frame.size(), true) != avi::WriteStatus::Ok ||
            w.WriteAudio(w.AudioLength(), sound.data(), sound.size()) != avi::WriteStatus::Ok)
            return -1;
        if (i % kFps == kFps - 1 && w.Checkpoint() != avi::WriteStatus::Ok)
            return -1;
    }
    if (w.Finish() != avi::WriteStatus::Ok)
        return -1;
    return Seconds(start);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: avi_writer_bench FRAMES DIRECTORY\n");
        return 2;
    }
    const int frames = std::atoi(argv[1]);
    const std::string dir = argv[2];
    std::vector<uint8_t> frame(kFrameBytes);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 31 / 7);
    std::printf("%d frames of %zu bytes, 25 fps with 22050 Hz 16-bit sound for the movie\n", frames,
                kFrameBytes);
    std::printf("%-6s %14s %14s %8s\n", "round", "plain ms/frame", "movie ms/frame", "ratio");
    for (int round = 1; round <= 3; ++round) {
        const double plain = PlainFile(dir + "/plain.bin", frame, frames);
        const double movie = Movie(dir + "/movie.avi", frame, frames);
        ::unlink((dir + "/plain.bin").c_str());
        ::unlink((dir + "/movie.avi").c_str());
        if (plain < 0 || movie < 0) {
            std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
            return 1;
        }
        std::printf("%-6d %14.3f %14.3f %8.2f\n", round, plain * 1000 / frames,
                    movie * 1000 / frames, movie / plain);
    }
    return 0;
}
