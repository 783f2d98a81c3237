#include "engine/recording_options.h"

void RecordingOptions::ResetToDefaults() {
    const RecordingOptions defaults;
    const std::string lockPanDesc = LockPan.Desc;
    const int32_t recordAtStart = RecordAtStart;
    const int32_t exitAfter = ExitAfterRecording;
    const int32_t noCross = NoFrameCross;
    *this = defaults;
    LockPan.Desc = lockPanDesc;
    RecordAtStart = recordAtStart;
    ExitAfterRecording = exitAfter;
    NoFrameCross = noCross;
}
