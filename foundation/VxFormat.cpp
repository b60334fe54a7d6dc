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

// One conversion as written: flags, width, precision and the conversion letter
// (0 when the format ends inside the directive).
struct Directive {
  bool left = false, zero = false, plus = false, space = false;
  int width = 0;
  int precision = -1;
  char16_t conv = 0;
};

// Reads the directive after a '%'; `p` is left on the conversion letter (or on
// the terminator).
Directive ReadDirective(const char16_t*& p) {
  Directive d;
  for (;; ++p) {
    if (*p == u'-')
      d.left = true;
    else if (*p == u'0')
      d.zero = true;
    else if (*p == u'+')
      d.plus = true;
    else if (*p == u' ')
      d.space = true;
    else if (*p != u'#')
      break;
  }
  while (*p >= u'0' && *p <= u'9')
    d.width = d.width * 10 + (*p++ - u'0');
  if (*p == u'.') {
    ++p;
    d.precision = 0;
    while (*p >= u'0' && *p <= u'9')
      d.precision = d.precision * 10 + (*p++ - u'0');
  }
  // Length modifiers are read and ignored: every integer travels as 64 bits.
  while (*p == u'h' || *p == u'l' || *p == u'z' || *p == u'L')
    ++p;
  if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4')
    p += 3;
  d.conv = *p;
  return d;
}

void PadToPrecision(VxString& body, int precision) {
  if (precision > body.Length())
    body.insert(0, static_cast<size_t>(precision - body.Length()), u'0');
}

void AppendSigned(VxString& out, const Directive& d, int64_t v) {
  const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  VxString body = Digits(mag, 10, false);
  PadToPrecision(body, d.precision);
  const char16_t sign = v < 0 ? u'-' : d.plus ? u'+' : d.space ? u' ' : 0;
  if (d.zero && !d.left && d.precision < 0) {
    const int digits = d.width - (sign ? 1 : 0);
    if (digits > body.Length())
      body.insert(0, static_cast<size_t>(digits - body.Length()), u'0');
  }
  if (sign)
    body.insert(body.begin(), sign);
  AppendPadded(out, body, d.width, d.left, u' ');
}

void AppendUnsigned(VxString& out, const Directive& d, uint64_t raw) {
  VxString body;
  if (d.conv == u'p') {
    body = Digits(raw, 16, true);
    if (body.Length() < 16)
      body.insert(0, static_cast<size_t>(16 - body.Length()), u'0');
  } else {
    body = Digits(raw, d.conv == u'u' ? 10 : 16, d.conv == u'X');
  }
  PadToPrecision(body, d.precision);
  AppendPadded(out, body, d.width, d.left, d.zero && !d.left && d.precision < 0 ? u'0' : u' ');
}

// %s: a wide string, a text object, or an integer in decimal; anything else
// is the empty string.
void AppendText(VxString& out, const Directive& d, const VxArg& a) {
  VxString body;
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
  if (d.precision >= 0 && body.Length() > d.precision)
    body.resize(static_cast<size_t>(d.precision));
  AppendPadded(out, body, d.width, d.left, u' ');
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
    const Directive d = ReadDirective(p);
    switch (d.conv) {
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'p': {
        const VxArg& a = take();
        const uint64_t raw = a.type == kVxArgInt64 ? a.value : 0;
        if (d.conv == u'd' || d.conv == u'i')
          AppendSigned(out, d, static_cast<int64_t>(raw));
        else
          AppendUnsigned(out, d, raw);
        break;
      }
      case u'c': {
        const VxArg& a = take();
        VxString body;
        if (a.type == kVxArgInt64)
          body.push_back(static_cast<char16_t>(a.value));
        AppendPadded(out, body, d.width, d.left, u' ');
        break;
      }
      case u's':
        AppendText(out, d, take());
        break;
      default:
        // Not a conversion we know: keep the text as written.
        out.append(start, static_cast<size_t>(p - start) + (d.conv ? 1 : 0));
        if (!d.conv)
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
