#pragma once

// Receives what a wave records. Called on the user-interface thread, from inside whichever
// message loop dispatches the wave input's messages: the recording's loop, or the drain of a stop.

class CWave;
class CWaveBlock;

class CWaveNotify {
public:
    CWaveNotify() = default;
    virtual ~CWaveNotify() = default;
    CWaveNotify(const CWaveNotify&) = delete;
    CWaveNotify& operator=(const CWaveNotify&) = delete;

    // `block` has just been appended to the wave's list; the receiver may take it out of the
    // list and delete it before returning.
    virtual void OnBlockRecorded(CWave& wave, CWaveBlock& block) = 0;
};
