// The log service writes whole, parseable lines to the configured file.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "foundation/VxHandle.h"
#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

IVxLog* Log() {
  IVxTools* tools = Env().LoadTools();
  return tools ? tools->GetLog(false) : nullptr;
}

std::vector<VxLogEntry> EntriesFrom(size_t mark) {
  std::vector<VxLogEntry> entries;
  const std::vector<std::string> lines = Env().ReadLogLines();
  for (size_t i = mark; i < lines.size(); ++i) {
    VxLogEntry e;
    EXPECT_TRUE(VxParseLogLine(lines[i], e)) << lines[i];
    entries.push_back(e);
  }
  return entries;
}

}  // namespace

TEST(FileLog, WideEntryHasTimeCategorySourceAndFormattedMessage) {
  IVxLog* log = Log();
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(log->IsEnabled(64));
  const size_t mark = Env().LogLineCount();
  VxArgList args({u"driver", 7});
  log->WriteW(64, u"CTest::Open", u"opened %s with %d channels", args.List(), args.Capacity());

  const std::vector<VxLogEntry> entries = EntriesFrom(mark);
  ASSERT_EQ(entries.size(), 1u);
  const VxLogEntry& e = entries[0];
  EXPECT_EQ(e.category, 64);
  EXPECT_EQ(e.source, "CTest::Open");
  EXPECT_EQ(e.message, "opened driver with 7 channels");
  EXPECT_EQ(e.thread, ::GetCurrentThreadId());
  // Local time with milliseconds: "YYYY-MM-DD HH:MM:SS.mmm".
  ASSERT_EQ(e.time.size(), 23u) << e.time;
  EXPECT_EQ(e.time[10], ' ');
  EXPECT_EQ(e.time[19], '.');
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  EXPECT_EQ(std::atoi(e.time.substr(0, 4).c_str()), now.wYear);
}

TEST(FileLog, NarrowEntryAndLineBreaksStayOnOneLine) {
  IVxLog* log = Log();
  ASSERT_NE(log, nullptr);
  const size_t mark = Env().LogLineCount();
  VxArgList args({u"two\r\nlines\ttab"});
  log->WriteA(1, "VxNarrow", "text: %s, \xC3\xA9", args.List(), args.Capacity());
  VxArgList none({});
  log->WriteW(1, u"VxWide", u"\u00e9\u4e2d", none.List(), none.Capacity());

  const std::vector<VxLogEntry> entries = EntriesFrom(mark);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].source, "VxNarrow");
  EXPECT_EQ(entries[0].message, "text: two\\r\\nlines\\ttab, \xC3\xA9");
  EXPECT_EQ(entries[1].message, "\xC3\xA9\xE4\xB8\xAD") << "written as UTF-8";
}

TEST(FileLog, ConcurrentWritersProduceWholeLines) {
  IVxLog* log = Log();
  ASSERT_NE(log, nullptr);
  const size_t mark = Env().LogLineCount();
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([log, t] {
      for (int i = 0; i < kLines; ++i) {
        VxArgList args({t, i, u"padding padding padding padding padding padding"});
        log->WriteW(1, u"VxStress", u"writer %d line %d %s", args.List(), args.Capacity());
      }
    });
  }
  for (std::thread& t : threads)
    t.join();

  std::set<std::pair<int, int>> seen;
  for (const VxLogEntry& e : EntriesFrom(mark)) {
    ASSERT_EQ(e.source, "VxStress");
    int writer = -1, line = -1;
    char padding[64] = {};
    ASSERT_EQ(
        std::sscanf(e.message.c_str(), "writer %d line %d %63[a-z ]", &writer, &line, padding), 3)
        << e.message;
    EXPECT_STREQ(padding, "padding padding padding padding padding padding");
    seen.insert({writer, line});
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

TEST(FileLog, SwitchingTheFileOptionMovesLaterEntries) {
  IVxLog* log = Log();
  ASSERT_NE(log, nullptr);
  const std::wstring other = Env().LogPath() + L".other";
  ::DeleteFileW(other.c_str());
  Env().SetOption(L"VXTOOLS_LOG_FILE", other.c_str());
  VxArgList none({});
  log->WriteW(1, u"VxSwitch", u"to the other file", none.List(), none.Capacity());
  Env().SetOption(L"VXTOOLS_LOG_FILE", Env().LogPath().c_str());
  log->WriteW(1, u"VxSwitch", u"back again", none.List(), none.Capacity());

  EXPECT_TRUE(Env().FindLogLines("to the other file").empty());
  EXPECT_EQ(Env().FindLogLines("\tVxSwitch\tback again").size(), 1u);
  VxFileHandle file(::CreateFileW(other.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  char buffer[512] = {};
  DWORD got = 0;
  ASSERT_TRUE(::ReadFile(file.get(), buffer, sizeof buffer - 1, &got, nullptr));
  EXPECT_NE(std::string(buffer, got).find("\tVxSwitch\tto the other file\r\n"), std::string::npos);
  file.reset();
  ::DeleteFileW(other.c_str());
}
