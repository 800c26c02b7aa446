// The registration script's reader: the agent's own script as it ships, and
// the mistakes a script can contain.
#include "agent/registration_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace sentrel::agent {
namespace {

const std::map<std::string, std::string> kModule = {{"MODULE", "C:\\Program Files\\Sentrel\\SentrelAgent.dll"}};

const ScriptKey* Find(const std::vector<ScriptKey>& keys, const std::string& name) {
    for (const ScriptKey& key : keys) {
        if (key.name == name) return &key;
    }
    return nullptr;
}

TEST(RegistrationScript, ReadsTheShippedScript) {
    std::ifstream file(SENTREL_SOURCE_DIR "/resources/SentrelAgent.rgs");
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    const auto script = ParseRegistrationScript(text.str(), kModule, error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->size(), 3u);
    EXPECT_EQ((*script)[0].hive, "HKCR");
    const ScriptKey* classes = Find((*script)[0].keys, "CLSID");
    ASSERT_NE(classes, nullptr);
    EXPECT_EQ(classes->rule, KeyRule::NoRemove);
    const ScriptKey* agent = Find(classes->children, "{B0000299-50CF-11D1-A140-0000F802C250}");
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(agent->rule, KeyRule::ForceRemove);
    ASSERT_EQ(agent->values.size(), 1u);
    EXPECT_EQ(agent->values[0].data, "Sentrel");
    const ScriptKey* server = Find(agent->children, "InprocServer32");
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->rule, KeyRule::Plain);
    ASSERT_EQ(server->values.size(), 2u);
    EXPECT_EQ(server->values[0].data, kModule.at("MODULE"));
    EXPECT_EQ(server->values[1].name, "ThreadingModel");
    EXPECT_EQ(server->values[1].data, "Apartment");
    const ScriptKey* categories = Find(agent->children, "Implemented Categories");
    ASSERT_NE(categories, nullptr);
    EXPECT_NE(Find(categories->children, "{59FB2056-D625-48D0-A944-1A85B5AB2640}"), nullptr) << "app containers";
    EXPECT_EQ((*script)[2].hive, "HKLM");
}

TEST(RegistrationScript, ReadsQuotesNumbersAndPercentSigns) {
    std::string error;
    const auto script = ParseRegistrationScript(
        "HKEY_CURRENT_USER { 'It''s here' = s '100%% %MODULE%' { val Count = d '42' Delete Old } }", kModule, error);
    ASSERT_TRUE(script) << error;
    const ScriptKey& key = (*script)[0].keys[0];
    EXPECT_EQ(key.name, "It's here");
    EXPECT_EQ(key.values[0].data, "100% " + kModule.at("MODULE"));
    EXPECT_EQ(key.values[1].type, 'd');
    EXPECT_EQ(key.children[0].rule, KeyRule::Delete);
}

TEST(RegistrationScript, NumbersAreDwords) {
    const struct {
        const char* data;
        bool read;
    } cases[] = {
        {"0", true},           {"4294967295", true}, {"0004294967295", true}, {"4294967296", false},
        {"9999999999", false}, {"000", true},        {"-1", false},
    };
    for (const auto& test : cases) {
        std::string error;
        const auto script = ParseRegistrationScript(std::string("HKCR { Key = d '") + test.data + "' }", kModule, error);
        EXPECT_EQ(script.has_value(), test.read) << test.data << " -> " << error;
        if (script) {
            EXPECT_EQ((*script)[0].keys[0].values[0].data, test.data);
        }
    }
}

TEST(RegistrationScript, RejectsBrokenScriptsSayingWhere) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"HKCR { CLSID", "line 1"},
        {"HKXX { }", "unknown hive"},
        {"HKCR { Key = x 'value' }", "value type"},
        {"HKCR { Key = d 'ten' }", "number"},
        {"HKCR { Key = d 4294967296 }", "32 bits"},
        {"HKCR { Key = d 12345678901 }", "32 bits"},
        {"HKCR { Key = s '%OTHER%' }", "no replacement for %OTHER%"},
        {"HKCR { Key = s '%MODULE' }", "unclosed %"},
        {"HKCR {\n 'unterminated }", "line 2"},
        {"HKCR { { } }", "a name was expected"},
    };
    for (const auto& test : cases) {
        std::string error;
        EXPECT_FALSE(ParseRegistrationScript(test.text, kModule, error)) << test.text;
        EXPECT_NE(error.find(test.expected), std::string::npos) << test.text << " -> " << error;
    }
}

}  // namespace
}  // namespace sentrel::agent
