#include "automation/automation_members.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

using namespace automation;

TEST(AutomationMembers, NamesFindTheirIdsWhateverTheCaseAndNothingElseMatches) {
    for (const Member& m : Members()) {
        std::wstring upper(m.name.begin(), m.name.end());
        std::wstring lower = upper;
        std::ranges::transform(upper, upper.begin(), [](wchar_t c) { return towupper(c); });
        std::ranges::transform(lower, lower.begin(), [](wchar_t c) { return towlower(c); });
        EXPECT_EQ(FindMember(upper), m.dispid) << m.name;
        EXPECT_EQ(FindMember(lower), m.dispid) << m.name;
        EXPECT_EQ(MemberById(m.dispid), &m);
    }
    for (const wchar_t* unknown : {L"", L"Start", L"StartRecX", L"StartX ", L"Widt\u00e4"})
        EXPECT_EQ(FindMember(unknown), 0) << unknown;
    EXPECT_EQ(MemberById(0), nullptr);
    EXPECT_EQ(MemberById(kMemberCount + 1), nullptr);
}

TEST(AutomationRegistration, ClassNamesItsQuotedServerAndTypeLibraryAndIdsAgree) {
    const auto values = ClassRegistration("C:\\Program Files\\Vidorra\\Vidorra.exe",
                                          "C:\\Program Files\\Vidorra\\Vidorra.tlb", false);
    auto find = [&](const std::string& keyEnd, const std::string& name = "") -> std::string {
        for (const RegistryValue& v : values)
            if (v.key.ends_with(keyEnd) && v.name == name)
                return v.value;
        ADD_FAILURE() << "no " << keyEnd;
        return {};
    };
    const std::string clsid = find("Vidorra.Application\\CLSID");
    ASSERT_EQ(clsid.size(), 38u);
    EXPECT_EQ(find("CLSID\\" + clsid + "\\LocalServer32"),
              "\"C:\\Program Files\\Vidorra\\Vidorra.exe\"");
    EXPECT_EQ(find("CLSID\\" + clsid + "\\ProgID"), "Vidorra.Application");
    const std::string libid = find("CLSID\\" + clsid + "\\TypeLib");
    EXPECT_EQ(find("TypeLib\\" + libid + "\\1.0\\0\\win32"),
              "C:\\Program Files\\Vidorra\\Vidorra.tlb");
    EXPECT_EQ(find("TypeLib\\" + libid + "\\1.0\\HELPDIR"), "C:\\Program Files\\Vidorra");
    const auto win64 = ClassRegistration("C:\\V.exe", "C:\\V.tlb", true);
    EXPECT_TRUE(std::ranges::any_of(win64, [](const RegistryValue& v) {
        return v.key.ends_with("\\0\\win64") && v.value == "C:\\V.tlb";
    }));
    // Every key lies below the user's own classes, never anywhere else.
    for (const RegistryValue& v : values)
        EXPECT_TRUE(v.key.starts_with("Vidorra.Application") || v.key.starts_with("CLSID\\{") ||
                    v.key.starts_with("TypeLib\\{") || v.key.starts_with("Interface\\{"))
            << v.key;
}

// Each property reads the option it names and puts through that option's rule alone: a value put
// reads back and changes no other property (but the playback rate, which follows the frame
// rate), a value of the wrong kind or beyond a short's range is refused, and so is what the rule
// refuses. Only the region's place may change while a recording runs.
TEST(AutomationMembers, EachPropertyReadsAndPutsItsOwnOption) {
    struct Case {
        int id;
        Value put;
        std::variant<std::monostate, int32_t, double> refused; // besides one of the wrong kind
        OptionGroup group;
    };
    const Case cases[] = {
        {dispid::StartX, 17, 70000, OptionGroup::Region},
        {dispid::StartY, -23, {}, OptionGroup::Region},
        {dispid::Width, 200, 0, OptionGroup::Region},
        {dispid::Height, 150, -5, OptionGroup::Region},
        {dispid::FrameRate, 12.5, -1.0, OptionGroup::Video},
        {dispid::FileName, std::string("take.avi"), {}, OptionGroup::Video},
        {dispid::PlaybackRate, 25.0, 0.0, OptionGroup::Video},
        {dispid::IncrementFileName, false, {}, OptionGroup::Video},
        {dispid::RecordSound, true, {}, OptionGroup::Video},
        {dispid::KeyFrames, 30, -1, OptionGroup::Video},
        {dispid::CompQuality, 50, {}, OptionGroup::Video},
        {dispid::SoundSampSize, 16, {}, OptionGroup::Sound},
        {dispid::SoundSampRate, 22050, {}, OptionGroup::Sound},
        {dispid::FlashRect, false, {}, OptionGroup::Region},
        {dispid::HighlightClicks, true, {}, OptionGroup::Video},
        {dispid::ShowKeys, 2, 3, OptionGroup::Video},
    };
    auto snapshot = [](const RecordingOptions& o) {
        std::vector<std::pair<int, Value>> values;
        for (const Member& m : Members())
            if (m.get)
                values.emplace_back(m.dispid, m.get(o));
        return values;
    };
    int properties = 0;
    for (const Member& m : Members())
        properties += m.kind == MemberKind::Property;
    ASSERT_EQ(std::size(cases), static_cast<size_t>(properties));

    for (const Case& c : cases) {
        const Member& m = *MemberById(c.id);
        SCOPED_TRACE(std::string(m.name));
        RecordingOptions o;
        const auto before = snapshot(o);
        ASSERT_TRUE(m.put(o, c.put));
        EXPECT_EQ(m.get(o), c.put);
        const auto after = snapshot(o);
        for (size_t i = 0; i < after.size(); ++i) {
            const int id = after[i].first;
            if (id != c.id && !(c.id == dispid::FrameRate && id == dispid::PlaybackRate)) {
                EXPECT_EQ(after[i].second, before[i].second) << MemberById(id)->name;
            }
        }
        EXPECT_EQ(m.group, c.group);
        EXPECT_EQ(m.whileRecording, c.id == dispid::StartX || c.id == dispid::StartY);

        const Value wrongKind =
            std::holds_alternative<std::string>(c.put) ? Value{1} : Value{std::string("x")};
        EXPECT_FALSE(m.put(o, wrongKind));
        if (const auto* whole = std::get_if<int32_t>(&c.refused)) {
            EXPECT_FALSE(m.put(o, *whole));
        }
        if (const auto* rate = std::get_if<double>(&c.refused)) {
            EXPECT_FALSE(m.put(o, *rate));
        }
        if (c.id == dispid::FileName) {
            EXPECT_FALSE(m.put(o, std::string()));
        }
        EXPECT_EQ(snapshot(o), after);
    }
}
