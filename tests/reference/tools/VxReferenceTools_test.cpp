// The reference tools library where the module's tests read its results
// directly or rely on an option no module test sets: the log line format and
// headless message boxes. Its other services are exercised through the
// module's tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live_Main/host/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

IVxTools* Tools() {
  IVxTools* tools = Env().LoadTools();
  EXPECT_NE(tools, nullptr);
  return tools;
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

TEST(ToolsLibrary, LogWritesOneParseableLinePerEntry) {
  IVxLog* log = Tools()->GetLog(false);
  ASSERT_NE(log, nullptr);
  const size_t mark = Env().LogLineCount();
  VxArgList args({u"driver", 7});
  log->WriteW(64, u"CTest::Open", u"opened %s with %d channels", args.List(), args.Capacity());
  VxArgList text({u"two\r\nlines\ttab"});
  log->WriteA(1, "VxNarrow", "text: %s, \xC3\xA9", text.List(), text.Capacity());

  const std::vector<VxLogEntry> entries = EntriesFrom(mark);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].category, 64);
  EXPECT_EQ(entries[0].source, "CTest::Open");
  EXPECT_EQ(entries[0].message, "opened driver with 7 channels");
  EXPECT_EQ(entries[0].thread, ::GetCurrentThreadId());
  ASSERT_EQ(entries[0].time.size(), 23u) << "YYYY-MM-DD HH:MM:SS.mmm";
  EXPECT_EQ(entries[0].time[19], '.');
  EXPECT_EQ(entries[1].message, "text: two\\r\\nlines\\ttab, \xC3\xA9");
}

// Headless boxes are logged and answered with their default button, which is
// what the module's tests rely on.
TEST(ToolsLibrary, HeadlessBoxesAreLoggedAndTakeTheDefaultButton) {
  IVxMessageBoxes* boxes = Tools()->GetMessageBoxes(true);
  ASSERT_NE(boxes, nullptr);
  const size_t mark = Env().LogLineCount();
  VxMessageBoxRequest request = {};
  boxes->Prepare(&request, nullptr, u"Line one\r\nLine two", u"Critical Error",
                 MB_YESNO | MB_DEFBUTTON2);
  EXPECT_EQ(boxes->Show(&request), IDNO);
  const char* expected =
      "Message box (title: \"Critical Error\", text: \"Line one\\r\\nLine two\", "
      "style: 0x104, answer: 7, headless)";
  EXPECT_EQ(Env().FindLogLines(expected, mark).size(), 1u) << expected;
}
