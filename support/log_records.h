// The agent's log as text. Each question put to the controller appends one
// record "<answer>, <address>": the answer as a signed decimal number (0
// allowed, 1 refused, a negative failure code when no controller answered),
// a comma and a blank, then the address in the system code page up to its
// first NUL. Records follow one another with nothing between them.
//
// Writing is exact; reading back cannot always be, since nothing marks where
// an address ends. The splitter takes a new record to begin where the text
// reads "0, ", "1, " or "-<ten digits>, " (a failure code of a call across
// processes, such as -2147023174) followed by the start of an address (a
// scheme and ':', a drive letter and ':', "\\", "::", or a bare word of
// letters and digits that ends the log or runs into the next record). So an
// address that itself holds such text ("?q=1, http://x/", or a script
// "f(0, a:b)") reads as two records, and a record whose answer is none of
// those (a failure code of fewer digits, or an answer only a controller other
// than Sentrel's gives) or whose address starts in another way reads as part
// of the address before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sentrel {

// The record the agent appends for one question.
std::string LogRecordText(int32_t answer, std::string_view address);

// Addresses longer than this are kept to their first bytes when read back,
// so that a log of any content is read in bounded memory.
inline constexpr size_t kMaxReadAddressBytes = 65536;

// One piece of a log as the splitter found it: a record, or, at the start of
// a log that does not begin with one, the text before the first record.
struct LogRecord {
    uint64_t offset = 0;  // where it begins in the log
    bool isRecord = true;
    int32_t answer = 0;
    std::string address;        // the first kMaxReadAddressBytes bytes (the text, when no record)
    uint64_t addressBytes = 0;  // the whole length
};

// Splits a log fed in pieces of any size into records, handing each over as
// soon as the next one is found and the last at Finish. It holds at most one
// record's first kMaxReadAddressBytes bytes and a few hundred bytes ahead.
class LogRecordSplitter {
public:
    using Found = std::function<void(const LogRecord&)>;
    explicit LogRecordSplitter(Found found);

    void Feed(std::string_view bytes);
    // The end of the log.
    void Finish();

private:
    enum class Check { Yes, No, NeedMore };

    Check AnswerAt(size_t at, int32_t& answer, size_t& length) const;
    Check AddressStartsAt(size_t at) const;
    Check RecordStartsAt(size_t at, int32_t& answer, size_t& length) const;
    void Take(size_t from, size_t to);
    void Begin(uint64_t offset, bool isRecord, int32_t answer);
    void Process();

    Found found_;
    std::string window_;        // the bytes from windowOffset_ not yet taken
    uint64_t windowOffset_ = 0;
    size_t scan_ = 0;           // the next byte of window_ to judge
    bool started_ = false;      // whether the log's first bytes were judged
    bool finished_ = false;
    LogRecord current_;
};

}  // namespace sentrel
