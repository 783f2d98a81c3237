// Probe of the wave input's start-up, for the sound start benchmark: how long opening and
// starting the device take, when each buffer comes back and where in it the first loud sample
// lies, all on timeGetTime's clock, so the sound a device holds back at its start can be told
// from the sound a recorder drops. Prints one line per event:
//   open_ms START END | start_ms START END | position SAMPLES at_ms T |
//   buffer N back_ms SAMPLES_BEFORE BYTES first_loud_sample LOUD%
//   wave_start_probe [RATE] [BUFFERS] [OPEN_DELAY_MS]
// RATE is 8-bit mono samples a second (22050), BUFFERS how many to log (24), OPEN_DELAY_MS a
// wait before the device is opened (0); every time is from the program's own start.

#include <windows.h>

#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kQueued = 8;
constexpr int kLoud = 24; // of 128: well above the silence of the null sink, well below a tone

struct Buffer {
    WAVEHDR header{};
    std::vector<char> data;
};

// The first sample whose distance from the 8-bit silence value is loud, or -1; and the share
// of loud samples.
void Loudness(const WAVEHDR& h, long& first, int& percent) {
    first = -1;
    long loud = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(h.lpData);
    for (DWORD i = 0; i < h.dwBytesRecorded; ++i) {
        if (std::abs(static_cast<int>(p[i]) - 128) >= kLoud) {
            ++loud;
            if (first < 0)
                first = static_cast<long>(i);
        }
    }
    percent = h.dwBytesRecorded > 0 ? static_cast<int>(loud * 100 / h.dwBytesRecorded) : 0;
}

} // namespace

int main(int argc, char** argv) {
    const DWORD rate = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 22050;
    const int toLog = argc > 2 ? std::atoi(argv[2]) : 24;
    const DWORD openDelay = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
    ::timeBeginPeriod(1);
    const DWORD t0 = ::timeGetTime();
    std::printf("clock %lu\n", static_cast<unsigned long>(t0));
    std::fflush(stdout);
    ::Sleep(openDelay);

    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = 1;
    wf.nSamplesPerSec = rate;
    wf.wBitsPerSample = 8;
    wf.nBlockAlign = 1;
    wf.nAvgBytesPerSec = rate;
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEIN device = nullptr;
    const DWORD openStart = ::timeGetTime() - t0;
    const MMRESULT opened = ::waveInOpen(&device, WAVE_MAPPER, &wf,
                                         reinterpret_cast<DWORD_PTR>(event), 0, CALLBACK_EVENT);
    const DWORD openEnd = ::timeGetTime() - t0;
    std::printf("open_ms %lu %lu result %u\n", openStart, openEnd, opened);
    if (opened != MMSYSERR_NOERROR)
        return 1;

    // Buffers as long as the recorder's at this rate: 2048 samples per 11025 a second.
    const DWORD length = 2048 * (rate >= 11025 ? rate / 11025 : 1);
    std::vector<Buffer> buffers(kQueued);
    for (Buffer& b : buffers) {
        b.data.resize(length);
        b.header.lpData = b.data.data();
        b.header.dwBufferLength = length;
        ::waveInPrepareHeader(device, &b.header, sizeof b.header);
        ::waveInAddBuffer(device, &b.header, sizeof b.header);
    }
    const DWORD startStart = ::timeGetTime() - t0;
    const MMRESULT started = ::waveInStart(device);
    const DWORD startEnd = ::timeGetTime() - t0;
    std::printf("start_ms %lu %lu result %u\n", startStart, startEnd, started);
    std::fflush(stdout);

    long total = 0;
    DWORD lastPosition = 0;
    for (int n = 0; n < toLog;) {
        ::WaitForSingleObject(event, 10);
        // The device's own count of what it has captured, each time it moves.
        MMTIME position{};
        position.wType = TIME_SAMPLES;
        if (::waveInGetPosition(device, &position, sizeof position) == MMSYSERR_NOERROR &&
            position.u.sample != lastPosition) {
            lastPosition = position.u.sample;
            std::printf("position %lu at_ms %lu\n", lastPosition, ::timeGetTime() - t0);
        }
        for (Buffer& b : buffers) {
            if ((b.header.dwFlags & WHDR_DONE) == 0)
                continue;
            const DWORD back = ::timeGetTime() - t0;
            long first = -1;
            int percent = 0;
            Loudness(b.header, first, percent);
            std::printf("buffer %d back_ms %lu samples_before %ld bytes %lu first_loud %ld loud "
                        "%d%%\n",
                        n, back, total, b.header.dwBytesRecorded, first, percent);
            std::fflush(stdout);
            total += static_cast<long>(b.header.dwBytesRecorded);
            ++n;
            ::waveInUnprepareHeader(device, &b.header, sizeof b.header);
            b.header.dwFlags = 0;
            b.header.dwBytesRecorded = 0;
            ::waveInPrepareHeader(device, &b.header, sizeof b.header);
            ::waveInAddBuffer(device, &b.header, sizeof b.header);
        }
    }
    ::waveInReset(device);
    for (Buffer& b : buffers)
        ::waveInUnprepareHeader(device, &b.header, sizeof b.header);
    ::waveInClose(device);
    ::CloseHandle(event);
    ::timeEndPeriod(1);
    return 0;
}
