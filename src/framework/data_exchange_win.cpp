#include "framework/data_exchange_win.h"

#include "framework/app_win.h"
#include "framework/text_format.h"

namespace {

// Showing an error moves the focus, and pages read their fields back whenever an edit loses the
// focus; while one error is being reported, further refusals stay quiet instead of stacking up.
bool g_reporting = false;

class ReportingScope {
public:
    ReportingScope() { g_reporting = true; }
    ReportingScope(const ReportingScope&) = delete;
    ReportingScope& operator=(const ReportingScope&) = delete;
    ~ReportingScope() { g_reporting = false; }
};

std::string Message(UINT id, const char* fallback) {
    std::string text = App().LoadString(id);
    return text.empty() ? std::string(fallback) : text;
}

void Show(Window control, const TextField& field) {
    if (field.maxLength != 0) {
        control.Send(EM_LIMITTEXT, field.maxLength);
    }
    control.SetText(*field.value);
}

void Show(Window control, const IntField& field) {
    control.SetText(std::to_string(*field.value));
}

void Show(Window control, const DoubleField& field) {
    control.SetText(FormatDouble(*field.value));
}

void Show(Window control, const CheckField& field) {
    const int state = *field.value;
    control.SetCheckState(state == BST_INDETERMINATE ? BST_INDETERMINATE
                          : state != 0               ? BST_CHECKED
                                                     : BST_UNCHECKED);
}

// Each Read stores the value and returns nothing, or returns why the text was refused.
std::optional<std::string> Read(Window control, const TextField& field) {
    std::string text = control.Text();
    if (field.maxLength != 0 && text.size() > field.maxLength) {
        return FormatText(Message(kMaxCharsText, "Please enter no more than %d characters."),
                          {std::to_string(field.maxLength)});
    }
    if (field.accept != nullptr && !field.accept(text)) {
        return Message(field.refusalId, "Please enter a valid value.");
    }
    *field.value = std::move(text);
    return std::nullopt;
}

std::optional<std::string> Read(Window control, const IntField& field) {
    const std::optional<int32_t> value = ParseInt(control.Text());
    if (value && (!field.range || field.range->Contains(*value))) {
        *field.value = *value;
        return std::nullopt;
    }
    if (field.range) {
        return FormatText(Message(kIntegerRangeText, "Please enter an integer between %d and %d."),
                          {std::to_string(field.range->min), std::to_string(field.range->max)});
    }
    return Message(kEnterIntegerText, "Please enter an integer.");
}

std::optional<std::string> Read(Window control, const DoubleField& field) {
    const std::optional<double> value = ParseDouble(control.Text());
    if (value && (!field.range || field.range->Contains(*value))) {
        *field.value = *value;
        return std::nullopt;
    }
    if (field.range) {
        return FormatText(Message(kNumberRangeText, "Please enter a number between %s and %s."),
                          {FormatDouble(field.range->min), FormatDouble(field.range->max)});
    }
    return Message(kEnterNumberText, "Please enter a number.");
}

std::optional<std::string> Read(Window control, const CheckField& field) {
    *field.value = control.CheckState();
    return std::nullopt;
}

int FieldId(const ExchangeField& field) {
    return std::visit([](const auto& f) { return f.id; }, field);
}

} // namespace

bool Exchange(Dialog& dialog, std::span<const ExchangeField> fields, Direction direction) {
    for (const ExchangeField& field : fields) {
        const Window control = dialog.Item(FieldId(field));
        if (!control) {
            continue;
        }
        if (direction == Direction::ToControls) {
            std::visit([&](const auto& f) { Show(control, f); }, field);
            continue;
        }
        const std::optional<std::string> refusal =
            std::visit([&](const auto& f) { return Read(control, f); }, field);
        if (!refusal) {
            continue;
        }
        // Nobody would see a message about a hidden dialog (one that is closing, say), and the
        // focus could not go back to the field; it just keeps its value.
        if (!g_reporting && dialog.Wnd().Root().IsVisible()) {
            const ReportingScope reporting;
            dialog.ShowInputError(*refusal);
            // After the message box, which takes the focus while it is up.
            control.Focus();
            control.Send(EM_SETSEL, 0, -1);
        }
        return false;
    }
    return true;
}
