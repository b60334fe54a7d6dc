// The message-box service of the reference tools library.
//
// Prepare fills a request (the text and title pointers are borrowed and must
// live until Show). Show displays a real MessageBoxW on the calling thread, or,
// with VXTOOLS_HEADLESS on, shows nothing and answers at once with
// VXTOOLS_MESSAGEBOX_ANSWER (a number such as 2, or ok, cancel, abort, retry,
// ignore, yes, no, tryagain, continue) or, without one, the box's default
// button. Either way the box is logged (category 1, source
// "VxTools::MessageBox") as
//   Message box (title: "...", text: "...", style: 0x..., answer: N[, headless])
// Show stores the answer in the request and returns it.
#pragma once

#include "live_Main/host/IVxTools.h"

class VxFileLog;
class VxToolsOptions;

class VxMessageBoxService final : public IVxMessageBoxes {
 public:
  VxMessageBoxService(const VxToolsOptions& options, VxFileLog& log);

  void Unused0() override;
  int32_t Show(VxMessageBoxRequest* request) override;
  void Unused2() override;
  void Unused3() override;
  void Unused4() override;
  void Unused5() override;
  void Unused6() override;
  void Unused7() override;
  void Unused8() override;
  void Unused9() override;
  void Unused10() override;
  void Unused11() override;
  void Unused12() override;
  void Prepare(VxMessageBoxRequest* request,
               HWND owner,
               const char16_t* text,
               const char16_t* title,
               uint32_t style) override;

  // The button a headless box answers with: the configured answer, else the
  // default button of `style`.
  static int32_t HeadlessAnswer(const VxString& configured, uint32_t style);

 private:
  void Unexpected(int slot);

  const VxToolsOptions& options_;
  VxFileLog& log_;
};
