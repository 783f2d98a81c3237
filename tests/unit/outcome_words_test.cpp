#include "engine/outcome_words.h"

#include "resources/resource_ids.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t kFileWrite = static_cast<int32_t>(0x80044069);  // AVIERR_FILEWRITE: 105
constexpr int32_t kBadFormat = static_cast<int32_t>(0x80044071u); // its low byte: 113

RecordingOutcome Ended(int32_t code, int32_t framesWritten, int32_t dropped,
                       bool soundNotStarted = false, bool soundCut = false) {
    RecordingOutcome o;
    o.frameIndex = code;
    o.framesWritten = framesWritten;
    o.dropped = dropped;
    o.soundNotStarted = soundNotStarted;
    o.soundCut = soundCut;
    return o;
}

// Each way a recording ends, and what the user is told: a message that never claims a file
// when no frame reached it, abort codes told apart whatever their order, the summary only where
// nobody scripted an exit.
TEST(OutcomeWords, EachEndingIsToldWithTheTextAndNumbersItNeeds) {
    using Where = OutcomeWords::Where;
    struct Case {
        const char* what;
        RecordingOutcome outcome;
        bool scripted; // started for a script, which the exit code tells
        int32_t lastError;
        Where where;
        unsigned textId;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"a format refused",
         Ended(abort_code::FormatRefused, 0, 0),
         false,
         kBadFormat,
         Where::Message,
         IDS_AVI_SETUP_FAILED,
         {"(Set Video Stream Format, err 113)"}},
        {"the disk full, frames kept",
         Ended(abort_code::VideoWriteFailed, 40, 0),
         false,
         kFileWrite,
         Where::Message,
         IDS_VIDEO_WRITE_FAILED,
         {"105"}},
        {"the disk full before the first frame",
         Ended(abort_code::VideoWriteFailed, 0, 0),
         false,
         kFileWrite,
         Where::Message,
         IDS_VIDEO_WRITE_FAILED_NO_FILE,
         {"105"}},
        {"sound not written",
         Ended(abort_code::SoundWriteFailed, 3, 0),
         true,
         kFileWrite,
         Where::Message,
         IDS_SOUND_WRITE_FAILED,
         {"105"}},
        {"sound not written, no frame",
         Ended(abort_code::SoundWriteFailed, 0, 0),
         false,
         kFileWrite,
         Where::Message,
         IDS_SOUND_WRITE_FAILED_NO_FILE,
         {"105"}},
        {"too many dropped",
         Ended(abort_code::TooManyDropped, 12, 30),
         false,
         0,
         Where::Message,
         IDS_TOO_MANY_DROPPED,
         {}},
        {"too many dropped, no frame",
         Ended(abort_code::TooManyDropped, 0, 30),
         false,
         0,
         Where::Message,
         IDS_TOO_MANY_DROPPED_NO_FILE,
         {}},
        {"the movie full",
         Ended(abort_code::MovieFull, 70000, 0),
         true,
         0,
         Where::Message,
         IDS_MOVIE_FULL,
         {"70000"}},
        {"a take", Ended(52, 50, 2), false, 0, Where::Status, IDS_RECORDING_SUMMARY, {"50", "2"}},
        {"a take without sound",
         Ended(52, 50, 2, true, false),
         false,
         0,
         Where::Status,
         IDS_RECORDING_NO_SOUND,
         {"50", "2"}},
        {"a take with its sound cut",
         Ended(52, 50, 0, false, true),
         false,
         0,
         Where::Status,
         IDS_RECORDING_SOUND_CUT,
         {"50", "0"}},
        {"a scripted take", Ended(52, 50, 2), true, 0, Where::Nowhere, 0, {}},
        {"stopped before any position", Ended(0, 0, 0), false, 0, Where::Nowhere, 0, {}},
    };
    for (const Case& c : cases) {
        const OutcomeWords w = DescribeOutcome(c.outcome, c.scripted, c.lastError);
        EXPECT_EQ(w.where, c.where) << c.what;
        EXPECT_EQ(w.textId, c.textId) << c.what;
        EXPECT_EQ(w.args, c.args) << c.what;
    }
}

} // namespace
