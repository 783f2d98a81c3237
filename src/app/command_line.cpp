#include "app/command_line.h"

#include "engine/option_rules.h"
#include "framework/text_format.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

double LeadingReal(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

bool ApplySize(const std::string& value, Shared<int32_t>& field) {
    const int32_t v = LeadingInteger(value);
    if (!option_rules::IsValidSize(v))
        return false;
    field = v;
    return true;
}

bool ApplyPosition(const std::string& value, Shared<int32_t>& field) {
    const int32_t v = LeadingInteger(value);
    if (!option_rules::IsValidPosition(v))
        return false;
    field = v;
    return true;
}

} // namespace

MaintenanceSwitch FindMaintenanceSwitch(const std::vector<std::string>& args) {
    if (args.empty())
        return MaintenanceSwitch::None;
    const std::string& first = args.front();
    if (first == "-install")
        return MaintenanceSwitch::Install;
    if (first == "-installcodec")
        return MaintenanceSwitch::InstallCodec;
    if (first == "-uninstall")
        return MaintenanceSwitch::Uninstall;
    if (first == "-dumpopts")
        return MaintenanceSwitch::DumpOptions;
    if (first == "-readopts")
        return MaintenanceSwitch::ReadOptions;
    if (first == "-repair")
        return MaintenanceSwitch::Repair;
    return MaintenanceSwitch::None;
}

bool IsAutomationStart(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/'))
            continue;
        const std::string_view word = std::string_view(arg).substr(1);
        if (EqualsIgnoringCase(word, "Automation") || EqualsIgnoringCase(word, "Embedding"))
            return true;
    }
    return false;
}

int32_t LeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
    }
    if (negative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, limit - 1));
}

// Scripts write "-x 100" as often as "-x100": a number switch with nothing after its letters
// takes a following argument that is a number.
std::string NumberValue(const std::vector<std::string>& args, size_t& i, size_t letters) {
    const std::string& arg = args[i];
    if (arg.size() > letters || i + 1 >= args.size())
        return arg.substr(std::min(letters, arg.size()));
    const std::string& next = args[i + 1];
    size_t k = (!next.empty() && (next[0] == '-' || next[0] == '+')) ? 1 : 0;
    if (k < next.size() && (std::isdigit(static_cast<unsigned char>(next[k])) || next[k] == '.')) {
        ++i;
        return next;
    }
    return {};
}

std::vector<RefusedSwitch> ApplyRecordingSwitches(const std::vector<std::string>& args,
                                                  RecordingOptions& options,
                                                  const WindowRectLookup& windowRect) {
    std::vector<RefusedSwitch> refused;
    const auto refuse = [&refused](std::string name, std::string value) {
        refused.push_back({std::move(name), std::move(value)});
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i];
        // Tried in this order: the first switch the argument starts with wins.
        if (StartsWith(arg, "-recx")) {
            options.RecordAtStart = 1;
            options.ExitAfterRecording = 1;
        } else if (StartsWith(arg, "-rec")) {
            options.RecordAtStart = 1;
        } else if (StartsWith(arg, "-hc+")) {
            options.HighlightClicks = 1;
        } else if (StartsWith(arg, "-hc-")) {
            options.HighlightClicks = 0;
        } else if (StartsWith(arg, "-sk+")) {
            options.ShowKeys = 1;
        } else if (StartsWith(arg, "-sk-")) {
            options.ShowKeys = 0;
        } else if (StartsWith(arg, "-hw")) {
            const std::string value = NumberValue(args, i, 3);
            const uint64_t handle = std::strtoull(value.c_str(), nullptr, 10);
            ScreenRect r;
            if (handle != 0 && windowRect && windowRect(handle, r) &&
                option_rules::IsValidPosition(r.left) && option_rules::IsValidPosition(r.top) &&
                option_rules::IsValidSize(int64_t{r.right} - r.left) &&
                option_rules::IsValidSize(int64_t{r.bottom} - r.top)) {
                options.StartX = r.left;
                options.StartY = r.top;
                options.Width = r.right - r.left;
                options.Height = r.bottom - r.top;
            } else {
                refuse("-hw", value);
            }
        } else if (StartsWith(arg, "-x")) {
            const std::string value = NumberValue(args, i, 2);
            if (!ApplyPosition(value, options.StartX))
                refuse("-x", value);
        } else if (StartsWith(arg, "-y")) {
            const std::string value = NumberValue(args, i, 2);
            if (!ApplyPosition(value, options.StartY))
                refuse("-y", value);
        } else if (StartsWith(arg, "-w")) {
            const std::string value = NumberValue(args, i, 2);
            if (!ApplySize(value, options.Width))
                refuse("-w", value);
        } else if (StartsWith(arg, "-h")) {
            const std::string value = NumberValue(args, i, 2);
            if (!ApplySize(value, options.Height))
                refuse("-h", value);
        } else if (StartsWith(arg, "-f")) {
            const std::string value = NumberValue(args, i, 2);
            const double rate = LeadingReal(value);
            if (option_rules::IsValidRate(rate)) {
                options.FrameRate = rate;
                options.PlaybackRate = rate;
            } else {
                refuse("-f", value);
            }
        } else if (StartsWith(arg, "-a")) {
            // The next argument is the name, and is still looked at as a switch in its turn.
            if (i + 1 < args.size() && option_rules::IsValidFileName(args[i + 1]))
                options.FileName = args[i + 1];
            else
                refuse("-a", i + 1 < args.size() ? args[i + 1] : std::string());
        } else if (StartsWith(arg, "-i+")) {
            options.IncrementFileName = 1;
        } else if (StartsWith(arg, "-i-")) {
            options.IncrementFileName = 0;
        } else if (StartsWith(arg, "-s+")) {
            options.RecordSound = 1;
        } else if (StartsWith(arg, "-s-")) {
            options.RecordSound = 0;
        } else if (StartsWith(arg, "-k")) {
            const std::string value = NumberValue(args, i, 2);
            const int32_t frames = LeadingInteger(value);
            if (option_rules::IsValidKeyFrames(frames))
                options.KeyFrames = frames;
            else
                refuse("-k", value);
        } else if (StartsWith(arg, "-nox")) {
            options.NoFrameCross = 1;
        } else if (StartsWith(arg, "-nocursor")) {
            options.DrawCursor = 0;
        }
    }
    return refused;
}
