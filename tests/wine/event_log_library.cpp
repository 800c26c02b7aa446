// A library that writes one record naming itself, for the event log test's
// writer program: it is freed as soon as the record is queued.
#include "support/event_log.h"

extern "C" __declspec(dllexport) void WriteLibraryRecord() {
    qz_support::WriteEvent(0x40000000 | 2300, {qz_support::ModuleForRecord()});
}
