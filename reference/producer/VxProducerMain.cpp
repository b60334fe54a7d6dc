// vxproducer: writes audio into the pipe of an IPC source.
//
// Connects as the pipe's client, announces the format ("fmt1"), optionally
// sends "strt", then "data" messages from a WAV file or a generated signal, and
// finally "stop". In request/reply mode every format and data message waits
// for its "Result" reply; refused ones are counted and reported. Exit code: 0
// when everything was sent and accepted, 2 when a reply refused a message, 1 on
// any other failure.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reference/producer/VxProducer.h"
#include "reference/producer/VxTestPattern.h"
#include "reference/producer/VxWavFile.h"

namespace {

constexpr size_t kMaxPayload = 0x100000 - 16;
// Longer than the source's own 2.5 s read limit: a host that reads at all
// answers well within it.
constexpr DWORD kReplyTimeoutMs = 5000;

const char kHelp[] =
    "usage: vxproducer --pipe NAME [source] [options]\n"
    "Writes audio into the named pipe of an IPC live source.\n"
    "source (one of):\n"
    "  --wav FILE         PCM 8/16/24/32-bit, float 32/64-bit, plain or extensible\n"
    "  --sine             a sine per channel (220 Hz times the channel number)\n"
    "  --pattern          a deterministic byte pattern for byte-exact checks (default)\n"
    "options:\n"
    "  --rate HZ          sample rate of a generated signal (48000)\n"
    "  --channels N       channel count of a generated signal (2)\n"
    "  --bits N           16, 24 or 32 (16); with --float 32 or 64\n"
    "  --float            generated samples are IEEE float\n"
    "  --duration SEC     amount of audio to send (1 for generated signals)\n"
    "  --bytes N          amount of audio to send, in bytes (overrides --duration)\n"
    "  --message-bytes N  payload bytes per data message (16384; at most 1048560)\n"
    "  --streaming        do not wait for replies (the source sends none)\n"
    "  --start            send a \"strt\" message after the format\n"
    "  --no-stop          end without sending \"stop\" (the pipe just closes)\n"
    "  --connect-ms N     how long to wait for the pipe (10000)\n"
    "  --realtime         pace the data at the audio's own rate, like a live input\n"
    "  --quiet            print only the summary\n"
    "  --fail-after-bytes N  end abruptly (exit code 3, no \"stop\") after N bytes of\n"
    "                     audio, to try how a host handles a producer that vanishes\n"
    "  --help             this text\n";

struct Options {
  std::wstring pipe;
  std::wstring wav;
  bool sine = false;
  uint32_t rate = 48000;
  uint32_t channels = 2;
  uint32_t bits = 16;
  bool isFloat = false;
  double duration = -1;
  long long bytes = -1;
  size_t messageBytes = 16384;
  bool streaming = false;
  bool start = false;
  bool stop = true;
  DWORD connectMs = 10000;
  bool quiet = false;
  bool realtime = false;
  long long failAfterBytes = -1;
};

// The format word of a "fmt1" message: container bits in the low 16 bits,
// integer and padding flags above.
uint32_t FormatWord(const VxWavFormat& f) {
  if (f.isFloat)
    return f.bitsPerSample;
  uint32_t word = f.bitsPerSample;
  if (f.bitsPerSample == 32)
    word |= 0x10000;  // 32-bit integers, not float
  const uint32_t padding = f.bitsPerSample - f.validBits;
  if (f.validBits < f.bitsPerSample) {
    if (padding == 4)
      word |= 0x40000;
    else if (padding == 8)
      word |= 0x80000;
    else if (padding == 12)
      word |= 0x100000;
    else if (padding == 14)
      word |= 0x200000;
    else if (padding == 16)
      word |= 0x400000;
    else if ((f.validBits + 7) / 8 * 8 == f.bitsPerSample)
      word = (word & ~0xFFFFu) | f.validBits;
  }
  return word;
}

// Fills whole frames of a sine per channel.
class SineSource {
 public:
  explicit SineSource(const VxWavFormat& f) : f_(f) {}
  void Fill(uint8_t* out, size_t bytes) {
    const uint32_t bytesPerSample = f_.bitsPerSample / 8;
    const size_t frames = bytes / f_.BlockAlign();
    for (size_t i = 0; i < frames; ++i, ++frame_) {
      for (uint32_t c = 0; c < f_.channels; ++c) {
        const double v =
            0.5 * std::sin(2 * 3.14159265358979323846 * 220.0 * (c + 1) * frame_ / f_.sampleRate);
        uint8_t* at = out + (i * f_.channels + c) * bytesPerSample;
        if (f_.isFloat && bytesPerSample == 4) {
          const float s = static_cast<float>(v);
          std::memcpy(at, &s, 4);
        } else if (f_.isFloat) {
          std::memcpy(at, &v, 8);
        } else {
          const int64_t s =
              static_cast<int64_t>(std::llround(v * std::ldexp(1.0, f_.bitsPerSample - 1)));
          for (uint32_t b = 0; b < bytesPerSample; ++b)
            at[b] = static_cast<uint8_t>(s >> (8 * b));
        }
      }
    }
  }

 private:
  VxWavFormat f_;
  uint64_t frame_ = 0;
};

// Strict number reading: the whole text, within [low, high]; otherwise a
// message naming the option and what was given.
bool Number(const std::wstring& option, const wchar_t* text, double low, double high, double& out) {
  wchar_t* end = nullptr;
  const double v = std::wcstod(text, &end);
  if (end == text || *end != 0 || !std::isfinite(v) || v < low || v > high) {
    std::fprintf(stderr, "vxproducer: %ls \"%ls\": expected a number from %.15g to %.15g\n",
                 option.c_str(), text, low, high);
    return false;
  }
  out = v;
  return true;
}
bool Whole(const std::wstring& option, const wchar_t* text, double low, double high, double& out) {
  if (!Number(option, text, low, high, out))
    return false;
  if (out != std::floor(out)) {
    std::fprintf(stderr, "vxproducer: %ls \"%ls\": expected a whole number\n", option.c_str(),
                 text);
    return false;
  }
  return true;
}

bool ParseArgs(int argc, wchar_t** argv, Options& o, bool& help) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    const bool hasValue = i + 1 < argc;
    const wchar_t* v = hasValue ? argv[i + 1] : L"";
    double n = 0;
    bool ok = true;
    bool takesValue = true;
    if (a == L"--pipe")
      o.pipe = v;
    else if (a == L"--wav")
      o.wav = v;
    else if (a == L"--rate" && (ok = Whole(a, v, 1, 10000000, n)))
      o.rate = static_cast<uint32_t>(n);
    else if (a == L"--channels" && (ok = Whole(a, v, 1, 64, n)))
      o.channels = static_cast<uint32_t>(n);
    else if (a == L"--bits" && (ok = Whole(a, v, 8, 64, n)))
      o.bits = static_cast<uint32_t>(n);
    else if (a == L"--duration" && (ok = Number(a, v, 1e-6, 1e7, n)))
      o.duration = n;
    else if (a == L"--bytes" && (ok = Whole(a, v, 0, 1e15, n)))
      o.bytes = static_cast<long long>(n);
    else if (a == L"--message-bytes" && (ok = Whole(a, v, 1, kMaxPayload, n)))
      o.messageBytes = static_cast<size_t>(n);
    else if (a == L"--connect-ms" && (ok = Whole(a, v, 0, 4294967294.0, n)))
      o.connectMs = static_cast<DWORD>(n);
    else if (a == L"--fail-after-bytes" && (ok = Whole(a, v, 0, 1e15, n)))
      o.failAfterBytes = static_cast<long long>(n);
    else if (!ok)
      return false;
    else {
      takesValue = false;
      if (a == L"--help" || a == L"-h")
        help = true;
      else if (a == L"--sine")
        o.sine = true;
      else if (a == L"--pattern")
        o.sine = false;
      else if (a == L"--float")
        o.isFloat = true;
      else if (a == L"--streaming")
        o.streaming = true;
      else if (a == L"--start")
        o.start = true;
      else if (a == L"--no-stop")
        o.stop = false;
      else if (a == L"--realtime")
        o.realtime = true;
      else if (a == L"--quiet")
        o.quiet = true;
      else {
        std::fprintf(stderr, "vxproducer: unknown option %ls\n", a.c_str());
        return false;
      }
    }
    if (!ok)
      return false;
    if (takesValue) {
      if (!hasValue) {
        std::fprintf(stderr, "vxproducer: %ls needs a value\n", a.c_str());
        return false;
      }
      ++i;
    }
  }
  return true;
}

// The stream's format: the WAV file's, or the one the options give.
bool ChooseFormat(const Options& o, VxWavFile& wav, VxWavFormat& format) {
  if (!o.wav.empty()) {
    if (!wav.Open(o.wav)) {
      std::fprintf(stderr, "vxproducer: --wav %ls: %s\n", o.wav.c_str(), wav.Error().c_str());
      return false;
    }
    format = wav.Format();
    return true;
  }
  format.sampleRate = o.rate;
  format.channels = o.channels;
  format.bitsPerSample = format.validBits = o.bits;
  format.isFloat = o.isFloat;
  const bool bitsOk =
      o.isFloat ? (o.bits == 32 || o.bits == 64) : (o.bits == 16 || o.bits == 24 || o.bits == 32);
  if (!bitsOk) {
    std::fprintf(stderr, "vxproducer: --bits %u: expected %s\n", o.bits,
                 o.isFloat ? "32 or 64 with --float" : "16, 24 or 32");
    return false;
  }
  return true;
}

// Payload bytes per data message (whole frames of audio); 0 after a message.
size_t MessagePayloadBytes(const Options& o, bool pattern, uint32_t blockAlign) {
  size_t messageBytes = o.messageBytes;
  if (messageBytes == 0 || messageBytes > kMaxPayload) {
    std::fprintf(stderr, "vxproducer: --message-bytes must be 1 to %zu\n", kMaxPayload);
    return 0;
  }
  if (!pattern)
    messageBytes -= messageBytes % blockAlign;  // audio goes in whole frames
  if (messageBytes == 0)
    std::fprintf(stderr, "vxproducer: --message-bytes is smaller than one frame (%u bytes)\n",
                 blockAlign);
  return messageBytes;
}

uint64_t TotalBytes(const Options& o,
                    bool pattern,
                    const VxWavFile& wav,
                    const VxWavFormat& format) {
  const uint32_t blockAlign = format.BlockAlign();
  uint64_t total;
  if (o.bytes >= 0)
    total = static_cast<uint64_t>(o.bytes);
  else if (!o.wav.empty() && o.duration < 0)
    total = wav.DataBytes();
  else
    total =
        static_cast<uint64_t>((o.duration < 0 ? 1.0 : o.duration) * format.sampleRate) * blockAlign;
  if (!pattern)
    total -= total % blockAlign;
  return total;
}

// One connected run: sends the messages and judges the host's replies.
class ProducerRun {
 public:
  explicit ProducerRun(const Options& o) : o_(o) {}

  bool Connect() {
    if (producer_.Connect(o_.pipe, o_.connectMs))
      return true;
    std::fprintf(stderr, "vxproducer: cannot connect to pipe %ls (error %lu)\n", o_.pipe.c_str(),
                 producer_.LastError());
    return false;
  }

  // Sends and, in request/reply mode, checks the reply; false ends the run.
  template <typename Send>
  bool Exchange(const char* tag, uint64_t index, Send send) {
    if (!send()) {
      std::fprintf(stderr, "vxproducer: writing %s message %llu failed (error %lu)\n", tag,
                   static_cast<unsigned long long>(index), producer_.LastError());
      return false;
    }
    if (std::strcmp(tag, "strt") == 0 || std::strcmp(tag, "stop") == 0)
      return true;
    if (o_.streaming)
      return CheckNoReply();
    return CheckReply(tag, index);
  }

  bool SendFormat(const VxWavFormat& format) {
    uint8_t fmt[12];
    const uint32_t word = FormatWord(format);
    const uint32_t fields[3] = {format.sampleRate, word, format.channels};
    for (int f = 0; f < 3; ++f)
      for (int b = 0; b < 4; ++b)
        fmt[f * 4 + b] = static_cast<uint8_t>(fields[f] >> (8 * b));
    if (!Exchange("fmt1", 0, [&] { return producer_.Send("fmt1", fmt, sizeof fmt); }))
      return false;
    if (!o_.quiet)
      std::printf("sent fmt1: %u Hz, %u channels, %u bits%s (format word 0x%x)\n",
                  format.sampleRate, format.channels, format.bitsPerSample,
                  format.isFloat ? " float" : "", word);
    return true;
  }

  bool SendControl(const char* tag) {
    return Exchange(tag, 0, [&] { return producer_.Send(tag, nullptr, 0); });
  }

  // The data messages, paced in real time when asked; false when one failed.
  bool SendAudio(const VxWavFormat& format,
                 VxWavFile& wav,
                 bool pattern,
                 size_t messageBytes,
                 uint64_t total) {
    std::vector<uint8_t> message(16 + messageBytes);
    SineSource sine(format);
    const ULONGLONG started = ::GetTickCount64();
    const double bytesPerMs = static_cast<double>(format.BlockAlign()) * format.sampleRate / 1000.0;
    while (sent_ < total) {
      if (o_.failAfterBytes >= 0 && sent_ >= static_cast<uint64_t>(o_.failAfterBytes)) {
        std::fprintf(stderr, "vxproducer: ending abruptly after %llu bytes (--fail-after-bytes)\n",
                     static_cast<unsigned long long>(sent_));
        std::fflush(stderr);
        ::ExitProcess(3);
      }
      if (o_.realtime) {
        // A live input delivers a block only once its audio has been played.
        const double due = static_cast<double>(sent_) / bytesPerMs;
        const double now = static_cast<double>(::GetTickCount64() - started);
        if (due > now)
          ::Sleep(static_cast<DWORD>(due - now));
      }
      size_t size = static_cast<size_t>(std::min<uint64_t>(messageBytes, total - sent_));
      uint8_t* payload = message.data() + 16;
      if (pattern)
        VxFillPattern(payload, sent_, size);
      else if (o_.sine)
        sine.Fill(payload, size);
      else if ((size = wav.Read(payload, size)) == 0)
        break;
      if (!Exchange("data", count_, [&] { return producer_.SendInPlace("data", message, size); }))
        return false;
      sent_ += size;
      ++count_;
    }
    return true;
  }

  int Summary() const {
    std::printf("sent: %llu data messages, %llu bytes%s%s; refused: %llu\n",
                static_cast<unsigned long long>(count_), static_cast<unsigned long long>(sent_),
                o_.start ? ", strt" : "", o_.stop ? ", stop" : "",
                static_cast<unsigned long long>(refused_));
    std::fflush(stdout);
    return refused_ ? 2 : 0;
  }

 private:
  bool CheckNoReply() {
    if (!producer_.ReplyWaiting())
      return true;
    std::fprintf(stderr,
                 "vxproducer: the host answers, so it runs in request/reply mode: leave out "
                 "--streaming, or start the host in streaming mode too\n");
    return false;
  }

  bool CheckReply(const char* tag, uint64_t index) {
    switch (producer_.ReadReply(kReplyTimeoutMs)) {
      case VxProducer::Reply::kAccepted:
        return true;
      case VxProducer::Reply::kRefused:
        ++refused_;
        std::printf("refused: %s message %llu (Result = 0)\n", tag,
                    static_cast<unsigned long long>(index));
        return true;
      case VxProducer::Reply::kNone:
        std::fprintf(stderr,
                     "vxproducer: no reply to %s message %llu within %lu ms: a host in streaming "
                     "mode sends none, so use --streaming on both sides or neither\n",
                     tag, static_cast<unsigned long long>(index), kReplyTimeoutMs);
        return false;
      case VxProducer::Reply::kBroken:
        break;
    }
    std::fprintf(stderr, "vxproducer: no valid reply to %s message %llu (error %lu, %zu bytes)\n",
                 tag, static_cast<unsigned long long>(index), producer_.LastError(),
                 producer_.LastReplyText().size());
    return false;
  }

  const Options& o_;
  VxProducer producer_;
  uint64_t refused_ = 0;
  uint64_t sent_ = 0;
  uint64_t count_ = 0;
};

int Run(const Options& o) {
  VxWavFile wav;
  VxWavFormat format;
  const bool pattern = o.wav.empty() && !o.sine;
  if (!ChooseFormat(o, wav, format))
    return 1;
  const size_t messageBytes = MessagePayloadBytes(o, pattern, format.BlockAlign());
  if (messageBytes == 0)
    return 1;
  const uint64_t total = TotalBytes(o, pattern, wav, format);

  ProducerRun run(o);
  if (!run.Connect() || !run.SendFormat(format))
    return 1;
  if (o.start && !run.SendControl("strt"))
    return 1;
  if (!run.SendAudio(format, wav, pattern, messageBytes, total))
    return 1;
  if (o.stop && !run.SendControl("stop"))
    return 1;
  return run.Summary();
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  Options options;
  bool help = false;
  const bool parsed = argv && ParseArgs(argc, argv, options, help);
  if (argv)
    ::LocalFree(argv);
  if (help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (!parsed || options.pipe.empty()) {
    std::fputs(kHelp, stderr);
    return 1;
  }
  return Run(options);
}
