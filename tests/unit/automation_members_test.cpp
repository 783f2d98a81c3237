#include "automation/automation_members.h"

#include <gtest/gtest.h>

#include <algorithm>

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
