#include "reference/tools/VxMessageBoxService.h"

#include "reference/tools/VxFileLog.h"
#include "reference/tools/VxToolsOptions.h"

namespace {

constexpr char16_t kSource[] = u"VxTools::MessageBox";

struct NamedAnswer {
  const char16_t* name;
  int32_t id;
};
constexpr NamedAnswer kAnswers[] = {
    {u"ok", IDOK},       {u"cancel", IDCANCEL},     {u"abort", IDABORT},
    {u"retry", IDRETRY}, {u"ignore", IDIGNORE},     {u"yes", IDYES},
    {u"no", IDNO},       {u"tryagain", IDTRYAGAIN}, {u"continue", IDCONTINUE},
};

}  // namespace

VxMessageBoxService::VxMessageBoxService(const VxToolsOptions& options, VxFileLog& log)
    : options_(options), log_(log) {}

int32_t VxMessageBoxService::HeadlessAnswer(const VxString& configured, uint32_t style) {
  if (!configured.empty()) {
    if (configured[0] >= u'0' && configured[0] <= u'9') {
      int32_t value = 0;
      for (char16_t c : configured) {
        if (c < u'0' || c > u'9' || value > 100000)
          break;
        value = value * 10 + (c - u'0');
      }
      return value;
    }
    for (const NamedAnswer& a : kAnswers)
      if (VxEqualsNoCase(configured, a.name))
        return a.id;
  }
  // The buttons of each box type, in the order MB_DEFBUTTONn counts them.
  static const int32_t kButtons[][3] = {
      {IDOK, IDOK, IDOK},                 // MB_OK
      {IDOK, IDCANCEL, IDCANCEL},         // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},       // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},            // MB_YESNOCANCEL
      {IDYES, IDNO, IDNO},                // MB_YESNO
      {IDRETRY, IDCANCEL, IDCANCEL},      // MB_RETRYCANCEL
      {IDCANCEL, IDTRYAGAIN, IDCONTINUE}  // MB_CANCELTRYCONTINUE
  };
  const uint32_t type = style & MB_TYPEMASK;
  const uint32_t button = (style & MB_DEFMASK) >> 8;
  if (type >= sizeof kButtons / sizeof kButtons[0])
    return IDOK;
  return kButtons[type][button < 3 ? button : 0];
}

void VxMessageBoxService::Prepare(VxMessageBoxRequest* request,
                                  HWND owner,
                                  const char16_t* text,
                                  const char16_t* title,
                                  uint32_t style) {
  if (!request)
    return;
  request->owner = owner;
  request->text = text;
  request->title = title;
  request->style = style;
  request->result = 0;
}

int32_t VxMessageBoxService::Show(VxMessageBoxRequest* request) {
  if (!request)
    return 0;
  const VxString text = VxString::From(request->text);
  const VxString title = VxString::From(request->title);
  const bool headless = options_.GetFlag(kVxOptHeadless);
  int32_t answer;
  if (headless) {
    answer = HeadlessAnswer(options_.Get(kVxOptMessageBoxAnswer), request->style);
  } else {
    answer = ::MessageBoxW(request->owner, text.Wide(), title.Wide(), request->style);
  }
  request->result = answer;
  log_.Write(
      1, kSource,
      VxFormat(headless ? u"Message box (title: \"%s\", text: \"%s\", style: 0x%x, answer: "
                          u"%d, headless)"
                        : u"Message box (title: \"%s\", text: \"%s\", style: 0x%x, answer: %d)",
               {title, text, request->style, answer}));
  return answer;
}

void VxMessageBoxService::Unexpected(int slot) {
  log_.Write(1, kSource, VxFormat(u"Unexpected call: IVxMessageBoxes slot %d", {slot}));
}

void VxMessageBoxService::Unused0() {
  Unexpected(0);
}
void VxMessageBoxService::Unused2() {
  Unexpected(2);
}
void VxMessageBoxService::Unused3() {
  Unexpected(3);
}
void VxMessageBoxService::Unused4() {
  Unexpected(4);
}
void VxMessageBoxService::Unused5() {
  Unexpected(5);
}
void VxMessageBoxService::Unused6() {
  Unexpected(6);
}
void VxMessageBoxService::Unused7() {
  Unexpected(7);
}
void VxMessageBoxService::Unused8() {
  Unexpected(8);
}
void VxMessageBoxService::Unused9() {
  Unexpected(9);
}
void VxMessageBoxService::Unused10() {
  Unexpected(10);
}
void VxMessageBoxService::Unused11() {
  Unexpected(11);
}
void VxMessageBoxService::Unused12() {
  Unexpected(12);
}
