// The agent's log records: the text one question appends, and the splitting
// of a log back into records, fed whole, a byte at a time and in small
// pieces (the splitter must find the same records however the log arrives).
#include "support/log_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sentrel {
namespace {

struct Piece {
    uint64_t offset;
    bool isRecord;
    int32_t answer;
    std::string address;
};

bool operator==(const Piece& a, const Piece& b) {
    return a.offset == b.offset && a.isRecord == b.isRecord && a.answer == b.answer && a.address == b.address;
}

void PrintTo(const Piece& piece, std::ostream* out) {
    *out << "{" << piece.offset << (piece.isRecord ? ", record " : ", text ") << piece.answer << ", \""
         << piece.address << "\"}";
}

std::vector<Piece> Split(const std::string& log, size_t pieceSize) {
    std::vector<Piece> found;
    LogRecordSplitter splitter([&](const LogRecord& record) {
        found.push_back({record.offset, record.isRecord, record.answer, record.address});
    });
    for (size_t at = 0; at < log.size(); at += pieceSize) splitter.Feed(std::string_view(log).substr(at, pieceSize));
    splitter.Finish();
    return found;
}

TEST(LogRecords, TheRecordIsTheAnswerAndTheAddressUpToItsFirstNul) {
    EXPECT_EQ(LogRecordText(0, "http://a.test/"), "0, http://a.test/");
    EXPECT_EQ(LogRecordText(1, ""), "1, ");
    EXPECT_EQ(LogRecordText(-2147023174, std::string("http://a.test/\0hidden", 21)), "-2147023174, http://a.test/");
    EXPECT_EQ(LogRecordText(-2147483647 - 1, "x:y"), "-2147483648, x:y");
}

TEST(LogRecords, SplitsAsTheFormatAllows) {
    const struct {
        const char* name;
        std::string log;
        std::vector<Piece> pieces;
    } cases[] = {
        {"an empty log", "", {}},
        {"one record", "0, http://a.test/", {{0, true, 0, "http://a.test/"}}},
        {"records follow one another", "0, http://a.test/1, https://b.test/x",
         {{0, true, 0, "http://a.test/"}, {17, true, 1, "https://b.test/x"}}},
        {"an address ending in a digit", "0, http://a.test/?id=11, http://b.test/0, http://c.test/?p=10, about:blank",
         {{0, true, 0, "http://a.test/?id=1"}, {22, true, 1, "http://b.test/"},
          {39, true, 0, "http://c.test/?p=1"}, {60, true, 0, "about:blank"}}},
        {"failure codes", "-2147023174, http://a.test/5-2147467259, http://b.test/",
         {{0, true, -2147023174, "http://a.test/5"}, {28, true, -2147467259, "http://b.test/"}}},
        {"the lowest code", "-2147483648, x:y", {{0, true, -2147483647 - 1, "x:y"}}},
        {"scripts with a comma and a blank", "0, javascript:f(1, 2)1, vbscript:g(0, 'a')0, javascript:h(1, \"x:y\")",
         {{0, true, 0, "javascript:f(1, 2)"}, {21, true, 1, "vbscript:g(0, 'a')"},
          {42, true, 0, "javascript:h(1, \"x:y\")"}}},
        {"shell folder addresses", "0, C:\\Users\\pat\\docs1, \\\\server\\share\\x0, ::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
         {{0, true, 0, "C:\\Users\\pat\\docs"}, {20, true, 1, "\\\\server\\share\\x"},
          {39, true, 0, "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"}}},
        {"bare words", "1, intranet0, http://a.test/1, wiki-2147023174, printers",
         {{0, true, 1, "intranet"}, {11, true, 0, "http://a.test/"}, {28, true, 1, "wiki"},
          {35, true, -2147023174, "printers"}}},
        {"an empty address", "1, 0, http://a.test/", {{0, true, 1, ""}, {3, true, 0, "http://a.test/"}}},
        {"an address that ends in a comma and a blank", "0, http://a.test/1, ", {{0, true, 0, "http://a.test/1, "}}},
        {"text before the first record", "garbage0, http://a.test/",
         {{0, false, 0, "garbage"}, {7, true, 0, "http://a.test/"}}},
        {"a log that holds no record", "5, http://a.test/", {{0, false, 0, "5, http://a.test/"}}},
        {"a first answer alone", "0", {{0, false, 0, "0"}}},
        // Answers that are no answer of Sentrel's controller, and text that
        // begins no address, stay in the address before them.
        {"what does not begin a record", "0, http://a.test/7, http://b.test/-, c:d-12345678902, e:f1, %41, 1, f(x)",
         {{0, true, 0, "http://a.test/7, http://b.test/-, c:d-12345678902, e:f1, %41, 1, f(x)"}}},
        {"a failure code beyond 32 bits", "-2147483649, x:y", {{0, false, 0, "-2147483649, x:y"}}},
        {"negative numbers of fewer digits", "0, http://a.test/?id=-2, http://b.test/?n=-999999999, c:d",
         {{0, true, 0, "http://a.test/?id=-2, http://b.test/?n=-999999999, c:d"}}},
        {"a scheme too long to be one", "0, a:b1, " + std::string(40, 's') + ":x",
         {{0, true, 0, "a:b1, " + std::string(40, 's') + ":x"}}},
        {"control characters and bytes of the code page", "0, http://a.test/\r\n\x1b[2J\xe9",
         {{0, true, 0, "http://a.test/\r\n\x1b[2J\xe9"}}},
        // Where the format cannot tell: an address holding what reads as the
        // start of a record is read as two records.
        {"an address that holds a record's start", "0, http://a.test/?next=1, http://b.test/",
         {{0, true, 0, "http://a.test/?next="}, {23, true, 1, "http://b.test/"}}},
    };
    for (const auto& c : cases) {
        for (const size_t pieceSize : {c.log.size() + 1, size_t{1}, size_t{7}}) {
            EXPECT_EQ(Split(c.log, pieceSize), c.pieces) << c.name << ", fed in pieces of " << pieceSize;
        }
    }
}

TEST(LogRecords, WhatTheAgentWritesReadsBack) {
    const struct {
        int32_t answer;
        const char* address;
    } records[] = {
        {0, "http://intranet.test/"},      {1, "http://games.test/level10"}, {0, "https://intranet.test/?a=1&b=0"},
        {-2147023174, "http://x.test/"},   {1, "javascript:open('x', 1)"},  {0, "about:blank"},
        {1, "intranet"},                   {0, "file:///C:/report1.htm"},   {1, "C:\\Users\\pat"},
        {0, "res://C:\\x.dll/LOCKED.GIF"},
    };
    std::string log;
    std::vector<Piece> expected;
    for (const auto& record : records) {
        expected.push_back({log.size(), true, record.answer, record.address});
        log += LogRecordText(record.answer, record.address);
    }
    for (const size_t pieceSize : {log.size(), size_t{1}, size_t{5}}) EXPECT_EQ(Split(log, pieceSize), expected);
}

// A record of any length is read in bounded memory: its address is kept to
// its first bytes, its length counted, and the next record still found.
TEST(LogRecords, AHugeAddressIsKeptToItsFirstBytes) {
    const std::string huge(kMaxReadAddressBytes * 3 + 5, 'x');
    const std::string log = "1, http://" + huge + "0, http://a.test/";
    std::vector<LogRecord> found;
    LogRecordSplitter splitter([&](const LogRecord& record) { found.push_back(record); });
    for (size_t at = 0; at < log.size(); at += 4096) splitter.Feed(std::string_view(log).substr(at, 4096));
    splitter.Finish();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].address.size(), kMaxReadAddressBytes);
    EXPECT_EQ(found[0].address, ("http://" + huge).substr(0, kMaxReadAddressBytes));
    EXPECT_EQ(found[0].addressBytes, 7 + huge.size());
    EXPECT_EQ(found[1].offset, 3 + 7 + huge.size());
    EXPECT_EQ(found[1].address, "http://a.test/");
    EXPECT_EQ(found[1].addressBytes, 14u);
}

}  // namespace
}  // namespace sentrel
