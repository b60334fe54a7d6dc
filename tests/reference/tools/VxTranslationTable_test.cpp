// Translation from a table file, and the pseudo-translation mode.
#include <gtest/gtest.h>

#include <string>

#include "foundation/VxHandle.h"
#include "live_Main/IVxTools.h"
#include "tests/support/VxToolsTestEnv.h"

namespace {

VxToolsTestEnv& Env() {
  return VxToolsTestEnv::Instance();
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  VxFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

VxString Translate(IVxTranslator* translator, const VxString& text) {
  VxDllString s(text);
  translator->Translate(&s);
  return s.Text();
}

class Translation : public ::testing::Test {
 protected:
  void SetUp() override {
    IVxTools* tools = Env().LoadTools();
    ASSERT_NE(tools, nullptr);
    translator_ = tools->GetTranslator(true);
    ASSERT_NE(translator_, nullptr);
    table_ = Env().LogPath() + L".translations.txt";
  }
  void TearDown() override {
    Env().SetOption(L"VXTOOLS_TRANSLATION_FILE", nullptr);
    Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", nullptr);
    ::DeleteFileW(table_.c_str());
  }
  IVxTranslator* translator_ = nullptr;
  std::wstring table_;
};

}  // namespace

TEST_F(Translation, TableEntriesReplaceTextsAndOthersStay) {
  WriteFileBytes(table_,
                 "\xEF\xBB\xBF# comment line\r\n"
                 "Critical Error\tKritischer Fehler\r\n"
                 "\r\n"
                 "line one\\r\\nline two\tZeile eins\\r\\nZeile zwei\n"
                 "no tab on this line\n"
                 "Caf\xC3\xA9\t\xE5\x92\x96\xE5\x95\xA1");
  Env().SetOption(L"VXTOOLS_TRANSLATION_FILE", table_.c_str());
  EXPECT_EQ(Translate(translator_, u"Critical Error"), u"Kritischer Fehler");
  EXPECT_EQ(Translate(translator_, u"line one\r\nline two"), u"Zeile eins\r\nZeile zwei");
  EXPECT_EQ(Translate(translator_, u"Caf\u00e9"), u"\u5496\u5561");
  EXPECT_EQ(Translate(translator_, u"Not in the table"), u"Not in the table");
  EXPECT_EQ(Translate(translator_, u"# comment line"), u"# comment line");
  EXPECT_EQ(Translate(translator_, u"no tab on this line"), u"no tab on this line");
}

TEST_F(Translation, ChangedTableIsReadAgainWhenTheOptionIsSet) {
  WriteFileBytes(table_, "Yes\tJa\n");
  Env().SetOption(L"VXTOOLS_TRANSLATION_FILE", table_.c_str());
  EXPECT_EQ(Translate(translator_, u"Yes"), u"Ja");
  WriteFileBytes(table_, "Yes\tOui\n");
  Env().SetOption(L"VXTOOLS_TRANSLATION_FILE", table_.c_str());
  EXPECT_EQ(Translate(translator_, u"Yes"), u"Oui");
  Env().SetOption(L"VXTOOLS_TRANSLATION_FILE", nullptr);
  EXPECT_EQ(Translate(translator_, u"Yes"), u"Yes");
}

TEST_F(Translation, PseudoModeMarksEveryTranslatedText) {
  WriteFileBytes(table_, "Channels\tKan\xC3\xA4le\n");
  Env().SetOption(L"VXTOOLS_TRANSLATION_FILE", table_.c_str());
  Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", L"1");
  EXPECT_EQ(Translate(translator_, u"Channels"), u"[[Kan\u00e4le]]");
  EXPECT_EQ(Translate(translator_, u"Sample Rate"), u"[[Sample Rate]]");
  EXPECT_EQ(Translate(translator_, u""), u"[[]]");
  EXPECT_EQ(VxString(translator_->GetLanguage()), u"qps");
  Env().SetOption(L"VXTOOLS_PSEUDO_TRANSLATE", nullptr);
  EXPECT_EQ(Translate(translator_, u"Sample Rate"), u"Sample Rate");
}
