#pragma once

// The video page: output file name and numbering, capture and playback rates, sound on or off,
// the compressor with its key-frame interval and quality, and what of the input the movie shows.
//
// Sound stays in step with the video only at equal rates, so while the two rate edits differ the
// sound box is shown unchecked and disabled, and leaving the playback-rate edit stores that.
// Whenever the box is enabled it shows the options' own RecordSound.

#include "pages/option_page_win.h"

#include <array>
#include <string>

class CMyPropertyPage3 : public OptionPage {
public:
    explicit CMyPropertyPage3(RecordingOptions& options);

    // Selects the automatic compressor again, as the defaults have it.
    void SelectFirstCompressor();

protected:
    void ShowOptions() override;
    void OnControl(int id, int code) override;
    [[nodiscard]] std::span<const ExchangeField> Fields() const override { return fields_; }

private:
    void OnEditLeft(int id);
    void OnClicked(int id);
    void ApplySoundCheckRule();
    void BrowseForFileName();

    std::string fileName_;
    int increment_ = 0;
    int recordSound_ = 0;
    int clicks_ = 0;
    int keys_ = 0;
    int32_t keyFrames_ = 0;
    double frameRate_ = 0;
    double playbackRate_ = 0;
    int32_t quality_ = 0;
    std::array<ExchangeField, 9> fields_;
};
