// What a COM error leaving a window message handler does, for every kind of
// message, on real windows.
#include "support/message_guard.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qz_support {
namespace {

class ShownErrors {
public:
    ShownErrors() {
        previous_ = SetErrorDisplay([this](const std::wstring& text) { texts.push_back(text); });
    }
    ~ShownErrors() { SetErrorDisplay(previous_); }
    std::vector<std::wstring> texts;

private:
    ErrorDisplay previous_;
};

HWND CreatePlainWindow() {
    return CreateWindowExA(0, "STATIC", "guard test", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

MessageOutcome Fail(HWND window, UINT message, LPARAM lParam = 0) {
    SetErrorInfo(0, nullptr);
    ICreateErrorInfo* create = nullptr;
    CreateErrorInfo(&create);
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
    return GuardMessage("SentrelController", 78, nullptr, window, message, 0, lParam,
                        []() -> MessageOutcome { throw _com_error(E_ACCESSDENIED); });
}

bool ErrorInfoCleared() {
    IErrorInfo* info = nullptr;
    const HRESULT hr = GetErrorInfo(0, &info);
    if (info) info->Release();
    return hr == S_FALSE;
}

TEST(MessageErrorPolicy, EachMessageKind) {
    const struct {
        UINT message;
        UINT notifyCode;  // for WM_NOTIFY
        bool shown;
    } cases[] = {
        {WM_ERASEBKGND, 0, false},      {WM_SETCURSOR, 0, false},   {WM_ICONERASEBKGND, 0, false},
        {WM_DRAWITEM, 0, false},        {WM_MEASUREITEM, 0, false}, {WM_NCHITTEST, 0, false},
        {WM_NCPAINT, 0, false},         {WM_NCMOUSEMOVE, 0, false}, {WM_MOUSEMOVE, 0, false},
        {WM_NOTIFY, static_cast<UINT>(NM_CUSTOMDRAW), false}, {WM_NOTIFY, static_cast<UINT>(NM_HOVER), false},
        {WM_NOTIFY, static_cast<UINT>(NM_NCHITTEST), false},  {WM_NOTIFY, static_cast<UINT>(NM_SETCURSOR), false},
        {WM_NOTIFY, static_cast<UINT>(NM_CLICK), true},       {WM_COMMAND, 0, true},
        {WM_TIMER, 0, true},            {WM_USER + 1, 0, true},     {WM_PAINT, 0, false},
    };
    const HWND window = CreatePlainWindow();
    ASSERT_NE(window, nullptr);
    for (const auto& c : cases) {
        ShownErrors shown;
        NMHDR header{window, 0, c.notifyCode};
        const MessageOutcome outcome = Fail(window, c.message, c.message == WM_NOTIFY ? LPARAM(&header) : 0);
        EXPECT_FALSE(outcome.handled) << c.message;
        EXPECT_EQ(shown.texts.size(), c.shown ? 1u : 0u) << c.message << " code " << c.notifyCode;
        EXPECT_TRUE(ErrorInfoCleared()) << c.message;
        EXPECT_TRUE(IsWindow(window));
    }
    DestroyWindow(window);
}

TEST(MessageErrorPolicy, PaintValidatesTheWindow) {
    const HWND window = CreatePlainWindow();
    ShowWindow(window, SW_SHOW);
    InvalidateRect(window, nullptr, TRUE);
    RECT dirty;
    ASSERT_TRUE(GetUpdateRect(window, &dirty, FALSE));
    ShownErrors shown;
    Fail(window, WM_PAINT);
    EXPECT_FALSE(GetUpdateRect(window, &dirty, FALSE));
    EXPECT_TRUE(shown.texts.empty());
    DestroyWindow(window);
}

TEST(MessageErrorPolicy, CreateDestroysTheWindowAndCountsAsHandled) {
    const HWND window = CreatePlainWindow();
    ShownErrors shown;
    const MessageOutcome outcome = Fail(window, WM_CREATE);
    EXPECT_TRUE(outcome.handled);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(shown.texts.size(), 1u);
    EXPECT_TRUE(ErrorInfoCleared());
}

INT_PTR CALLBACK FailingInitDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    const MessageOutcome outcome = GuardMessage("SentrelController", 27, nullptr, dialog, message, wParam, lParam,
                                                []() -> MessageOutcome { throw _com_error(E_FAIL); });
    return outcome.handled ? TRUE : FALSE;
}

TEST(MessageErrorPolicy, InitDialogEndsTheDialogWithZero) {
    // A minimal in-memory dialog template: no controls.
    alignas(4) WORD templateWords[32] = {};
    auto* dialogTemplate = reinterpret_cast<DLGTEMPLATE*>(templateWords);
    dialogTemplate->style = WS_POPUP | WS_CAPTION;
    dialogTemplate->cx = 100;
    dialogTemplate->cy = 50;
    ShownErrors shown;
    const INT_PTR result =
        DialogBoxIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate, nullptr, FailingInitDialog, 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown.texts.size(), 1u);
}

TEST(MessageErrorPolicy, OtherExceptionsAreReportedThenTreatedAsUnexpected) {
    const HWND window = CreatePlainWindow();
    ShownErrors shown;
    const MessageOutcome outcome = GuardMessage("SentrelController", 78, nullptr, window, WM_COMMAND, 0, 0,
                                                []() -> MessageOutcome { throw std::runtime_error("boom"); });
    EXPECT_FALSE(outcome.handled);
    ASSERT_EQ(shown.texts.size(), 1u) << "one box: the report is only recorded";
    EXPECT_NE(shown.texts[0].find(L"0x8000FFFF"), std::wstring::npos);
    EXPECT_NE(LastReportedError().find(L"0x8000FFFF"), std::wstring::npos);
    DestroyWindow(window);
}

TEST(MessageErrorPolicy, HandlerResultPassesThroughWhenNothingFails) {
    const MessageOutcome outcome = GuardMessage("SentrelController", 78, nullptr, nullptr, WM_USER, 0, 0,
                                                [] { return MessageOutcome{true, 7}; });
    EXPECT_TRUE(outcome.handled);
    EXPECT_EQ(outcome.result, 7);
}

}  // namespace
}  // namespace qz_support
