// The agent's records in the log that the controller's registration made:
// appended after what the log already holds, and never written where there
// is no log (the agent makes none, so that no log exists with any other
// descriptor than registration gives it).
#include "support/log_location.h"
#include "support/unique_any.h"
#include "tests/wine/agent_fixture.h"
#include "tools/browser_host/message_box_watcher.h"

#include <memory>
#include <string>

namespace sentrel::testing {
namespace {

using host::BrowserWindow;

class AgentLogFile : public AgentTest {
protected:
    static void TearDownTestSuite() { RemoveController(); }

    host::MessageBoxWatcher boxes_;
};

TEST_F(AgentLogFile, RecordsGoOnlyIntoTheLogThatRegistrationMade) {
    const struct {
        const char* name;
        bool registrationMadeTheLog;
        std::string before;  // appended by an earlier browser
        const char* after;   // null: there is no log
    } cases[] = {
        {"no log", false, "", nullptr},
        {"the log as registration made it", true, "", "0, http://allowed.test/1, http://refused.test/"},
        {"a log with records", true, "1, http://earlier.test/",
         "1, http://earlier.test/0, http://allowed.test/1, http://refused.test/"},
    };
    for (const auto& c : cases) {
        RemoveAgentLog();
        // The real registration (/RegServer) makes the log when it is missing.
        UseController(LockedDocument("allowed.test").c_str());
        if (!c.registrationMadeTheLog) RemoveAgentLog();
        if (!c.before.empty()) {
            const qz_support::UniqueFile earlier(CreateFileW(kLogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(earlier.get(), c.before.data(), static_cast<DWORD>(c.before.size()), &written,
                                  nullptr))
                << c.name;
        }
        {
            BrowserWindow window("IEFrame");
            EXPECT_FALSE(window.Browser().Navigate(L"http://allowed.test/").cancelled) << c.name;
            EXPECT_TRUE(window.Browser().Navigate(L"http://refused.test/").cancelled) << c.name;
        }
        boxes_.Take();
        if (c.after) {
            EXPECT_EQ(ReadAgentLog(), c.after) << c.name;
        } else {
            EXPECT_EQ(GetFileAttributesW(kLogPath), INVALID_FILE_ATTRIBUTES) << c.name << ": the agent made a log";
        }
    }
    EmptyAgentLog();
}

}  // namespace
}  // namespace sentrel::testing
