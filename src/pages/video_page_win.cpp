#include "pages/video_page_win.h"

#include "engine/option_rules.h"
#include "framework/data_exchange.h"
#include "pages/compressor_list_win.h"
#include "resources/resource_ids.h"

#include <commdlg.h>
// windows.h and commdlg.h first: vfw.h depends on their types.
#include <vfw.h>

#include <algorithm>
#include <optional>

namespace {

constexpr Range<double> kRate{option_rules::kMinRate, option_rules::kMaxRate};
constexpr Range<int32_t> kKeyFrames{option_rules::kMinKeyFrames, option_rules::kMaxKeyFrames};

[[nodiscard]] bool AcceptFileName(std::string_view name) {
    return option_rules::IsValidFileName(name);
}

} // namespace

CMyPropertyPage3::CMyPropertyPage3(RecordingOptions& options)
    : OptionPage(IDD_PAGE_VIDEO, options),
      fields_{TextField{IDC_VIDEO_FILE_NAME, &fileName_, option_rules::kMaxFileName,
                        &AcceptFileName, IDS_DDX_FILE_NAME},
              CheckField{IDC_VIDEO_INCREMENT, &increment_},
              CheckField{IDC_VIDEO_SOUND, &recordSound_},
              IntField{IDC_VIDEO_KEY_FRAMES, &keyFrames_, kKeyFrames},
              // The frame rate before the playback rate: showing it copies it into both edits.
              DoubleField{IDC_VIDEO_FRAME_RATE, &frameRate_, kRate},
              DoubleField{IDC_VIDEO_PLAYBACK_RATE, &playbackRate_, kRate},
              IntField{IDC_VIDEO_QUALITY, &quality_}, CheckField{IDC_VIDEO_CLICKS, &clicks_},
              CheckField{IDC_VIDEO_KEYS, &keys_}} {}

void CMyPropertyPage3::SelectFirstCompressor() {
    Item(IDC_VIDEO_COMPRESSOR).Send(CB_SETCURSEL, 0);
}

void CMyPropertyPage3::ShowOptions() {
    fileName_ = options_.FileName;
    frameRate_ = options_.FrameRate;
    playbackRate_ = options_.PlaybackRate;
    increment_ = options_.IncrementFileName != 0 ? BST_CHECKED : BST_UNCHECKED;
    // The datum keeps the real RecordSound, so the box shows it whenever the rates allow sound;
    // while they do not, the box shows what the movie gets: none.
    const bool soundPossible =
        option_rules::RatesAllowSound(options_.FrameRate, options_.PlaybackRate);
    recordSound_ = options_.RecordSound != 0 ? BST_CHECKED : BST_UNCHECKED;
    keyFrames_ = options_.KeyFrames;
    quality_ = options_.CompQuality;
    clicks_ = options_.HighlightClicks != 0 ? BST_CHECKED : BST_UNCHECKED;
    keys_ = options_.ShowKeys != 0 ? BST_CHECKED : BST_UNCHECKED;
    // Built once: a refresh keeps the user's choice.
    const Window list = Item(IDC_VIDEO_COMPRESSOR);
    if (list.Send(CB_GETCOUNT) <= 0) {
        FillCompressorList(list);
        SelectCompressor(list, options_.CompFourcc);
    }
    ShowFields();
    const Window box = Item(IDC_VIDEO_SOUND);
    if (!soundPossible)
        box.SetChecked(false);
    box.Enable(soundPossible);
}

void CMyPropertyPage3::OnControl(int id, int code) {
    switch (code) {
    case EN_CHANGE:
        if (id == IDC_VIDEO_FRAME_RATE) {
            // Typing a capture rate sets the same playback rate.
            Item(IDC_VIDEO_PLAYBACK_RATE).SetText(Item(id).Text());
        } else if (id == IDC_VIDEO_PLAYBACK_RATE) {
            ApplySoundCheckRule();
        }
        break;
    case EN_KILLFOCUS:
        OnEditLeft(id);
        break;
    case CBN_SELCHANGE:
        if (id == IDC_VIDEO_COMPRESSOR)
            options_.CompFourcc = SelectedCompressor(Item(id));
        break;
    case BN_CLICKED:
        OnClicked(id);
        break;
    default:
        break;
    }
}

void CMyPropertyPage3::OnEditLeft(int id) {
    switch (id) {
    case IDC_VIDEO_FILE_NAME:
        if (ReadBack({id}))
            options_.FileName = fileName_;
        break;
    case IDC_VIDEO_FRAME_RATE:
        if (!ReadBack({id}))
            break;
        // The rule's own pairing: the playback rate follows, as the edit beside it shows.
        (void)option_rules::SetFrameRate(options_, frameRate_, false);
        break;
    case IDC_VIDEO_PLAYBACK_RATE:
        if (!ReadBack({id}))
            break;
        options_.PlaybackRate = playbackRate_;
        // What the box shows now: unchecked when the rates differ.
        if (ReadBack({IDC_VIDEO_SOUND}))
            options_.RecordSound = recordSound_ == BST_CHECKED ? 1 : 0;
        break;
    case IDC_VIDEO_KEY_FRAMES:
        if (ReadBack({id}))
            options_.KeyFrames = keyFrames_;
        break;
    case IDC_VIDEO_QUALITY:
        if (ReadBack({id}))
            options_.CompQuality = quality_;
        break;
    default:
        break;
    }
}

void CMyPropertyPage3::OnClicked(int id) {
    switch (id) {
    case IDC_VIDEO_INCREMENT:
        if (ReadBack({id}))
            options_.IncrementFileName = increment_ == BST_CHECKED ? 1 : 0;
        break;
    case IDC_VIDEO_SOUND:
        if (ReadBack({id}))
            options_.RecordSound = recordSound_ == BST_CHECKED ? 1 : 0;
        break;
    case IDC_VIDEO_CLICKS:
        if (ReadBack({id}))
            options_.HighlightClicks = clicks_ == BST_CHECKED ? 1 : 0;
        break;
    case IDC_VIDEO_KEYS:
        // Checked, it keeps a stored wish for letters and digits too.
        if (ReadBack({id}))
            options_.ShowKeys = keys_ != BST_CHECKED ? 0 : std::max<int32_t>(options_.ShowKeys, 1);
        break;
    case IDC_VIDEO_BROWSE:
        BrowseForFileName();
        break;
    default:
        break;
    }
}

void CMyPropertyPage3::ApplySoundCheckRule() {
    // Only while the user types a rate; a refresh sets the box itself.
    const Window frameEdit = Item(IDC_VIDEO_FRAME_RATE);
    const Window playbackEdit = Item(IDC_VIDEO_PLAYBACK_RATE);
    if (!frameEdit.HasFocus() && !playbackEdit.HasFocus())
        return;
    // Text that is no rate yet counts as different: it will not be stored as it stands.
    const std::optional<double> frame = ParseDouble(frameEdit.Text());
    const std::optional<double> playback = ParseDouble(playbackEdit.Text());
    const bool soundPossible =
        frame && playback && option_rules::RatesAllowSound(*frame, *playback);
    // Back at equal rates, the box shows the options' own RecordSound again.
    const Window box = Item(IDC_VIDEO_SOUND);
    box.SetChecked(soundPossible && options_.RecordSound != 0);
    box.Enable(soundPossible);
}

void CMyPropertyPage3::BrowseForFileName() {
    char path[MAX_PATH] = "";
    OPENFILENAMEA ofn{};
    // The first, shorter layout of the structure, which every version of the dialog takes.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = Handle();
    ofn.lpstrFilter = "AVI Files (*.avi)\0*.avi\0All Files\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    // The dialog would otherwise make the chosen folder the current one, and a relative file
    // name (the default "clip.avi") and Play would follow it.
    ofn.Flags = OFN_NOCHANGEDIR;
    if (!::GetSaveFileNamePreviewA(&ofn))
        return;
    if (!option_rules::IsValidFileName(path))
        return;
    fileName_ = path;
    options_.FileName = fileName_;
    Item(IDC_VIDEO_FILE_NAME).SetText(fileName_);
}
