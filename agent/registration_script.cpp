#include "agent/registration_script.h"

#include "support/ascii.h"

#include <algorithm>
#include <stdexcept>

namespace sentrel::agent {
namespace {

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Parser {
public:
    Parser(std::string_view text, const std::map<std::string, std::string>& replacements)
        : text_(text), replacements_(replacements) {}

    std::vector<ScriptRoot> Script() {
        std::vector<ScriptRoot> roots;
        while (!AtEnd()) {
            ScriptRoot root;
            root.hive = Hive(Word());
            Expect("{");
            while (Peek() != "}") root.keys.push_back(Key());
            Expect("}");
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    ScriptKey Key() {
        ScriptKey key;
        std::string name = Word();
        if (name == "NoRemove") key.rule = KeyRule::NoRemove;
        if (name == "ForceRemove") key.rule = KeyRule::ForceRemove;
        if (name == "Delete") key.rule = KeyRule::Delete;
        if (key.rule != KeyRule::Plain) name = Word();
        key.name = name;
        if (Peek() == "=") {
            Next();
            key.values.push_back(Value(""));
        }
        if (Peek() != "{") return key;
        Next();
        while (Peek() != "}") {
            if (Peek() == "val") {
                Next();
                std::string valueName = Word();
                Expect("=");
                key.values.push_back(Value(std::move(valueName)));
            } else {
                key.children.push_back(Key());
            }
        }
        Expect("}");
        return key;
    }

    ScriptValue Value(std::string name) {
        const std::string type = Word();
        if (type != "s" && type != "d") Fail("value type must be s or d, not '" + type + "'");
        std::string data = Word();
        if (type == "d" && (data.empty() || data.find_first_not_of("0123456789") != std::string::npos))
            Fail("a d value must be a number");
        // At most 4294967295: the value is written as a DWORD.
        if (type == "d") {
            const size_t first = std::min(data.find_first_not_of('0'), data.size() - 1);
            const std::string_view digits = std::string_view(data).substr(first);
            if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295"))
                Fail("a d value must fit in 32 bits");
        }
        return {std::move(name), type[0], std::move(data)};
    }

    static std::string Hive(const std::string& name) {
        if (name == "HKCR" || name == "HKEY_CLASSES_ROOT") return "HKCR";
        if (name == "HKCU" || name == "HKEY_CURRENT_USER") return "HKCU";
        if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE") return "HKLM";
        throw ScriptError("unknown hive '" + name + "'");
    }

    // A name or value: a bare word or a quoted string, with replacements.
    std::string Word() {
        const std::string token = Next();
        if (token == "{" || token == "}" || token == "=" || token.empty()) Fail("a name was expected");
        return token[0] == '\'' ? Replace(token.substr(1)) : Replace(token);
    }

    void Expect(const char* token) {
        if (Next() != token) Fail(std::string("'") + token + "' was expected");
    }

    std::string Peek() {
        const size_t saved = position_;
        std::string token = Next();
        position_ = saved;
        return token;
    }

    bool AtEnd() {
        SkipSpace();
        return position_ >= text_.size();
    }

    // Quoted tokens come back with their opening quote, unescaped.
    std::string Next() {
        SkipSpace();
        if (position_ >= text_.size()) return {};
        const char c = text_[position_];
        if (c == '{' || c == '}' || c == '=') {
            ++position_;
            return std::string(1, c);
        }
        if (c == '\'') {
            std::string token = "'";
            for (++position_;; ++position_) {
                if (position_ >= text_.size()) Fail("a quoted name is not closed");
                if (text_[position_] == '\'') {
                    if (position_ + 1 < text_.size() && text_[position_ + 1] == '\'') {
                        token += '\'';
                        ++position_;
                        continue;
                    }
                    ++position_;
                    return token;
                }
                token += text_[position_];
            }
        }
        const size_t start = position_;
        while (position_ < text_.size() && !IsAsciiSpace(text_[position_]) &&
               text_[position_] != '{' && text_[position_] != '}' && text_[position_] != '=' &&
               text_[position_] != '\'')
            ++position_;
        return std::string(text_.substr(start, position_ - start));
    }

    void SkipSpace() {
        while (position_ < text_.size() && IsAsciiSpace(text_[position_])) ++position_;
    }

    std::string Replace(const std::string& text) const {
        std::string result;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%') {
                result += text[i];
                continue;
            }
            const size_t end = text.find('%', i + 1);
            if (end == std::string::npos) Fail("an unclosed % in '" + text + "'");
            const std::string name = text.substr(i + 1, end - i - 1);
            if (name.empty()) {
                result += '%';
            } else {
                const auto found = replacements_.find(name);
                if (found == replacements_.end()) Fail("no replacement for %" + name + "%");
                result += found->second;
            }
            i = end;
        }
        return result;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        size_t line = 1;
        for (size_t i = 0; i < position_ && i < text_.size(); ++i) line += text_[i] == '\n';
        throw ScriptError("line " + std::to_string(line) + ": " + what);
    }

    std::string_view text_;
    const std::map<std::string, std::string>& replacements_;
    size_t position_ = 0;
};

}  // namespace

std::optional<std::vector<ScriptRoot>> ParseRegistrationScript(std::string_view text,
                                                               const std::map<std::string, std::string>& replacements,
                                                               std::string& error) {
    try {
        return Parser(text, replacements).Script();
    } catch (const ScriptError& failure) {
        error = failure.what();
        return std::nullopt;
    }
}

}  // namespace sentrel::agent
