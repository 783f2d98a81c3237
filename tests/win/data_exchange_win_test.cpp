#include "framework/data_exchange_win.h"
#include "framework/dialog_template_win.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kText = 101;
constexpr int kInt = 102;
constexpr int kDouble = 103;
constexpr int kCheck = 104;
constexpr int kMissing = 999;
constexpr unsigned kMissingText = 999;

DialogTemplate MakeTemplate() {
    DialogTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 200, 100, "Exchange");
    t.Add("EDIT", kText, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 5, 5, 100, 14);
    t.Add("EDIT", kInt, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 5, 22, 100, 14);
    t.Add("EDIT", kDouble, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 5, 39, 100, 14);
    t.Add("BUTTON", kCheck, BS_AUTOCHECKBOX | WS_TABSTOP, 5, 56, 100, 14, "Check");
    return t;
}

// Records refusals instead of showing a blocking message box.
class PageDialog : public Dialog {
public:
    using Dialog::Dialog;
    std::vector<std::string> errors;
    // Called from inside ShowInputError: a focus change during a real message box makes another
    // edit read the fields back.
    std::function<void()> duringError;

    void ShowInputError(const std::string& text) override {
        errors.push_back(text);
        if (duringError) {
            duringError();
        }
    }
};

// One visible dialog for the whole suite: under Wine without a window manager, destroying a
// visible window waits about two seconds.
class DataExchangeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        template_ = new DialogTemplate(MakeTemplate());
        shared_ = new PageDialog(template_->Get());
        ASSERT_TRUE(shared_->CreateModeless(nullptr));
        ::SetForegroundWindow(shared_->Handle());
    }
    static void TearDownTestSuite() {
        delete shared_;
        delete template_;
    }

    void SetUp() override {
        dialog_.errors.clear();
        dialog_.duringError = nullptr;
        for (int id : {kText, kInt, kDouble}) {
            Type(id, "");
        }
        dialog_.Item(kCheck).SetChecked(false);
        // Focus away from the edits, so landing in one is the exchange's doing.
        dialog_.Item(kCheck).Focus();
    }

    void Type(int id, const char* text) { dialog_.Item(id).SetText(text); }

    static inline DialogTemplate* template_ = nullptr;
    static inline PageDialog* shared_ = nullptr;
    PageDialog& dialog_ = *shared_;

    std::string text_ = "old";
    int32_t number_ = 7;
    double rate_ = 1.5;
    int check_ = BST_UNCHECKED;
    std::vector<ExchangeField> fields_{
        TextField{kText, &text_, 10},
        IntField{kInt, &number_, Range<int32_t>{0, 100}},
        DoubleField{kDouble, &rate_},
        CheckField{kCheck, &check_},
    };
};

TEST_F(DataExchangeTest, ValuesSurviveARoundTripThroughTheControls) {
    text_ = "clip.avi";
    number_ = -5;
    fields_[1] = IntField{kInt, &number_};
    rate_ = 10.0;
    check_ = BST_CHECKED;
    EXPECT_TRUE(Exchange(dialog_, fields_, Direction::ToControls));
    EXPECT_EQ(dialog_.Item(kText).Text(), "clip.avi");
    EXPECT_EQ(dialog_.Item(kInt).Text(), "-5");
    EXPECT_EQ(dialog_.Item(kDouble).Text(), "10");
    EXPECT_TRUE(dialog_.Item(kCheck).IsChecked());
    // The maximum length also stops the user typing more.
    EXPECT_EQ(dialog_.Item(kText).Send(EM_GETLIMITTEXT), 10);

    text_.clear();
    number_ = 0;
    rate_ = 0;
    check_ = BST_UNCHECKED;
    EXPECT_TRUE(Exchange(dialog_, fields_, Direction::FromControls));
    EXPECT_EQ(text_, "clip.avi");
    EXPECT_EQ(number_, -5);
    EXPECT_EQ(rate_, 10.0);
    EXPECT_EQ(check_, BST_CHECKED);
    EXPECT_TRUE(dialog_.errors.empty());
}

TEST_F(DataExchangeTest, ReadingStopsAtTheFirstRefusedField) {
    Type(kText, "new");
    Type(kInt, "101");
    Type(kDouble, "2.5");
    dialog_.Item(kCheck).SetChecked(true);

    EXPECT_FALSE(Exchange(dialog_, fields_, Direction::FromControls));

    EXPECT_EQ(text_, "new"); // before the bad field: stored
    EXPECT_EQ(number_, 7);   // the bad field: kept
    EXPECT_EQ(rate_, 1.5);   // after it: kept
    EXPECT_EQ(check_, BST_UNCHECKED);
    ASSERT_EQ(dialog_.errors.size(), 1u);
    EXPECT_EQ(dialog_.errors[0], "Please enter an integer between 0 and 100.");
    // The user lands in the bad field with its text selected, ready to retype.
    const Window edit = dialog_.Item(kInt);
    EXPECT_TRUE(edit.HasFocus());
    DWORD start = 1;
    DWORD end = 0;
    edit.Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 3u);
}

TEST_F(DataExchangeTest, RangeBoundsAreAccepted) {
    for (const char* text : {"0", "100", " 42 "}) {
        Type(kInt, text);
        Type(kDouble, "1");
        EXPECT_TRUE(Exchange(dialog_, fields_, Direction::FromControls)) << text;
    }
    EXPECT_EQ(number_, 42);
}

TEST_F(DataExchangeTest, EachKindExplainsItsRefusal) {
    struct Case {
        int id;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {kText, "12345678901", "Please enter no more than 10 characters."},
        {kInt, "12abc", "Please enter an integer."},
        {kInt, "", "Please enter an integer."},
        {kDouble, "nan", "Please enter a number."},
        {kDouble, "inf", "Please enter a number."},
        {kDouble, "1,5", "Please enter a number."},
    };
    fields_[1] = IntField{kInt, &number_};
    for (const Case& c : cases) {
        Type(kText, "ok");
        Type(kInt, "1");
        Type(kDouble, "1");
        Type(c.id, c.text);
        dialog_.errors.clear();
        EXPECT_FALSE(Exchange(dialog_, fields_, Direction::FromControls)) << c.text;
        ASSERT_EQ(dialog_.errors.size(), 1u) << c.text;
        EXPECT_EQ(dialog_.errors[0], c.message);
        EXPECT_TRUE(dialog_.Item(c.id).HasFocus()) << c.text;
    }
    EXPECT_EQ(rate_, 1.5);
}

TEST_F(DataExchangeTest, TextOfExactlyTheMaximumLengthIsAccepted) {
    Type(kText, "1234567890");
    Type(kInt, "1");
    Type(kDouble, "1");
    EXPECT_TRUE(Exchange(dialog_, fields_, Direction::FromControls));
    EXPECT_EQ(text_, "1234567890");
}

TEST_F(DataExchangeTest, ATextRuleRefusesWithItsOwnMessageAndKeepsTheValue) {
    fields_[0] =
        TextField{kText, &text_, 10, [](std::string_view t) { return !t.empty(); }, kMissingText};
    Type(kText, "");
    Type(kInt, "1");
    Type(kDouble, "1");
    EXPECT_FALSE(Exchange(dialog_, fields_, Direction::FromControls));
    ASSERT_EQ(dialog_.errors.size(), 1u);
    // No such string in this program's resources: the built-in text stands in.
    EXPECT_EQ(dialog_.errors[0], "Please enter a valid value.");
    EXPECT_EQ(text_, "old");
    EXPECT_TRUE(dialog_.Item(kText).HasFocus());

    Type(kText, "fine");
    EXPECT_TRUE(Exchange(dialog_, fields_, Direction::FromControls));
    EXPECT_EQ(text_, "fine");
}

TEST_F(DataExchangeTest, DoubleRangeMessageShowsTheBoundsAsNumbers) {
    fields_[2] = DoubleField{kDouble, &rate_, Range<double>{0.5, 100.0}};
    Type(kText, "");
    Type(kInt, "1");
    Type(kDouble, "0.25");
    EXPECT_FALSE(Exchange(dialog_, fields_, Direction::FromControls));
    ASSERT_EQ(dialog_.errors.size(), 1u);
    EXPECT_EQ(dialog_.errors[0], "Please enter a number between 0.5 and 100.");
    EXPECT_EQ(rate_, 1.5);
}

TEST_F(DataExchangeTest, ARefusalDuringAnotherRefusalIsNotReportedAgain) {
    Type(kInt, "x");
    Type(kDouble, "1");
    int nestedResult = -1;
    dialog_.duringError = [&] {
        if (nestedResult == -1) { // once, so a missing guard fails instead of recursing
            nestedResult = -2;
            nestedResult = Exchange(dialog_, fields_, Direction::FromControls) ? 1 : 0;
        }
    };
    EXPECT_FALSE(Exchange(dialog_, fields_, Direction::FromControls));
    EXPECT_EQ(nestedResult, 0);
    EXPECT_EQ(dialog_.errors.size(), 1u);

    // Once the first report is over, the next refusal is reported again.
    dialog_.duringError = nullptr;
    EXPECT_FALSE(Exchange(dialog_, fields_, Direction::FromControls));
    EXPECT_EQ(dialog_.errors.size(), 2u);
}

TEST_F(DataExchangeTest, ARefusalInAHiddenDialogIsSilent) {
    // Never shown: a closing dialog is hidden before its controls lose the focus.
    DialogTemplate layout(WS_POPUP | WS_CAPTION, 10, 10, 200, 100, "Hidden");
    layout.Add("EDIT", kInt, WS_BORDER | ES_AUTOHSCROLL, 5, 5, 100, 14, "x");
    PageDialog hidden(layout.Get());
    ASSERT_TRUE(hidden.CreateModeless(nullptr));
    const ExchangeField fields[] = {IntField{kInt, &number_}};
    EXPECT_FALSE(Exchange(hidden, fields, Direction::FromControls));
    EXPECT_TRUE(hidden.errors.empty());
    EXPECT_EQ(number_, 7);
}

TEST_F(DataExchangeTest, FieldsWithoutAControlAreSkipped) {
    int32_t untouched = 5;
    const ExchangeField fields[] = {IntField{kMissing, &untouched}, CheckField{kCheck, &check_}};
    dialog_.Item(kCheck).SetChecked(true);
    EXPECT_TRUE(Exchange(dialog_, fields, Direction::FromControls));
    EXPECT_EQ(untouched, 5);
    EXPECT_EQ(check_, BST_CHECKED);
    EXPECT_TRUE(Exchange(dialog_, fields, Direction::ToControls));
}

} // namespace
