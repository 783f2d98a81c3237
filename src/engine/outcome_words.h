#pragma once
// What the program tells the user when a recording ends: which text, with which numbers, and
// whether it is a message box (something went wrong) or the status line (a summary).

#include "engine/frame_ring.h"

#include <cstdint>
#include <string>
#include <vector>

// What the last recording produced, for the status line, tests and benchmarks.
struct RecordingOutcome {
    int32_t frameIndex = 0; // stream positions, or the abort code
    int32_t framesWritten = 0;
    int32_t dropped = 0;
    int32_t skipped = 0;
    bool setupFailed = false;
    // Sound was asked for, but the input could not be opened or started: the movie is silent.
    bool soundNotStarted = false;
    // Part of the sound is missing: a restart refused after a resume, or memory ran out.
    bool soundCut = false;
    int64_t soundSamples = 0; // samples in the audio stream, silence included
};

struct OutcomeWords {
    enum class Where { Nowhere, Message, Status } where = Where::Nowhere;
    unsigned textId = 0;           // a string of VidRes.dll
    std::vector<std::string> args; // for its %s and %d, in order
};

// `scripted`: a run a script started, which gets no summary (its exit code tells); `lastError`:
// the HRESULT of the failure that ended it.
[[nodiscard]] OutcomeWords DescribeOutcome(const RecordingOutcome& outcome, bool scripted,
                                           int32_t lastError);
