#include "bootstrap/arguments.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bootstrap/command_line.h"

namespace kova {
namespace {

const char kMsiexec[] = "C:\\Windows\\System32\\msiexec.exe";
const char kPackage[] = "C:\\Users\\u\\AppData\\LocalLow\\Orvo\\Kova\\krt1.6.0_07\\krt1.6.0_07.msi";

// "M" /i "P" : the line before any transform or argument.
std::string Lead() {
  return std::string("\"") + kMsiexec + "\" /i \"" + kPackage + "\" ";
}

struct Outcome {
  ArgumentText args{};
  bool silent = false;
  uint16_t language = 0;
  bool translated_whole = false;
  bool finished_whole = false;
  std::string line;
  bool formatted = false;
};

// The main sequence's order: translate, finish, format.
Outcome RunSequence(const std::vector<std::string>& arguments, uint16_t start_language, int reporting,
            const char* msiexec = kMsiexec, const char* package = kPackage) {
  Outcome o;
  std::vector<const char*> argv{"krt.exe"};
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  o.language = start_language;
  o.translated_whole = TranslateArguments(static_cast<int>(argv.size()), argv.data(), &o.args,
                                          &o.silent, &o.language);
  o.finished_whole = FinishArgumentText(&o.args, o.silent, reporting, "koff");
  char line[kCommandLineSize];
  std::memset(line, 'x', sizeof line);
  o.formatted = FormatCommandLine(line, sizeof line, msiexec, package, o.language, o.args);
  o.line = line;
  return o;
}

struct TranslationCase {
  const char* name;
  std::vector<std::string> arguments;
  int reporting;
  uint16_t start_language;
  const char* text;   // the finished argument text
  int silent;
  uint16_t language;
};

const TranslationCase kTranslationCases[] = {
    {"none", {}, 0, 1033, "", 0, 1033},
    {"silent adds /qn", {"/s"}, 0, 1033, " /qn", 1, 1033},
    {"upper-case /S passes through", {"/S"}, 0, 1033, "/S ", 0, 1033},
    {"/s must be exact", {"/sx"}, 0, 1033, "/sx ", 0, 1033},
    {"/qn given: not added twice", {"/qn", "/s"}, 0, 1033, "/qn ", 1, 1033},
    {"/qn inside a /v argument counts", {"/v\"/qn\"", "/s"}, 0, 1033, " /qn ", 1, 1033},
    {"/v with quotes", {"/v\"INSTALLDIR=x\""}, 0, 1033, " INSTALLDIR=x ", 0, 1033},
    {"/v quote drops the last character whatever it is", {"/v\"ab"}, 0, 1033, " a ", 0, 1033},
    {"/v quote, three characters", {"/v\""}, 0, 1033, "  ", 0, 1033},
    {"/v quote, four characters", {"/v\"x"}, 0, 1033, "  ", 0, 1033},
    {"/v without quote", {"/vREBOOT=Suppress"}, 0, 1033, " REBOOT=Suppress ", 0, 1033},
    {"/verbose is a /v argument", {"/verbose"}, 0, 1033, " erbose ", 0, 1033},
    {"bare /v", {"/v"}, 0, 1033, "  ", 0, 1033},
    {"/V is not /v", {"/Vx"}, 0, 1033, "/Vx ", 0, 1033},
    {"an empty argument", {""}, 0, 1033, " ", 0, 1033},
    {"reporting adds the method", {"A=1"}, 1, 1033, "A=1  METHOD=koff ", 0, 1033},
    {"silent and reporting", {"/s"}, 1, 1033, " /qn METHOD=koff ", 1, 1033},
    {"/lang= with a transform", {"/lang=1041"}, 0, 1033, "", 0, 1041},
    {"/lang= without a transform", {"/lang=1049"}, 0, 1033, "", 0, 1033},
    {"/lang= without a transform keeps the start", {"/lang=1049"}, 0, 1031, "", 0, 1031},
    {"/lang= inside /v is consumed", {"/v\"/lang=1041\""}, 0, 1033, "", 0, 1041},
    {"/lang= anywhere", {"x/lang=1042"}, 0, 1033, "", 0, 1042},
    {"/LANG= is not a language choice", {"/LANG=1041"}, 0, 1033, "/LANG=1041 ", 0, 1033},
    {"number after the first '='", {"A=1041/lang="}, 0, 1033, "", 0, 1041},
    {"first '=' before /lang= hides the number", {"/vA=b /lang=1041"}, 0, 1033, "", 0, 1033},
    {"leading blanks and trailing text", {"/lang= \t1036abc"}, 0, 1033, "", 0, 1036},
    {"no digits reads 0", {"/lang=abc"}, 0, 1040, "", 0, 1040},
    {"low 16 bits", {"/lang=66577"}, 0, 1033, "", 0, 1041},
    {"negative wraps to the low 16 bits", {"/lang=-64495"}, 0, 1033, "", 0, 1041},
    {"plus sign", {"/lang=+1053"}, 0, 1033, "", 0, 1053},
    {"last accepted wins", {"/lang=1041", "/lang=2052", "/lang=1049"}, 0, 1033, "", 0, 2052},
    {"mixed order",
     {"/s", "/lang=1041", "/vREBOOT=Suppress", "ADDLOCAL=ALL"}, 1, 1033,
     " REBOOT=Suppress ADDLOCAL=ALL  /qn METHOD=koff ", 1, 1041},
};

TEST(TranslateArguments, Table) {
  for (const TranslationCase& c : kTranslationCases) {
    SCOPED_TRACE(c.name);
    Outcome o = RunSequence(c.arguments, c.start_language, c.reporting);
    EXPECT_STREQ(o.args.text, c.text);
    EXPECT_EQ(o.silent, c.silent);
    EXPECT_EQ(o.language, c.language);
    EXPECT_TRUE(o.translated_whole);
    EXPECT_TRUE(o.finished_whole);
    ASSERT_TRUE(o.formatted);
    std::string transform =
        c.language == 1033 ? "" : "TRANSFORMS=:" + std::to_string(c.language) + " ";
    EXPECT_EQ(o.line, Lead() + transform + c.text);
  }
}

TEST(FormatCommandLine, WholeLines) {
  struct {
    std::vector<std::string> arguments;
    int reporting;
    uint16_t language;
    std::string line;
  } cases[] = {
      {{}, 0, 1033, "\"M\" /i \"P\" "},
      {{"/s"}, 0, 1033, "\"M\" /i \"P\"  /qn"},
      {{"/s", "/lang=1041", "/vREBOOT=Suppress", "ADDLOCAL=ALL"}, 1, 1033,
       "\"M\" /i \"P\" TRANSFORMS=:1041  REBOOT=Suppress ADDLOCAL=ALL  /qn METHOD=koff "},
      {{"/lang=2052"}, 0, 1033, "\"M\" /i \"P\" TRANSFORMS=:2052 "},
      // A start language above 32767 is written unsigned.
      {{}, 0, 0x8001, "\"M\" /i \"P\" TRANSFORMS=:32769 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Outcome o = RunSequence(c.arguments, c.language, c.reporting, "M", "P");
    EXPECT_TRUE(o.formatted);
    EXPECT_EQ(o.line, c.line);
  }
}

// Arguments of the given lengths, each a run of one letter ("aaaa", "bbbb", ...).
std::vector<std::string> Lettered(const std::vector<size_t>& lengths) {
  std::vector<std::string> out;
  for (size_t i = 0; i < lengths.size(); ++i) {
    out.push_back(std::string(lengths[i], static_cast<char>('a' + i % 26)));
  }
  return out;
}

std::string Joined(const std::vector<std::string>& arguments, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += arguments[i] + " ";
  return out;
}

TEST(TranslateArguments, ArgumentThatDoesNotFitIsLeftOutWhole) {
  struct {
    const char* name;
    std::vector<size_t> lengths;
    size_t kept;  // leading arguments kept
  } cases[] = {
      {"exactly full", {511, 510}, 2},  // 512 + 511 = 1023 characters
      {"one byte over", {511, 511}, 1},
      {"one huge argument", {5000}, 0},
      {"later short arguments are left out too", {600, 500, 1}, 1},
      {"piece of exactly 1023 bytes", {1022}, 1},
      {"piece of 1024 bytes", {1023}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = Lettered(c.lengths);
    Outcome o = RunSequence(arguments, 1033, 0);
    EXPECT_EQ(o.translated_whole, c.kept == arguments.size());
    EXPECT_EQ(std::string(o.args.text), Joined(arguments, c.kept));
    EXPECT_EQ(o.args.piece_count, c.kept);
  }
}

TEST(TranslateArguments, SwitchesAfterAnOverflowStillCount) {
  Outcome o = RunSequence({std::string(2000, 'a'), "ok", "/s", "/lang=1041"}, 1033, 0);
  EXPECT_FALSE(o.translated_whole);
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.language, 1041);
  EXPECT_STREQ(o.args.text, " /qn");
}

TEST(FinishArgumentText, MakesRoomByLeavingOutTrailingArguments) {
  // 1023 characters of passed-on text: the finishing pieces need the room.
  std::vector<std::string> arguments = Lettered({500, 500, 20});  // 501 + 501 + 21 = 1023
  std::vector<const char*> argv{"krt.exe"};
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  struct {
    int silent, reporting;
    size_t kept;
    const char* finish;
  } cases[] = {
      {0, 0, 3, ""},
      {1, 0, 2, " /qn"},
      {0, 1, 2, " METHOD=koff "},
      {1, 1, 2, " /qn METHOD=koff "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.finish);
    ArgumentText args{};
    bool silent = false;
    uint16_t language = 1033;
    ASSERT_TRUE(TranslateArguments(4, argv.data(), &args, &silent, &language));
    EXPECT_EQ(FinishArgumentText(&args, c.silent, c.reporting, "koff"), c.kept == 3);
    EXPECT_EQ(std::string(args.text), Joined(arguments, c.kept) + c.finish);
  }
}

TEST(FinishArgumentText, QuietStaysWhenItsSourceIsLeftOut) {
  // The argument carrying "/qn" must go to make room for the method.
  std::vector<std::string> arguments = {std::string(1000, 'a'), "/v\"/qn REBOOT=R\"", "/s"};
  Outcome o = RunSequence(arguments, 1033, 1, "M", "P");
  EXPECT_EQ(std::string(o.args.text), std::string(1000, 'a') + "  /qn METHOD=koff ");
  EXPECT_FALSE(o.finished_whole);
}

TEST(FinishArgumentText, MethodTooLongForAnyRoomIsLeftOutWhole) {
  ArgumentText args{};
  std::string method(1100, 'm');
  EXPECT_FALSE(FinishArgumentText(&args, 1, 1, method.c_str()));
  EXPECT_STREQ(args.text, " /qn");
}

// A path of n characters.
std::string PathOf(size_t n) { return "C:\\" + std::string(n - 3, 'p'); }

TEST(FormatCommandLine, LeavesOutWholeTrailingArgumentsWhenTheLineIsFull) {
  std::string msiexec = PathOf(259), package = PathOf(259);
  // "M" /i "P" TRANSFORMS=:1041 : 2 + 259 + 5 + 259 + 2 + 17 = 544 characters; 479 left.
  const size_t lead = 544, room = kCommandLineSize - 1 - lead;
  struct {
    const char* name;
    std::vector<size_t> lengths;
    int silent, reporting;
    size_t kept;
    const char* finish;
  } cases[] = {
      {"exactly full", {200, room - 202}, 0, 0, 2, ""},
      {"one over", {200, room - 201}, 0, 0, 1, ""},
      {"finishing pieces are kept", {200, room - 202}, 1, 1, 1, " /qn METHOD=koff "},
      {"many short arguments", std::vector<size_t>(100, 9), 0, 1, (room - 13) / 10,
       " METHOD=koff "},
      {"first argument too long", {room, 1}, 1, 0, 0, " /qn"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = Lettered(c.lengths);
    if (c.silent) arguments.push_back("/s");
    arguments.push_back("/lang=1041");
    Outcome o = RunSequence(arguments, 1033, c.reporting, msiexec.c_str(), package.c_str());
    ASSERT_TRUE(o.formatted);
    EXPECT_LE(o.line.size(), kCommandLineSize - 1);
    std::string expected = "\"" + msiexec + "\" /i \"" + package + "\" TRANSFORMS=:1041 ";
    ASSERT_EQ(expected.size(), lead);
    EXPECT_EQ(o.line, expected + Joined(arguments, c.kept) + c.finish);
  }
}

TEST(FormatCommandLine, QuietStaysWhenItsSourceIsLeftOutOfTheLine) {
  std::string msiexec = PathOf(259), package = PathOf(259);
  // 527 characters of paths leave 496; the argument carrying "/qn" is the one left out.
  Outcome o = RunSequence({std::string(485, 'a'), "/vMODE=/qn REBOOT=R", "/s"}, 1033, 0,
                  msiexec.c_str(), package.c_str());
  EXPECT_STREQ(o.args.text, (std::string(485, 'a') + "  MODE=/qn REBOOT=R ").c_str());
  EXPECT_EQ(o.line, "\"" + msiexec + "\" /i \"" + package + "\" " + std::string(485, 'a') +
                        "  /qn");
}

TEST(FormatCommandLine, PathsThatDoNotFitRefuseTheLine) {
  ArgumentText args{};
  char line[40];
  std::memset(line, 'x', sizeof line);
  EXPECT_FALSE(FormatCommandLine(line, sizeof line, "C:\\Windows\\System32\\msiexec.exe",
                                 "C:\\p.msi", 1033, args));
  EXPECT_STREQ(line, "");
  // Room for the paths but not for the one argument: the line goes without it.
  const char* argv[] = {"krt.exe", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"};
  bool silent = false;
  uint16_t language = 1033;
  TranslateArguments(2, argv, &args, &silent, &language);
  EXPECT_TRUE(FormatCommandLine(line, sizeof line, "M", "P", 1033, args));
  EXPECT_STREQ(line, "\"M\" /i \"P\" ");
}

}  // namespace
}  // namespace kova
