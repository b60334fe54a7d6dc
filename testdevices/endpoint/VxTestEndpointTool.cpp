// vxtestendpoint: installs, configures and removes the test audio endpoint in
// the current Wine prefix, and checks recordings made through it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VxFileText.h"
#include "testdevices/endpoint/VxTestEndpointControl.h"
#include "testdevices/endpoint/VxTestEndpointRegistration.h"

namespace {

const char kHelp[] =
    "usage: vxtestendpoint COMMAND [arguments]\n"
    "Controls the test audio endpoint (VxTestEndpoint.dll) in this Wine prefix.\n"
    "  install [DLL]           put the endpoint in front of the system's device enumerator\n"
    "                          (default: VxTestEndpoint.dll beside this program)\n"
    "  remove                  give the enumerator's class back to the system\n"
    "  status                  show where the enumerator's class leads and the configuration\n"
    "  configure NAME=VALUE..  write a new configuration: the values named, every other one\n"
    "                          at its default (names as in the README; Endpoints=A|B|C,\n"
    "                          numbers decimal or 0x hexadecimal)\n"
    "  check-wav FILE          check that a WAVE file holds the endpoint's signal from\n"
    "                          frame 0, in the configured format\n"
    "  summary RECORD          print what a record file says about the capture\n"
    "Exit code: 0 on success, 2 when check-wav finds other audio, 1 on any other failure.\n";

int Fail(const char* message) {
  std::fprintf(stderr, "vxtestendpoint: %s\n", message);
  return 1;
}

uint32_t Le(const uint8_t* p, int size) {
  uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i)
    v = (v << 8) | p[i];
  return v;
}

int CheckWav(const std::wstring& path) {
  std::string bytes;
  if (!VxReadWholeFile(path.c_str(), bytes))
    return Fail("cannot read the WAVE file");
  const std::vector<uint8_t> file(bytes.begin(), bytes.end());
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
      std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return Fail("not a RIFF/WAVE file");
  const uint8_t* fmt = nullptr;
  const uint8_t* data = nullptr;
  size_t dataSize = 0;
  for (size_t pos = 12; pos + 8 <= file.size();) {
    const uint32_t size = Le(&file[pos + 4], 4);
    const size_t available = file.size() - pos - 8;
    if (std::memcmp(&file[pos], "fmt ", 4) == 0 && size >= 16 && size <= available)
      fmt = &file[pos + 8];
    if (std::memcmp(&file[pos], "data", 4) == 0) {
      data = &file[pos + 8];
      dataSize = size < available ? size : available;
    }
    pos += 8 + size + (size & 1);
  }
  if (fmt == nullptr || data == nullptr)
    return Fail("no fmt or data chunk");
  const VxTestEndpointConfig config = VxTestEndpointConfig::Read();
  const uint32_t channels = Le(fmt + 2, 2), rate = Le(fmt + 4, 4), bits = Le(fmt + 14, 2);
  std::printf("WAVE: tag 0x%X, %u channels, %u Hz, %u bits, %zu data bytes\n", Le(fmt, 2), channels,
              rate, bits, dataSize);
  std::printf("endpoint: tag 0x%X (sub-type %u), %u channels, %u Hz, %u bits\n", config.formatTag,
              config.subTag, config.channels, config.sampleRate, config.bitsPerSample);
  if (channels != config.channels || rate != config.sampleRate || bits != config.bitsPerSample) {
    std::printf("the WAVE format is not the endpoint's mix format\n");
    return 2;
  }
  const uint32_t block = config.BlockAlign();
  if (block == 0 || dataSize % block != 0) {
    std::printf("the data is not a whole number of frames\n");
    return 2;
  }
  const uint64_t frames = dataSize / block;
  const VxTestSignalGenerator signal(config.SignalFormat());
  std::vector<uint8_t> expected;
  for (uint64_t frame = 0; frame < frames;) {
    const uint32_t n = static_cast<uint32_t>(frames - frame < 4096 ? frames - frame : 4096);
    expected.resize(static_cast<size_t>(n) * block);
    signal.Fill(frame, n, expected.data());
    const uint8_t* got = data + frame * block;
    for (size_t i = 0; i < expected.size(); ++i) {
      if (got[i] != expected[i]) {
        std::printf("differs at frame %llu, byte %zu of the frame: 0x%02X, expected 0x%02X\n",
                    static_cast<unsigned long long>(frame + i / block), i % block, got[i],
                    expected[i]);
        return 2;
      }
    }
    frame += n;
  }
  std::printf("%llu frames (%.3f s) match the endpoint's signal byte for byte\n",
              static_cast<unsigned long long>(frames),
              static_cast<double>(frames) / config.sampleRate);
  return frames != 0 ? 0 : 2;
}

int Summary(const std::wstring& path) {
  const auto lines = VxTestEndpointControl::ReadRecord(path);
  if (lines.empty())
    return Fail("the record is missing or empty");
  const VxTestRecordSummary s = VxTestEndpointControl::Summarize(lines);
  std::printf(
      "lines %zu, packets %llu, frames released %llu, frames lost %llu, GetBuffer/ReleaseBuffer "
      "%s\n",
      lines.size(), static_cast<unsigned long long>(s.packets),
      static_cast<unsigned long long>(s.releasedFrames),
      static_cast<unsigned long long>(s.lostFrames), s.paired ? "paired" : "NOT paired");
  std::printf(
      "Initialize %u, Start %u, Stop %u; volume callback registered %u, unregistered %u, "
      "left %u\n",
      s.initializeCalls, s.startCalls, s.stopCalls, s.registered, s.unregistered, s.callbacksLeft);
  for (size_t i = 0; i < s.streamThreads.size(); ++i)
    std::printf("stream thread %lu, apartment %s\n", s.streamThreads[i],
                s.streamApartments[i].c_str());
  for (const auto& [kind, count] : s.created) {
    const auto destroyed = s.destroyed.find(kind);
    std::printf("%s: created %d, destroyed %d\n", kind.c_str(), count,
                destroyed != s.destroyed.end() ? destroyed->second : 0);
  }
  return 0;
}

void PrintStatus() {
  const std::wstring server = VxTestEndpointRegistration::CurrentServer();
  std::printf("enumerator class leads to: %ls%s\n", server.c_str(),
              VxTestEndpointControl::IsInstalled() ? " (the test endpoint)" : "");
  const VxTestEndpointConfig c = VxTestEndpointConfig::Read();
  std::printf("endpoints:");
  for (const std::wstring& name : c.endpoints)
    std::printf(" \"%ls\"", name.c_str());
  std::printf("%s; default %u\n", c.endpoints.empty() ? " none" : "", c.defaultEndpoint);
  std::printf(
      "mix format: tag 0x%X sub-type %u, %u Hz, %u channels, %u bits (valid %u), mask 0x%X\n",
      c.formatTag, c.subTag, c.sampleRate, c.channels, c.bitsPerSample, c.EffectiveValidBits(),
      c.channelMask);
  std::printf("packets of %u frames, %s\n", c.EffectivePacketFrames(),
              c.realTime ? "real time" : "as fast as asked");
  std::printf("record file: %ls\n", c.recordFile.empty() ? L"(none)" : c.recordFile.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0) {
    std::fputs(kHelp, argc < 2 ? stderr : stdout);
    return argc < 2 ? 1 : 0;
  }
  const std::wstring command = argv[1];
  if (command == L"install") {
    const std::wstring dll = argc > 2 ? argv[2] : VxTestEndpointControl::DllPath();
    if (::GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES)
      return Fail("the endpoint DLL does not exist");
    if (!VxTestEndpointControl::Install(dll))
      return Fail("cannot write the class registration");
    std::printf("installed: %ls\n", dll.c_str());
    return 0;
  }
  if (command == L"remove") {
    if (!VxTestEndpointControl::Remove())
      return Fail("cannot restore the class registration");
    std::printf("removed; the enumerator's class leads to %ls\n",
                VxTestEndpointRegistration::CurrentServer().c_str());
    return 0;
  }
  if (command == L"status") {
    PrintStatus();
    return 0;
  }
  if (command == L"configure") {
    VxTestEndpointConfig config;
    for (int i = 2; i < argc; ++i) {
      const std::wstring arg = argv[i];
      const size_t eq = arg.find(L'=');
      if (eq == std::wstring::npos || !config.SetValue(arg.substr(0, eq), arg.substr(eq + 1))) {
        std::fprintf(stderr, "vxtestendpoint: not a known NAME=VALUE: %ls\n", arg.c_str());
        return 1;
      }
    }
    if (!config.Write())
      return Fail("cannot write the configuration");
    PrintStatus();
    return 0;
  }
  if (command == L"check-wav" && argc == 3)
    return CheckWav(argv[2]);
  if (command == L"summary" && argc == 3)
    return Summary(argv[2]);
  std::fputs(kHelp, stderr);
  return 1;
}
