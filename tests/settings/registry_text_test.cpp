#include "settings/registry_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova {
namespace {

constexpr uint32_t kOk = 0;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kMoreData = 234;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegBinary = 3;

TEST(QueryStringResult, Table) {
  struct {
    const char* name;
    uint32_t status, type;
    std::string data;  // what the query wrote; its size is the reported size
    size_t buffer_size;
    uint32_t result;
  } cases[] = {
      {"missing value: no type", kFileNotFound, kRegNone, "", 512, kErrorInvalidData},
      {"no type even when the query succeeded", kOk, kRegNone, std::string("a\0", 2), 512,
       kErrorInvalidData},
      {"too long for the buffer", kMoreData, kRegSz, std::string(600, 'a'), 512, kMoreData},
      {"terminated string", kOk, kRegSz, std::string("reinstall\0", 10), 512, kOk},
      {"empty string is still a string", kOk, kRegSz, std::string("\0", 1), 512, kOk},
      {"unterminated string", kOk, kRegSz, "reinstall", 512, kErrorInvalidData},
      {"zero bytes", kOk, kRegSz, "", 512, kErrorInvalidData},
      {"terminator in the middle only", kOk, kRegSz, std::string("ab\0c", 4), 512,
       kErrorInvalidData},
      {"expandable string", kOk, kRegExpandSz, std::string("%TEMP%\0", 7), 512, kOk},
      {"unterminated expandable string", kOk, kRegExpandSz, "%TEMP%", 512, kErrorInvalidData},
      {"multi-string with two terminators", kOk, kRegMultiSz,
       std::string("reinstall\0\0", 11), 512, kOk},
      {"multi-string with one terminator", kOk, kRegMultiSz, std::string("reinstall\0", 10), 512,
       kErrorInvalidData},
      {"multi-string of one byte", kOk, kRegMultiSz, std::string("\0", 1), 512,
       kErrorInvalidData},
      {"empty multi-string", kOk, kRegMultiSz, std::string("\0\0", 2), 512, kOk},
      {"dword", kOk, kRegDword, std::string("\x64\0\0\0", 4), 512, kErrorInvalidData},
      {"binary", kOk, kRegBinary, std::string("a\0", 2), 512, kErrorInvalidData},
      {"reported size beyond the buffer", kOk, kRegSz, std::string("abc\0", 4), 3,
       kErrorInvalidData},
      {"exactly the buffer", kOk, kRegSz, std::string("abc\0", 4), 4, kOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The buffer holds the data and then bytes that must not be looked at.
    std::string buffer = c.data + std::string(8, 'z');
    EXPECT_EQ(QueryStringResult(c.status, c.type, buffer.data(),
                                static_cast<uint32_t>(c.data.size()), c.buffer_size),
              c.result);
  }
  EXPECT_EQ(QueryStringResult(kOk, kRegSz, nullptr, 1, 512), kErrorInvalidData);
}

TEST(AcceptVendorText, EmptiesTheBufferUnlessUsable) {
  struct {
    const char* name;
    uint32_t query_string_result, reported_size;
    std::string buffer;  // the whole buffer as the query left it
    bool usable;
    const char* text;  // what the caller then reads
  } cases[] = {
      {"usable", 0, 10, std::string("reinstall\0zz", 12), true, "reinstall"},
      {"empty string", 0, 1, std::string("\0zz", 3), false, ""},
      {"reported size 0", 0, 0, std::string("abc\0", 4), false, ""},
      {"another type's data left behind", kErrorInvalidData, 4, "\x64zzz", false, ""},
      {"unterminated data left behind", kErrorInvalidData, 9, "reinstall", false, ""},
      {"undefined content after more-data", kMoreData, 600, std::string(20, 'q'), false, ""},
      {"missing value", kErrorInvalidData, 0, std::string("old\0", 4), false, ""},
      {"success claimed but no terminator in the buffer", 0, 4, "abcd", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string buffer = c.buffer;
    EXPECT_EQ(AcceptVendorText(c.query_string_result, c.reported_size, &buffer[0], buffer.size()),
              c.usable);
    EXPECT_STREQ(buffer.c_str(), c.text);
  }
  EXPECT_FALSE(AcceptVendorText(0, 1, nullptr, 0));
}

TEST(ServicePackFromText, ReadsAsSscanfDoes) {
  struct {
    std::string text;
    int32_t number;
  } cases[] = {
      {"Service Pack 1", 1},       {"Service Pack 2", 2},    {"Service Pack 4", 4},
      {"", 0},                     {"Service Pack", 0},      {"Service Pack x", 0},
      {"service pack 2", 0},       {" Service Pack 2", 0},   {"ServicePack3", 3},
      {"Service  Pack\t 3a", 3},   {"Service Pack -2", -2},  {"Service Pack +3", 3},
      {"Service Pack 99999999999", INT32_MAX},               {"Service Pack 6a", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ServicePackFromText(c.text.c_str(), c.text.size() + 1), c.number);
  }
  // Bounded: a text without a terminator within its buffer is read no further.
  char unterminated[15];
  std::memcpy(unterminated, "Service Pack 22", 15);
  EXPECT_EQ(ServicePackFromText(unterminated, 14), 2);
  EXPECT_EQ(ServicePackFromText(nullptr, 0), 0);
}

TEST(IsNt5Sp2ThroughNt6, Versions) {
  struct {
    const char* name;
    uint32_t platform, major, minor;
    int32_t service_pack;
    bool result;
  } cases[] = {
      {"zeroed after a failed query", 0, 0, 0, 0, false},
      {"Windows 98", 1, 4, 10, 0, false},
      {"Windows 9x claiming 5.1", 1, 5, 1, 2, false},
      {"NT 4 SP6", 2, 4, 0, 6, false},
      {"NT 5.0", 2, 5, 0, 0, false},
      {"NT 5.0 SP1", 2, 5, 0, 1, false},
      {"NT 5.0 SP2", 2, 5, 0, 2, true},
      {"NT 5.0 SP4", 2, 5, 0, 4, true},
      {"NT 5.1", 2, 5, 1, 0, true},
      {"NT 5.2", 2, 5, 2, 0, true},
      {"NT 6.0", 2, 6, 0, 0, true},
      {"NT 6.1", 2, 6, 1, 1, true},
      {"NT 6.3", 2, 6, 3, 0, true},
      {"NT 7", 2, 7, 0, 0, false},
      {"NT 10", 2, 10, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsNt5Sp2ThroughNt6Version(c.platform, c.major, c.minor, c.service_pack), c.result);
  }
}

}  // namespace
}  // namespace kova
