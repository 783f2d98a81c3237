#pragma once

// A wave: the format sound is captured in and the blocks recorded in it that nobody has taken
// yet. Recording goes through a CWaveInWnd, the hidden window that owns the input device; every
// block it records is appended here and handed to the receiver given to Record.
//
// Record and Stop talk to the device and are defined with it (wave_win.cpp); everything else is
// portable.

#include "framework/archive.h"
#include "sound/wave_block.h"
#include "sound/wave_format.h"

#include <cstdint>

class CWaveInWnd;
class CWaveNotify;

class CWave {
public:
    // Mono, 11025 samples a second, 8 bits.
    CWave() noexcept = default;
    ~CWave() { ClearBlocks(); }
    CWave(const CWave&) = delete;
    CWave& operator=(const CWave&) = delete;

    // Takes a supported rate (8000, 11025, 22050, 44100) and depth (8, 16); anything else is
    // refused and changes nothing. Deletes every block; with samples above 0, first adds an
    // empty block of that many samples (false when it cannot be had).
    [[nodiscard]] bool SetFormat(int32_t rate, int32_t bits, int32_t samples);
    [[nodiscard]] const PcmFormat& Format() const noexcept { return format_; }

    // Starts capturing through `device` into buffers of `bufferLength` bytes, handing each block
    // to `notify`. With start false the buffers are queued but the device waits for Resume. The
    // device is kept for later recordings.
    [[nodiscard]] bool Record(CWaveInWnd& device, int32_t bufferLength, CWaveNotify& notify,
                              bool start);
    // Stops the capture: the device returns every buffer, the one being filled reaches the
    // receiver as a last, shorter block. The device stays open; its Close closes it. Called while
    // that drain runs (from something it dispatched), it does nothing.
    void Stop();

    // Hands `block` (in the list) to the receiver, if there is one.
    void NotifyBlock(CWaveBlock& block);
    void ClearBlocks() noexcept { blocks_.ClearBlocks(); }
    [[nodiscard]] CWaveBlockList& Blocks() noexcept { return blocks_; }
    [[nodiscard]] const CWaveBlockList& Blocks() const noexcept { return blocks_; }

    [[nodiscard]] CWaveInWnd* InputDevice() const noexcept { return input_; }
    // The device object is about to be deleted.
    void ForgetInputDevice() noexcept { input_ = nullptr; }

    // The 16-byte format, then the block list.
    void Store(ArchiveWriter& archive) const;
    // Changes nothing unless the whole wave could be read and its format is one we record.
    [[nodiscard]] bool Load(ArchiveReader& archive);

private:
    PcmFormat format_;
    CWaveBlockList blocks_;
    CWaveInWnd* input_ = nullptr; // not owned
    CWaveNotify* notify_ = nullptr;
};
