#include "engine/outcome_words.h"

#include "engine/frame_format.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"

OutcomeWords DescribeOutcome(const RecordingOutcome& f, bool scripted, int32_t lastError) {
    OutcomeWords w;
    const int32_t code = f.frameIndex;
    const std::string errorNumber = std::to_string(AviErrorNumber(lastError));
    // What the messages say of the file must be true: without a frame there is none.
    const bool kept = f.framesWritten > 0;
    if (code == abort_code::MovieFull) {
        w.where = OutcomeWords::Where::Message;
        w.textId = IDS_MOVIE_FULL;
        w.args = {std::to_string(f.framesWritten)};
    } else if (code == abort_code::FormatRefused) {
        w.where = OutcomeWords::Where::Message;
        w.textId = IDS_AVI_SETUP_FAILED;
        w.args = {
            FormatText("(Set Video Stream Format, err %d)", {std::to_string(lastError & 0xFF)})};
    } else if (code == abort_code::VideoWriteFailed) {
        w.where = OutcomeWords::Where::Message;
        w.textId = kept ? IDS_VIDEO_WRITE_FAILED : IDS_VIDEO_WRITE_FAILED_NO_FILE;
        w.args = {errorNumber};
    } else if (code < -50) {
        w.where = OutcomeWords::Where::Message;
        w.textId = kept ? IDS_SOUND_WRITE_FAILED : IDS_SOUND_WRITE_FAILED_NO_FILE;
        w.args = {errorNumber};
    } else if (code < 0) {
        w.where = OutcomeWords::Where::Message;
        w.textId = kept ? IDS_TOO_MANY_DROPPED : IDS_TOO_MANY_DROPPED_NO_FILE;
    } else if (code > 0 && !scripted) {
        // Frames in the file, not stream positions: a position the clock passed over holds none.
        w.where = OutcomeWords::Where::Status;
        w.textId = f.soundNotStarted ? IDS_RECORDING_NO_SOUND
                   : f.soundCut      ? IDS_RECORDING_SOUND_CUT
                                     : IDS_RECORDING_SUMMARY;
        w.args = {std::to_string(f.framesWritten), std::to_string(f.dropped)};
    }
    return w;
}
