#pragma once
// What the program tells the user when a recording ends: which text, with which numbers, and
// whether it is a message box (something went wrong) or the status line (a summary).

#include "engine/frame_ring.h"

#include <cstdint>
#include <string>
#include <vector>

struct OutcomeFacts {
    int32_t frameIndex = 0; // stream positions, or the abort code
    int32_t framesWritten = 0;
    int32_t dropped = 0;
    bool soundNotStarted = false;
    bool soundCut = false;
    bool exitAfterRecording = false; // a scripted run: no summary, the exit code tells
    int32_t lastError = 0;           // the HRESULT of the failure that ended it
};

struct OutcomeWords {
    enum class Where { Nowhere, Message, Status } where = Where::Nowhere;
    unsigned textId = 0;           // a string of VidRes.dll
    std::vector<std::string> args; // for its %s and %d, in order
};

[[nodiscard]] OutcomeWords DescribeOutcome(const OutcomeFacts& facts);
