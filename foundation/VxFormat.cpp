#include "foundation/VxFormat.h"

#include <cstring>

VxArgList::VxArgList(std::initializer_list<VxArgValue> values) {
  int n = 0;
  for (const VxArgValue& v : values) {
    if (n == kMax)
      break;
    entries_[n++] = v.Entry();
  }
  capacity_ = n <= 4 ? 4 : kMax;
  for (int i = 0; i < kMax; ++i)
    pointers_[i] = &entries_[i];
}

namespace {

const VxArg kEmptyArg = {};

void AppendPadded(VxString& out, const VxString& body, int width, bool left, char16_t pad) {
  const int fill = width - body.Length();
  if (fill > 0 && !left)
    out.append(static_cast<size_t>(fill), pad);
  out += body;
  if (fill > 0 && left)
    out.append(static_cast<size_t>(fill), u' ');
}

VxString Digits(uint64_t v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char16_t buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char16_t>(set[v % base]);
    v /= base;
  } while (v);
  VxString s;
  while (n)
    s.push_back(buf[--n]);
  return s;
}

}  // namespace

VxString VxFormatArgs(const char16_t* format, const VxArg* const* args, int count) {
  VxString out;
  if (!format)
    return out;
  int next = 0;
  auto take = [&]() -> const VxArg& {
    if (!args || next >= count || !args[next]) {
      ++next;
      return kEmptyArg;
    }
    return *args[next++];
  };
  for (const char16_t* p = format; *p; ++p) {
    if (*p != u'%') {
      out.push_back(*p);
      continue;
    }
    const char16_t* start = p;
    ++p;
    if (*p == u'%') {
      out.push_back(u'%');
      continue;
    }
    bool left = false, zero = false, plus = false, space = false;
    for (;; ++p) {
      if (*p == u'-')
        left = true;
      else if (*p == u'0')
        zero = true;
      else if (*p == u'+')
        plus = true;
      else if (*p == u' ')
        space = true;
      else if (*p == u'#') {
      } else
        break;
    }
    int width = 0;
    while (*p >= u'0' && *p <= u'9')
      width = width * 10 + (*p++ - u'0');
    int precision = -1;
    if (*p == u'.') {
      ++p;
      precision = 0;
      while (*p >= u'0' && *p <= u'9')
        precision = precision * 10 + (*p++ - u'0');
    }
    while (*p == u'h' || *p == u'l' || *p == u'z' || *p == u'L')
      ++p;
    if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4')
      p += 3;
    const char16_t conv = *p;
    VxString body;
    switch (conv) {
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'p': {
        const VxArg& a = take();
        const uint64_t raw = a.type == kVxArgInt64 ? a.value : 0;
        if (conv == u'd' || conv == u'i') {
          const int64_t v = static_cast<int64_t>(raw);
          const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
          body = Digits(mag, 10, false);
          if (precision > body.Length())
            body.insert(0, static_cast<size_t>(precision - body.Length()), u'0');
          const char16_t sign = v < 0 ? u'-' : plus ? u'+' : space ? u' ' : 0;
          if (zero && !left && precision < 0) {
            const int digits = width - (sign ? 1 : 0);
            if (digits > body.Length())
              body.insert(0, static_cast<size_t>(digits - body.Length()), u'0');
          }
          if (sign)
            body.insert(body.begin(), sign);
          AppendPadded(out, body, width, left, u' ');
        } else {
          if (conv == u'p') {
            body = Digits(raw, 16, true);
            if (body.Length() < 16)
              body.insert(0, static_cast<size_t>(16 - body.Length()), u'0');
          } else {
            body = Digits(raw, conv == u'u' ? 10 : 16, conv == u'X');
          }
          if (precision > body.Length())
            body.insert(0, static_cast<size_t>(precision - body.Length()), u'0');
          AppendPadded(out, body, width, left, zero && !left && precision < 0 ? u'0' : u' ');
        }
        break;
      }
      case u'c': {
        const VxArg& a = take();
        if (a.type == kVxArgInt64)
          body.push_back(static_cast<char16_t>(a.value));
        AppendPadded(out, body, width, left, u' ');
        break;
      }
      case u's': {
        const VxArg& a = take();
        const char16_t* s = nullptr;
        if (a.type == kVxArgWideString) {
          s = reinterpret_cast<const char16_t*>(static_cast<uintptr_t>(a.value));
          if (!s)
            s = u"(null)";
        } else if (a.type == kVxArgTextObject && a.value) {
          s = reinterpret_cast<const IVxDllString*>(static_cast<uintptr_t>(a.value))->GetText();
        } else if (a.type == kVxArgInt64) {
          body = Digits(a.value, 10, false);
        }
        if (s)
          body = VxString(s);
        if (precision >= 0 && body.Length() > precision)
          body.resize(static_cast<size_t>(precision));
        AppendPadded(out, body, width, left, u' ');
        break;
      }
      default:
        // Not a conversion we know: keep the text as written.
        out.append(start, static_cast<size_t>(p - start) + (conv ? 1 : 0));
        if (!conv)
          --p;
        break;
    }
    if (!*p)
      break;
  }
  return out;
}

VxString VxFormat(const char16_t* format, std::initializer_list<VxArgValue> values) {
  VxArgList list(values);
  return VxFormatArgs(format, list.List(), list.Capacity());
}
