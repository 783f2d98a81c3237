#pragma once

// Dialog data exchange: a page lists its fields once, in order, and one call either shows the
// values in the controls or reads them back. Reading stops at the first field the user must
// correct: the fields before it are stored, it and the ones after keep their values, the dialog's
// ShowInputError tells the user why, and the focus goes to that edit with its text selected.
// While the dialog's window is hidden (as when it closes) a refusal is silent.
//
//   const ExchangeField fields[] = {
//       IntField{1025, &keyFrames_, Range<int32_t>{0, 100}},
//       DoubleField{1021, &frameRate_},
//       CheckField{1022, &increment_},
//   };
//   if (!Exchange(*this, fields, Direction::FromControls)) ...
//
// A field whose control does not exist is skipped in both directions.

#include "framework/data_exchange.h"
#include "framework/dialog_win.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

enum class Direction { ToControls, FromControls };

struct TextField {
    int id;
    std::string* value;
    size_t maxLength = 0; // 0: no limit; otherwise also limits typing in the edit
    // Refuses the text when it returns false, with resource string refusalId as the message.
    bool (*accept)(std::string_view) = nullptr;
    unsigned refusalId = 0;
};

struct IntField {
    int id;
    int32_t* value;
    std::optional<Range<int32_t>> range = std::nullopt;
};

struct DoubleField {
    int id;
    double* value;
    std::optional<Range<double>> range = std::nullopt;
};

// BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
struct CheckField {
    int id;
    int* value;
};

using ExchangeField = std::variant<TextField, IntField, DoubleField, CheckField>;

// ToControls always succeeds; FromControls is false when a field was refused.
bool Exchange(Dialog& dialog, std::span<const ExchangeField> fields, Direction direction);

// Resource string ids of the refusal messages; built-in English texts stand in for missing ones.
enum ExchangeMessageId : unsigned {
    kEnterIntegerText = 160,
    kEnterNumberText = 161,
    kIntegerRangeText = 162, // two integers
    kNumberRangeText = 163,  // two formatted numbers
    kMaxCharsText = 164,     // one integer
};
