// Median cross-process round trip of IsURLOK with a 1,000-entry allow list,
// and of AllowPopup (the nearest to an empty call), against the real
// controller started by COM.
#include "policy/connect_controller.h"
#include "support/unique_any.h"
#include "tools/client/controller_client.h"
#include "tools/timing/median_timer.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kCalls = 3000;

}  // namespace

int main() {
    if (FAILED(CoInitialize(nullptr))) return 1;
    if (sentrel::client::RunProgram(L"\"" + sentrel::client::ControllerProgram() + L"\" /RegServer") != 0) return 1;
    std::string document = "<lockSettings active=\"Y\" errorPage=\"\">";
    for (int i = 0; i < 1000; ++i) document += "<host name=\"site" + std::to_string(i) + ".example\"/>";
    document += "</lockSettings>";
    sentrel::client::StoreSettingsDocument(document);

    qz_support::ComPtr<ISentrelController> controller;
    if (FAILED(sentrel::ConnectController(controller))) return 1;
    qz_support::UniqueBstr url(SysAllocString(L"http://www.site999.example/some/page.htm?q=1"));
    if (controller->IsURLOK(url.get()) != S_OK) return 1;
    for (int i = 0; i < 200; ++i) controller->AllowPopup();  // warm up

    const double popup = sentrel::timing::MedianMicroseconds(kCalls, [&] { controller->AllowPopup(); });
    const double decision = sentrel::timing::MedianMicroseconds(kCalls, [&] { controller->IsURLOK(url.get()); });
    std::printf("round trip, median of %d calls: AllowPopup %.1f us, IsURLOK (1,000-entry allow list) %.1f us, "
                "ratio %.2f (target at most 1.5)\n",
                kCalls, popup, decision, decision / popup);

    controller.reset();
    sentrel::client::EndControllers();
    // Wine's COM service keeps the ended server's class offered, which the
    // next harness's connection would take.
    sentrel::client::RunProgram(L"net stop rpcss");
    CoUninitialize();
    return 0;
}
