// The guards that every entry point runs in: what leaves the guarded work,
// what the caller gets, what is reported and what error information the
// thread keeps.
#include "support/entry_points.h"
#include "support/message_guard.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <cctype>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace qz_support {
namespace {

// A COM error that carries error information with `description`.
_com_error DescribedError(HRESULT hr, const wchar_t* description) {
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    create->Release();
    return _com_error(hr, info, false);  // takes the reference
}

// The description of the thread's error information; "<none>" without.
std::wstring ThreadErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return L"<none>";
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::wstring description = text ? text : L"";
    SysFreeString(text);
    info->Release();
    return description;
}

// What each kind of failure does, for the three guard shapes.
struct Failure {
    const char* name;
    std::function<void()> raise;
    HRESULT code;             // what a COM entry returns
    const wchar_t* reported;  // in the report, empty when nothing is reported
    const wchar_t* kept;      // the thread's error information afterwards
};

const Failure kFailures[] = {
    {"success", [] {}, S_OK, L"", L"<none>"},
    {"COM error", [] { throw DescribedError(E_ACCESSDENIED, L"denied here"); }, E_ACCESSDENIED, L"0x80070005",
     L"denied here"},
    {"other exception", [] { throw std::runtime_error("broken"); }, E_UNEXPECTED, L"0x8000FFFF", L"<none>"},
    {"no memory", [] { throw std::bad_alloc(); }, E_UNEXPECTED, L"0x8000FFFF", L"<none>"},
};

class EntryGuards : public ::testing::TestWithParam<Failure> {
protected:
    void SetUp() override {
        SetErrorInfo(0, nullptr);
        // A marker report: a report left by an earlier test must not count
        // as this one's.
        ReportError(S_FALSE);
    }
    // Whether the last report names `code`; with an empty code, whether
    // nothing was reported since the marker.
    bool Reported(const wchar_t* code) const {
        if (!*code) return LastReportedError().find(L"0x00000001") != std::wstring::npos;
        return LastReportedError().find(code) != std::wstring::npos;
    }
};

TEST_P(EntryGuards, ComEntryReturnsTheFailureAndHandsOnItsErrorInformation) {
    const Failure& failure = GetParam();
    const HRESULT result = GuardComEntry("Agent", 12, nullptr, IID_IDispatch, CLSID_NULL, [&]() -> HRESULT {
        EXPECT_EQ(CurrentCallStack().size(), 1u);
        failure.raise();
        return S_OK;
    });
    EXPECT_EQ(result, failure.code);
    EXPECT_EQ(ThreadErrorDescription(), failure.kept);
    // A COM error goes back to the caller as the result: reporting it as well
    // would say it twice.
    EXPECT_TRUE(Reported(failure.code == E_UNEXPECTED ? failure.reported : L"")) << LastReportedError();
    EXPECT_TRUE(CurrentCallStack().empty());
}

TEST_P(EntryGuards, CallbackEntryReportsEveryFailureAndGivesItsFallback) {
    const Failure& failure = GetParam();
    const int result = GuardCallbackEntry("Hook", 34, nullptr, -1, [&] {
        failure.raise();
        return 7;
    });
    EXPECT_EQ(result, failure.code == S_OK ? 7 : -1);
    EXPECT_TRUE(Reported(failure.reported)) << LastReportedError();
    if (*failure.reported) {
        EXPECT_NE(LastReportedError().find(L"Hook, line 34"), std::wstring::npos);
    }
    EXPECT_EQ(ThreadErrorDescription(), failure.kept);
    EXPECT_TRUE(CurrentCallStack().empty());

    bool ran = false;
    GuardCallbackEntry("Timer", 56, nullptr, [&] {
        ran = true;
        failure.raise();
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(Reported(failure.reported)) << LastReportedError();
}

TEST_P(EntryGuards, WindowProcedureReportsWhatTheForwardedMessageRaised) {
    const Failure& failure = GetParam();
    const LRESULT result = GuardWindowProcedure("BrowserNotify", 78, nullptr, 0, [&]() -> LRESULT {
        EXPECT_TRUE(CurrentCallStack().empty()) << "no frame on the way through";
        failure.raise();
        return 5;
    });
    EXPECT_EQ(result, failure.code == S_OK ? 5 : 0);
    EXPECT_TRUE(Reported(failure.reported)) << LastReportedError();
    if (*failure.reported) {
        EXPECT_NE(LastReportedError().find(L"BrowserNotify, line 78"), std::wstring::npos);
    }
    EXPECT_EQ(ThreadErrorDescription(), L"<none>") << "cleared after a failure";
    EXPECT_TRUE(CurrentCallStack().empty());
}

INSTANTIATE_TEST_SUITE_P(EachFailure, EntryGuards, ::testing::ValuesIn(kFailures),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace qz_support
