// The parts of CWave that drive the input device.

#include "sound/wave.h"

#include "sound/wave_in_wnd_win.h"

bool CWave::Record(CWaveInWnd& device, int32_t bufferLength, CWaveNotify& notify, bool start) {
    notify_ = &notify;
    input_ = &device;
    return device.BeginCapture(*this, bufferLength, start);
}

void CWave::Stop() {
    if (input_ != nullptr) {
        // From inside the drain: the drain still has blocks to hand to the receiver.
        if (input_->Draining())
            return;
        input_->StopAndDrain();
    }
    notify_ = nullptr;
}
