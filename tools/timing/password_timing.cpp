// The cost of one check of a hashed settings password (what the prompt
// spends on each change of its text), through the platform's PBKDF2.
#include "settings/settings_password.h"
#include "tools/timing/median_timer.h"

#include <cstdio>

int main() {
    const sentrel::SettingsPassword password = sentrel::SettingsPassword::Choose("correct horse");
    bool accepted = true;
    const double milliseconds =
        sentrel::timing::MedianMicroseconds(9, [&] { accepted = accepted && !password.Accepts("wrong horse"); }) /
        1000.0;
    std::printf("password check (PBKDF2-HMAC-SHA-256, %u rounds): %.1f ms (target about 50 ms: %s)\n",
                password.Iterations(), milliseconds, milliseconds >= 25 && milliseconds <= 100 ? "met" : "MISSED");
    return accepted && password.Accepts("correct horse") ? 0 : 1;
}
