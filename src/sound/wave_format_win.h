#pragma once

// The platform's form of a wave format, for the wave input device and the audio stream alike.

#include "sound/wave_format.h"

#include <windows.h>

#include <mmsystem.h>

inline WAVEFORMATEX ToWaveFormatEx(const PcmFormat& format) noexcept {
    WAVEFORMATEX wf{};
    wf.wFormatTag = format.formatTag;
    wf.nChannels = format.channels;
    wf.nSamplesPerSec = format.samplesPerSec;
    wf.nAvgBytesPerSec = format.avgBytesPerSec;
    wf.nBlockAlign = format.blockAlign;
    wf.wBitsPerSample = format.bitsPerSample;
    wf.cbSize = 0;
    return wf;
}
