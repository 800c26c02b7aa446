#include "support/log_records.h"

#include "support/ascii.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace sentrel {
namespace {

// The failure codes a call across processes gives (0x80000000 to 0xC4653600
// read as signed numbers: RPC_E_*, E_*, HRESULT_FROM_WIN32) have ten digits
// after the '-'. Shorter negative numbers ("?id=-1, ") end addresses.
constexpr size_t kFailureDigits = 10;
// Longer runs of letters are taken for text, not for a scheme or a bare word
// that begins an address.
constexpr size_t kMaxSchemeLength = 32;
constexpr size_t kMaxBareWordLength = 256;

bool IsSchemeCharacter(char c) {
    return IsAsciiAlphanumeric(c) || c == '+' || c == '-' || c == '.';
}

bool MayStartAnswer(char c) {
    return c == '0' || c == '1' || c == '-';
}

}  // namespace

std::string LogRecordText(int32_t answer, std::string_view address) {
    std::string record = std::to_string(answer);
    record += ", ";
    record.append(address.substr(0, address.find('\0')));
    return record;
}

LogRecordSplitter::LogRecordSplitter(Found found) : found_(std::move(found)) {}

void LogRecordSplitter::Feed(std::string_view bytes) {
    window_.append(bytes);
    Process();
}

void LogRecordSplitter::Finish() {
    if (finished_) return;
    finished_ = true;
    Process();
    if (started_) found_(current_);
}

// "0", "1" or a failure code ('-' and ten digits, no leading zero, within
// 32 bits), then ", ". `length` counts both.
LogRecordSplitter::Check LogRecordSplitter::AnswerAt(size_t at, int32_t& answer, size_t& length) const {
    const auto more = [this] { return finished_ ? Check::No : Check::NeedMore; };
    size_t end = at;
    int64_t value = 0;
    if (window_[at] == '0' || window_[at] == '1') {
        value = window_[at] - '0';
        end = at + 1;
    } else if (window_[at] == '-') {
        end = at + 1;
        while (end < window_.size() && IsAsciiDigit(window_[end]) && end - at <= kFailureDigits) {
            value = value * 10 + (window_[end] - '0');
            ++end;
        }
        const size_t digits = end - at - 1;
        if (end == window_.size() && digits <= kFailureDigits) return more();
        if (digits != kFailureDigits || window_[at + 1] == '0') return Check::No;
        value = -value;
        if (value < std::numeric_limits<int32_t>::min()) return Check::No;
    } else {
        return Check::No;
    }
    if (end >= window_.size()) return more();
    if (window_[end] != ',') return Check::No;
    if (end + 1 >= window_.size()) return more();
    if (window_[end + 1] != ' ') return Check::No;
    answer = static_cast<int32_t>(value);
    length = end + 2 - at;
    return Check::Yes;
}

// What begins an address the browser or a shell window reports: a scheme
// and ':' (a drive letter reads as one), "\\" (a network or device path),
// "::" (a shell namespace), or a bare word that ends the log or runs into
// the next record.
LogRecordSplitter::Check LogRecordSplitter::AddressStartsAt(size_t at) const {
    const auto more = [this] { return finished_ ? Check::No : Check::NeedMore; };
    if (at >= window_.size()) return more();
    const char first = window_[at];
    if (first == '\\' || first == ':') {
        if (at + 1 >= window_.size()) return more();
        return window_[at + 1] == first ? Check::Yes : Check::No;
    }
    if (!IsAsciiAlphanumeric(first)) return Check::No;
    if (IsAsciiLetter(first)) {
        size_t end = at + 1;
        while (end < window_.size() && end - at <= kMaxSchemeLength && IsSchemeCharacter(window_[end])) ++end;
        if (end == window_.size() && end - at <= kMaxSchemeLength && !finished_) return Check::NeedMore;
        if (end < window_.size() && end - at <= kMaxSchemeLength && window_[end] == ':') return Check::Yes;
    }
    size_t end = at;
    while (end < window_.size() && end - at <= kMaxBareWordLength && IsAsciiAlphanumeric(window_[end])) ++end;
    if (end - at > kMaxBareWordLength) return Check::No;
    if (end == window_.size()) return finished_ ? Check::Yes : Check::NeedMore;
    // The next record may begin with the word's last digit ("intranet1, ")
    // or right after it ("intranet-2147023174, ").
    if (window_[end] == ',') {
        if (end + 1 >= window_.size()) return more();
        const char last = window_[end - 1];
        return window_[end + 1] == ' ' && end - at >= 2 && (last == '0' || last == '1') ? Check::Yes : Check::No;
    }
    if (window_[end] == '-') {
        int32_t answer = 0;
        size_t length = 0;
        return AnswerAt(end, answer, length);
    }
    return Check::No;
}

LogRecordSplitter::Check LogRecordSplitter::RecordStartsAt(size_t at, int32_t& answer, size_t& length) const {
    const Check answered = AnswerAt(at, answer, length);
    return answered == Check::Yes ? AddressStartsAt(at + length) : answered;
}

void LogRecordSplitter::Take(size_t from, size_t to) {
    if (from >= to) return;
    current_.addressBytes += to - from;
    const size_t room = kMaxReadAddressBytes - std::min(kMaxReadAddressBytes, current_.address.size());
    current_.address.append(window_, from, std::min(room, to - from));
}

void LogRecordSplitter::Begin(uint64_t offset, bool isRecord, int32_t answer) {
    current_ = LogRecord{};
    current_.offset = offset;
    current_.isRecord = isRecord;
    current_.answer = answer;
}

void LogRecordSplitter::Process() {
    for (;;) {
        if (window_.empty()) break;
        if (!started_) {
            // The log's first record needs no address start: nothing comes
            // before it that the text could belong to.
            int32_t answer = 0;
            size_t length = 0;
            const Check first = AnswerAt(0, answer, length);
            if (first == Check::NeedMore) break;
            started_ = true;
            Begin(0, first == Check::Yes, answer);
            if (first == Check::Yes) scan_ = length;
            continue;
        }
        size_t at = scan_;
        while (at < window_.size() && !MayStartAnswer(window_[at])) ++at;
        Take(scan_, at);
        scan_ = at;
        if (at == window_.size()) break;
        int32_t answer = 0;
        size_t length = 0;
        const Check next = RecordStartsAt(at, answer, length);
        if (next == Check::NeedMore) break;
        if (next == Check::No) {
            Take(at, at + 1);
            scan_ = at + 1;
            continue;
        }
        found_(current_);
        Begin(windowOffset_ + at, true, answer);
        scan_ = at + length;
    }
    window_.erase(0, scan_);
    windowOffset_ += scan_;
    scan_ = 0;
}

}  // namespace sentrel
