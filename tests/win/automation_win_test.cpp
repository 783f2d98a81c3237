#include "automation/automation_members.h"
#include "automation/automation_object_win.h"
#include "framework/app_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The type library says "void" where the object answers with an empty VARIANT.
VARTYPE Expected(automation::ValueType t) {
    const VARTYPE vt = VarTypeOf(t);
    return vt == VT_EMPTY ? static_cast<VARTYPE>(VT_VOID) : vt;
}

} // namespace

// The built type library, as a typed client reads it: the same members, ids, types and
// identifiers as the object answers with.
TEST(AutomationTypeLibrary, DescribesEveryMemberWithItsIdAndType) {
    const std::string path = Application::ProgramDirectory() + "\\Vidorra.tlb";
    const std::wstring wide(path.begin(), path.end());
    ITypeLib* library = nullptr;
    ASSERT_EQ(::LoadTypeLibEx(wide.c_str(), REGKIND_NONE, &library), S_OK) << path;
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libAttr), S_OK);
    EXPECT_TRUE(::IsEqualGUID(libAttr->guid, VidorraTypeLibId()));
    library->ReleaseTLibAttr(libAttr);

    ITypeInfo* coclass = nullptr;
    EXPECT_EQ(library->GetTypeInfoOfGuid(VidorraClassId(), &coclass), S_OK);
    if (coclass)
        coclass->Release();

    ITypeInfo* info = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(VidorraDispatchIid(), &info), S_OK);
    for (const automation::Member& m : automation::Members()) {
        std::wstring name(m.name.begin(), m.name.end());
        LPOLESTR names[] = {name.data()};
        MEMBERID id = 0;
        ASSERT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK) << m.name;
        EXPECT_EQ(id, m.dispid) << m.name;
    }
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    int gets = 0;
    int puts = 0;
    int methods = 0;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        const automation::Member* m = automation::MemberById(f->memid);
        if (m) {
            if (f->invkind == INVOKE_PROPERTYPUT) {
                ++puts;
                ASSERT_EQ(f->cParams, 1) << m->name;
                EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, Expected(m->type)) << m->name;
            } else {
                f->invkind == INVOKE_PROPERTYGET ? ++gets : ++methods;
                EXPECT_EQ(f->invkind == INVOKE_PROPERTYGET,
                          m->kind == automation::MemberKind::Property)
                    << m->name;
                EXPECT_EQ(f->cParams, 0) << m->name;
                EXPECT_EQ(f->elemdescFunc.tdesc.vt, Expected(m->type)) << m->name;
            }
        }
        info->ReleaseFuncDesc(f);
    }
    EXPECT_EQ(gets, 16);
    EXPECT_EQ(puts, 16);
    EXPECT_EQ(methods, 9);
    info->ReleaseTypeAttr(attr);
    info->Release();
    library->Release();
}
