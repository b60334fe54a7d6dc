// vxhost validate on the plug-in as built (every check passes, the version
// resource agrees with the registration) and on VxWrongLive.dll, a plug-in
// that breaks the contract on purpose (wrong_plugin.c): the validator must
// fail exactly the checks it breaks, pass the ones it keeps, and end although
// deleting an opened source of it never returns.
#include <gtest/gtest.h>

#include <string>

#include "tests/reference/host/VxHostRun.h"

namespace {

class ValidateCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { folder_ = VxLayOutHostFolder(L"vxhost-validate-"); }
  static ProgramRun Validate(const std::wstring& arguments) {
    return RunProgram(folder_ + L"vxhost.exe", L"validate " + arguments);
  }
  // True when the output has the check's line with this verdict.
  static bool Line(const ProgramRun& run, const char* verdict, const std::string& check) {
    return Contains(run.output, (std::string(verdict) + "  " + check + " ").c_str());
  }
  static std::wstring folder_;
};
std::wstring ValidateCommand::folder_;

TEST_F(ValidateCommand, BuiltPluginPassesEveryCheck) {
  const ProgramRun run = Validate(L"");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, " 0 failed, 0 skipped in ")) << run.output;
  // The version resource as read back from the DLL, equal to what the
  // registration writes.
  EXPECT_TRUE(Contains(run.output, "seen: 1.0.7.0, \"1.0.7\", \"1.0.7\", ")) << run.output;
  for (const char* source : {"ASIO", "Loopback", "IPC"})
    for (const char* check : {"stream.", "delete-streaming.", "registration."})
      EXPECT_TRUE(Line(run, "PASS", check + std::string(source))) << check << source;
  for (const char* check : {"one-device-twice.ASIO", "delete-held-switch.ASIO", "dialog.ASIO"})
    EXPECT_TRUE(Line(run, "PASS", check)) << check;
}

TEST_F(ValidateCommand, WrongPluginFailsTheChecksItBreaksAndNothingHangs) {
  const ProgramRun run = Validate(L"\"" + VxToolsTestEnv::ExeFolder() + L"VxWrongLive.dll\"");
  EXPECT_EQ(run.exitCode, 1) << run.output;
  const struct {
    const char* verdict;
    const char* check;
  } expected[] = {
      {"PASS", "load"},
      {"FAIL", "module.version"},
      {"FAIL", "factory.out-of-range"},
      {"FAIL", "factory.index.0"},
      {"PASS", "factory.index.1"},
      {"FAIL", "info.Loopback"},
      {"FAIL", "reserved.Loopback"},
      {"PASS", "configure.Loopback"},
      {"PASS", "cycles.Loopback"},
      {"FAIL", "open.empty.Loopback"},
      {"FAIL", "stream.Loopback"},
      {"FAIL", "delete-streaming.Loopback"},
      {"FAIL", "registration"},
      {"FAIL", "dialog.ASIO"},
  };
  for (const auto& e : expected)
    EXPECT_TRUE(Line(run, e.verdict, e.check)) << e.verdict << " " << e.check << " in\n"
                                               << run.output;
  EXPECT_TRUE(Contains(run.output, "did not return within 5000 ms (hung")) << run.output;
  EXPECT_TRUE(Contains(run.output, "no SetFormat within")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Configure(0) = 0 without showing a window")) << run.output;
  EXPECT_TRUE(Contains(run.output, "the plug-in breaks the contract")) << run.output;
}

}  // namespace
