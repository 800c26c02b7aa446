// The registration script: the keys and values the module writes when it is
// registered and removes when it is unregistered, kept as text in the
// module's "REGISTRY" resource.
//
//   HKCR
//   {
//       NoRemove CLSID                          kept at unregistration
//       {
//           ForceRemove '{...}' = s 'Sentrel'   deleted first at registration
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//       Delete Enum                             deleted in both directions
//   }
//
// Names are bare words or quoted with single quotes ('' is a quote inside);
// value types are s (text) and d (number); %NAME% is replaced from the
// caller's table and %% is a percent sign.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::agent {

enum class KeyRule { Plain, NoRemove, ForceRemove, Delete };

struct ScriptValue {
    std::string name;  // empty: the key's default value
    char type;         // 's' or 'd'
    std::string data;
};

struct ScriptKey {
    KeyRule rule = KeyRule::Plain;
    std::string name;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> children;
};

struct ScriptRoot {
    std::string hive;  // HKCR, HKCU or HKLM
    std::vector<ScriptKey> keys;
};

// The parsed script, or nothing with `error` saying where it went wrong.
std::optional<std::vector<ScriptRoot>> ParseRegistrationScript(std::string_view text,
                                                               const std::map<std::string, std::string>& replacements,
                                                               std::string& error);

}  // namespace sentrel::agent
