// A deterministic set of addresses for comparing the URL routines of the two
// builds: realistic ones of every kind the browser sends, and adversarial
// ones, then the fixed cases of the decision table. The same seed gives the
// same addresses on every platform.
#pragma once

#include "support/text.h"

#include <string>
#include <vector>

namespace sentrel::differential {

struct GeneratedAddress {
    std::string kind;      // the class it was made for
    WideString address;
};

std::vector<GeneratedAddress> GenerateAddresses(unsigned seed, size_t count);

}  // namespace sentrel::differential
