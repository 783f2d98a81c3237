#include "sound/wave_in_wnd_win.h"

#include "sound/wave.h"
#include "sound/wave_format_win.h"
#include "sound/wave_memory.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

const WindowClass kWaveInClass{"VidorraWaveIn"};
constexpr char kWindowName[] = "Wave Wnd";

} // namespace

CWaveInWnd::~CWaveInWnd() {
    // The owner never deletes us from inside our own drain; should it, the device must still go.
    draining_ = false;
    Close();
}

bool CWaveInWnd::Create() {
    return CustomWindow::Create(kWaveInClass, 0, WS_POPUP, kWindowName, RECT{0, 0, 0, 0}, nullptr);
}

bool CWaveInWnd::Open(UINT deviceId, const PcmFormat& format) {
    if (Handle() == nullptr && !Create())
        return false;
    if (device_) {
        if (format == openFormat_)
            return QueryFormat(format);
        // Open for another format: capturing now would record in the old one.
        Close();
        if (!Create())
            return false;
    }
    WAVEFORMATEX wf = ToWaveFormatEx(format);
    HWAVEIN device = nullptr;
    if (::waveInOpen(&device, deviceId, &wf, reinterpret_cast<DWORD_PTR>(Handle()), 0,
                     CALLBACK_WINDOW) != MMSYSERR_NOERROR)
        return false;
    device_.reset(device);
    openFormat_ = format;
    return true;
}

bool CWaveInWnd::QueryFormat(const PcmFormat& format) const {
    if (!device_)
        return false;
    WAVEFORMATEX wf = ToWaveFormatEx(format);
    return ::waveInOpen(nullptr, WAVE_MAPPER, &wf, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

bool CWaveInWnd::BeginCapture(CWave& wave, int32_t bufferLength, bool start) {
    // A capture at a time; and none begins inside a stop.
    if (draining_ || queued_ > 0 || bufferLength <= 0)
        return false;
    outOfMemory_ = false;
    if (!Open(WAVE_MAPPER, wave.Format()))
        return false;
    bufferLength_ = bufferLength;
    // Half a queue, or a device that would not start, must not go on recording later (a
    // resume would start it): whatever fails leaves nothing queued and the device closed.
    for (int i = 0; i < kCaptureBuffers; ++i) {
        if (!QueueBuffer(wave, bufferLength)) {
            Close();
            return false;
        }
    }
    if (start && ::waveInStart(device_.get()) != MMSYSERR_NOERROR) {
        Close();
        return false;
    }
    return true;
}

bool CWaveInWnd::QueueBuffer(CWave& wave, int32_t length) {
    if (!device_ || queued_ >= kMaxOut)
        return false;
    auto* header = static_cast<WAVEHDR*>(wave_memory::Allocate(sizeof(WAVEHDR)));
    auto* data = static_cast<char*>(wave_memory::Allocate(static_cast<std::size_t>(length)));
    if (header == nullptr || data == nullptr) {
        outOfMemory_ = true;
        wave_memory::Free(header);
        wave_memory::Free(data);
        return false;
    }
    header->lpData = data;
    header->dwBufferLength = static_cast<DWORD>(length);
    header->dwUser = reinterpret_cast<DWORD_PTR>(&wave);
    if (::waveInPrepareHeader(device_.get(), header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        FreeBuffer(header);
        return false;
    }
    Track(header);
    if (::waveInAddBuffer(device_.get(), header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        Untrack(header);
        ::waveInUnprepareHeader(device_.get(), header, sizeof(WAVEHDR));
        FreeBuffer(header);
        return false;
    }
    return true;
}

LRESULT CWaveInWnd::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == MM_WIM_DATA)
        return OnWimData(lp);
    return CustomWindow::HandleMessage(msg, wp, lp);
}

LRESULT CWaveInWnd::OnWimData(LPARAM lp) {
    auto* header = reinterpret_cast<WAVEHDR*>(lp);
    // A buffer already taken back (by a stop that could not wait for its message, or a close)
    // may still have a message on the way; only buffers we still count are touched.
    WAVEHDR** const end = out_.data() + queued_;
    if (std::find(out_.data(), end, header) == end)
        return 0;
    if ((header->dwFlags & WHDR_DONE) == 0)
        return 0;
    Untrack(header);
    OnData(*reinterpret_cast<CWave*>(header->dwUser), header);
    return 0;
}

void CWaveInWnd::OnData(CWave& wave, WAVEHDR* header) {
    // Replace it first, so the device is never short of buffers while this one is handled. A
    // device that refuses a buffer is no reason to stop; having no memory for one is.
    if (bufferLength_ != 0 && !QueueBuffer(wave, bufferLength_) && outOfMemory_)
        EndCapture();
    if (device_)
        ::waveInUnprepareHeader(device_.get(), header, sizeof(WAVEHDR));
    const int32_t samples = SamplesInBytes(header->dwBytesRecorded, wave.Format());
    auto* data = reinterpret_cast<uint8_t*>(header->lpData);
    const auto size = static_cast<int32_t>(header->dwBufferLength);
    wave_memory::Free(header);
    if (samples <= 0) {
        wave_memory::Free(data);
        return;
    }
    CWaveBlockList::Item block(new (std::nothrow) CWaveBlock(data, size, samples));
    if (!block) {
        wave_memory::Free(data);
        outOfMemory_ = true;
        EndCapture();
        return;
    }
    CWaveBlock* recorded = block.get();
    if (!wave.Blocks().AddTail(std::move(block))) {
        outOfMemory_ = true;
        EndCapture();
        return;
    }
    wave.NotifyBlock(*recorded);
}

void CWaveInWnd::EndCapture() {
    bufferLength_ = 0;
    if (device_)
        ::waveInReset(device_.get());
}

void CWaveInWnd::StopAndDrain() {
    if (!device_ || draining_)
        return;
    draining_ = true;
    bufferLength_ = 0;
    ::waveInReset(device_.get());

    // Wait for exactly the buffers the device holds. Everything else in the queue is dispatched
    // on the way (the session loop is not running), but the drain does not end when the queue
    // happens to be empty, only when the last buffer is back or the device is given up on.
    bool quit = false;
    WPARAM quitCode = 0;
    const DWORD start = ::GetTickCount();
    while (queued_ > 0) {
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kDrainLimitMs)
            break;
        MSG msg;
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
            continue;
        }
        ::MsgWaitForMultipleObjectsEx(0, nullptr, kDrainLimitMs - waited, QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
    TakeReturnedBuffers();
    draining_ = false;
    if (quit)
        ::PostQuitMessage(static_cast<int>(quitCode));
    if (std::exchange(closeAfterDrain_, false))
        Close();
}

void CWaveInWnd::TakeReturnedBuffers() {
    for (;;) {
        WAVEHDR* returned = nullptr;
        for (int i = 0; i < queued_ && returned == nullptr; ++i) {
            if (out_[i]->dwFlags & WHDR_DONE)
                returned = out_[i];
        }
        if (returned == nullptr)
            return;
        Untrack(returned);
        OnData(*reinterpret_cast<CWave*>(returned->dwUser), returned);
    }
}

void CWaveInWnd::Pause() {
    if (!device_)
        return;
    ::waveInStop(device_.get());
    // The part-filled buffer is done when the stop returns; its message could be dispatched
    // after a quick resume, when its sound would be taken for the new run's.
    TakeReturnedBuffers();
}

bool CWaveInWnd::Resume() {
    return !device_ || ::waveInStart(device_.get()) == MMSYSERR_NOERROR;
}

std::optional<int64_t> CWaveInWnd::CapturedSamples() const {
    if (!device_)
        return std::nullopt;
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (::waveInGetPosition(device_.get(), &time, sizeof time) != MMSYSERR_NOERROR)
        return std::nullopt;
    // A device may answer in another unit than the one asked for.
    if (time.wType == TIME_SAMPLES)
        return time.u.sample;
    if (time.wType == TIME_BYTES && openFormat_.blockAlign > 0)
        return time.u.cb / openFormat_.blockAlign;
    return std::nullopt;
}

bool CWaveInWnd::Close() {
    if (draining_) {
        closeAfterDrain_ = true;
        return true;
    }
    if (device_) {
        ::waveInReset(device_.get());
        FreeAllBuffers();
    }
    Destroy();
    return true;
}

void CWaveInWnd::FreeAllBuffers() {
    for (int i = 0; i < queued_; ++i)
        ::waveInUnprepareHeader(device_.get(), out_[i], sizeof(WAVEHDR));
    // Closed before anything is freed: a closed device holds no buffer of ours.
    device_.reset();
    while (queued_ > 0) {
        WAVEHDR* header = out_[0];
        Untrack(header);
        FreeBuffer(header);
    }
}

bool CWaveInWnd::Track(WAVEHDR* header) noexcept {
    if (queued_ >= kMaxOut)
        return false;
    out_[queued_++] = header;
    return true;
}

bool CWaveInWnd::Untrack(WAVEHDR* header) noexcept {
    WAVEHDR** const end = out_.data() + queued_;
    WAVEHDR** const it = std::find(out_.data(), end, header);
    if (it == end)
        return false;
    std::copy(it + 1, end, it);
    out_[--queued_] = nullptr;
    return true;
}

void CWaveInWnd::FreeBuffer(WAVEHDR* header) noexcept {
    wave_memory::Free(header->lpData);
    wave_memory::Free(header);
}
