// What the agent tests share: the real SentrelAgent.dll registered in the
// run's prefix with regsvr32, the real controller in the state a test needs,
// the agent's log file, and browser windows of the test host on this thread.
#pragma once

#include "support/com_ptr.h"
#include "tools/browser_host/host_session.h"
#include "tools/client/controller_client.h"

#include <gtest/gtest.h>

#include <string>

namespace sentrel::testing {

using client::AgentLibrary;

// regsvr32 (/s, or /u /s) on the agent library; its exit code.
long RunRegsvr32(bool unregister);

// Registers the controller and stores `document` (an empty one when null),
// then makes sure the running controller has read it.
void UseController(const char* document);
// Ends and unregisters the controller: agents then cannot reach one.
void RemoveController();

// A settings document with the lock on, in allow-list mode unless `blockList`.
std::string LockedDocument(const std::string& hosts, const std::string& errorPage = "", bool blockList = false,
                           bool blockPopups = true);

// The agent's log: read whole; removed; emptied, that is removed and made
// again as the controller's registration makes it (the agent writes only to
// a log that exists).
std::string ReadAgentLog();
void RemoveAgentLog();
void EmptyAgentLog();

// The loaded agent library's export, looked up by name.
template <typename Function>
Function AgentExport(const char* name) {
    const HMODULE module = GetModuleHandleW(AgentLibrary().c_str());
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
HRESULT AgentCanUnloadNow();

// Registers the agent once for the test program.
class AgentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
};

}  // namespace sentrel::testing
