#include "support/com_error.h"
#include "support/com_ptr.h"
#include "support/entry_points.h"
#include "support/unique_any.h"
#include "support/unique_variant.h"

#include <gtest/gtest.h>

#include <new>

#include <oleauto.h>

namespace qz_support {
namespace {

HRESULT FailWithErrorInfo(HRESULT hr, const wchar_t* description) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetDescription(const_cast<LPOLESTR>(description));
        IErrorInfo* info = nullptr;
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
    }
    return hr;
}

// An object that says it supports error information for IStream only.
class StreamErrors final : public ISupportErrorInfo {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISupportErrorInfo)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return IsEqualIID(iid, IID_IStream) ? S_OK : S_FALSE;
    }
};

// The description that a raised error carries; "<none>" without error information.
std::wstring CarriedDescription(HRESULT hr, IUnknown* object, REFIID iid) {
    try {
        ThrowIfFailed(hr, object, iid);
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), hr);
        const auto info = ComPtr<IErrorInfo>::Attach(error.ErrorInfo());
        if (!info) return L"<none>";
        UniqueBstr description;
        info->GetDescription(description.put());
        return description ? description.get() : L"";
    }
    ADD_FAILURE() << "did not raise";
    return L"";
}

TEST(ThrowIfFailed, CarriesErrorInformationOnlyWhenItBelongsToTheFailure) {
    StreamErrors object;
    EXPECT_EQ(CarriedDescription(FailWithErrorInfo(E_ACCESSDENIED, L"no access here"), &object, IID_IStream),
              L"no access here");
    EXPECT_EQ(CarriedDescription(FailWithErrorInfo(E_ACCESSDENIED, L"left over"), &object, IID_IStorage), L"<none>")
        << "the object does not vouch for this interface";
    EXPECT_EQ(CarriedDescription(FailWithErrorInfo(E_ACCESSDENIED, L"left over"), nullptr, IID_NULL), L"<none>");
    ComPtr<IErrorInfo> stale;
    EXPECT_EQ(GetErrorInfo(0, stale.put()), S_FALSE) << "the left-over information is not kept on the thread";
    EXPECT_EQ(ThrowIfFailed(S_FALSE), S_FALSE);
}

TEST(CheckPointer, NullRaisesEPointer) {
    IUnknown* none = nullptr;
    try {
        CheckPointer(none);
        FAIL() << "did not raise";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
    ComPtr<IUnknown> empty;
    EXPECT_THROW(empty->AddRef(), _com_error);
    EXPECT_FALSE(empty.try_query<IStream>());
    EXPECT_THROW(empty.query<IStream>(), _com_error);
}

TEST(Guards, RecordTheFramesTheThreadIsIn) {
    EXPECT_TRUE(CurrentCallStack().empty());
    {
        CComEntryPoint outer("Agent", 10, nullptr, IID_IUnknown, CLSID_NULL);
        {
            CMessageEntryPoint inner("SentrelController", 78, nullptr, WM_COMMAND);
            const auto stack = CurrentCallStack();
            ASSERT_EQ(stack.size(), 2u);
            EXPECT_STREQ(stack[0].file, "Agent");
            EXPECT_EQ(stack[1].line, 78);
            EXPECT_EQ(stack[1].message, static_cast<UINT>(WM_COMMAND));
        }
        EXPECT_EQ(CurrentCallStack().size(), 1u);
    }
    EXPECT_TRUE(CurrentCallStack().empty());
}

TEST(ShowError, SendsTheDescriptionAndTheInnermostFrameToTheDisplay) {
    std::wstring shown;
    auto previous = SetErrorDisplay([&](const std::wstring& text) { shown = text; });
    {
        CCallStackEntry frame("Hook", 42, nullptr);
        EXPECT_TRUE(ShowError(_com_error(E_ACCESSDENIED), 30, true));
    }
    EXPECT_NE(shown.find(L"0x80070005"), std::wstring::npos) << shown;
    EXPECT_NE(shown.find(L"Hook, line 42"), std::wstring::npos) << shown;
    // A report is recorded, not shown.
    shown.clear();
    EXPECT_EQ(ReportError(E_UNEXPECTED), E_UNEXPECTED);
    EXPECT_TRUE(shown.empty());
    EXPECT_NE(LastReportedError().find(L"0x8000FFFF"), std::wstring::npos);
    SetErrorDisplay(previous);
}

TEST(RunGuarded, ReportsWhatTheWorkRaisesWithItsFrameAndReturnsWhetherItEnded) {
    struct Case {
        const char* what;
        void (*work)();
        bool ended;
        const wchar_t* reported;  // the HRESULT the report names; null: no report
    };
    const Case cases[] = {
        {"nothing raised", [] {}, true, nullptr},
        {"a COM error", [] { throw _com_error(E_ACCESSDENIED); }, false, L"0x80070005"},
        {"no memory", [] { throw std::bad_alloc(); }, false, L"0x8007000E"},
        {"anything else", [] { throw 7; }, false, L"0x8000FFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReportError(S_OK);  // a known last report
        EXPECT_EQ(RunGuarded("Start", 12, c.work), c.ended);
        EXPECT_TRUE(CurrentCallStack().empty());
        const std::wstring report = LastReportedError();
        if (!c.reported) {
            EXPECT_NE(report.find(L"0x00000000"), std::wstring::npos) << report;
            continue;
        }
        EXPECT_NE(report.find(c.reported), std::wstring::npos) << report;
        EXPECT_NE(report.find(L"Start, line 12"), std::wstring::npos) << report;
    }
}

TEST(SetNextCreateCLSID, IsForgottenByClearExceptionHandler) {
    const CLSID someClass = {0x12345678, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
    SetNextCreateCLSID(someClass);
    EXPECT_TRUE(IsEqualCLSID(NextCreateCLSID(), someClass));
    ClearExceptionHandler();
    EXPECT_TRUE(IsEqualCLSID(NextCreateCLSID(), CLSID_NULL));
}

TEST(Owners, CloseWhatTheyHoldAndHandItOverOnRelease) {
    HANDLE raw = nullptr;
    {
        UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.get();
        UniqueHandle moved(std::move(event));
        EXPECT_FALSE(event);
        EXPECT_EQ(moved.get(), raw);
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags)) << "closed with its owner";

    UniqueBstr text(SysAllocString(L"abc"));
    BSTR taken = text.release();
    EXPECT_FALSE(text);
    EXPECT_EQ(SysStringLen(taken), 3u);
    SysFreeString(taken);

    UniqueFile missing(CreateFileA("Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);

    UniqueVariant value;
    V_VT(value.put()) = VT_BSTR;
    V_BSTR(value.put()) = nullptr;  // put() clears first: the variant is empty again
    EXPECT_EQ(V_VT(&value.get()), VT_EMPTY);
}

}  // namespace
}  // namespace qz_support
