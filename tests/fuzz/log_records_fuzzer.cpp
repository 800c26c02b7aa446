// Reading the agent's log back: whatever a log holds (users may append
// anything to it), its pieces tile it from its first byte to its last, each
// record after the first begins with an answer and ", ", and the same pieces
// are found however the log arrives (whole, or in pieces of any size).
#include "support/log_records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<sentrel::LogRecord> Split(std::string_view log, size_t pieceSize) {
    std::vector<sentrel::LogRecord> found;
    sentrel::LogRecordSplitter splitter([&](const sentrel::LogRecord& record) { found.push_back(record); });
    for (size_t at = 0; at < log.size(); at += pieceSize) splitter.Feed(log.substr(at, pieceSize));
    splitter.Finish();
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const size_t pieceSize = 1 + data[0] % 17;
    const std::string_view log(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::vector<sentrel::LogRecord> whole = Split(log, log.size() + 1);
    uint64_t at = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        const sentrel::LogRecord& piece = whole[i];
        if (piece.offset != at) __builtin_trap();
        if (!piece.isRecord && i != 0) __builtin_trap();
        const std::string head = piece.isRecord ? sentrel::LogRecordText(piece.answer, "") : "";
        if (log.substr(at, head.size()) != head) __builtin_trap();
        if (piece.address.size() > sentrel::kMaxReadAddressBytes || piece.address.size() > piece.addressBytes)
            __builtin_trap();
        if (log.substr(at + head.size(), piece.address.size()) != piece.address) __builtin_trap();
        at += head.size() + piece.addressBytes;
    }
    if (at != log.size()) __builtin_trap();

    const std::vector<sentrel::LogRecord> pieces = Split(log, pieceSize);
    if (pieces.size() != whole.size()) __builtin_trap();
    for (size_t i = 0; i < whole.size(); ++i) {
        if (pieces[i].offset != whole[i].offset || pieces[i].isRecord != whole[i].isRecord ||
            pieces[i].answer != whole[i].answer || pieces[i].address != whole[i].address ||
            pieces[i].addressBytes != whole[i].addressBytes)
            __builtin_trap();
    }
    return 0;
}
