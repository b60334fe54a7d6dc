// vxhost drivers: lists the installed ASIO drivers the way the plug-in's ASIO
// source finds and loads them (the same registry reading and class creation),
// then asks each initialised driver for its inputs, the sample type of input 0,
// its buffer sizes and which common rates it accepts.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/VxString.h"
#include "reference/host/VxConsoleText.h"
#include "reference/host/VxHostCommands.h"
#include "sources/asio/ASIODriverList.h"

namespace {

constexpr double kRates[] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};

const wchar_t* SampleTypeName(ASIOSampleType type) {
  switch (type) {
    case ASIOSTInt16MSB:
      return L"Int16MSB";
    case ASIOSTInt24MSB:
      return L"Int24MSB";
    case ASIOSTInt32MSB:
      return L"Int32MSB";
    case ASIOSTFloat32MSB:
      return L"Float32MSB";
    case ASIOSTFloat64MSB:
      return L"Float64MSB";
    case ASIOSTInt32MSB16:
      return L"Int32MSB16";
    case ASIOSTInt32MSB18:
      return L"Int32MSB18";
    case ASIOSTInt32MSB20:
      return L"Int32MSB20";
    case ASIOSTInt32MSB24:
      return L"Int32MSB24";
    case ASIOSTInt16LSB:
      return L"Int16LSB";
    case ASIOSTInt24LSB:
      return L"Int24LSB";
    case ASIOSTInt32LSB:
      return L"Int32LSB";
    case ASIOSTFloat32LSB:
      return L"Float32LSB";
    case ASIOSTFloat64LSB:
      return L"Float64LSB";
    case ASIOSTInt32LSB16:
      return L"Int32LSB16";
    case ASIOSTInt32LSB18:
      return L"Int32LSB18";
    case ASIOSTInt32LSB20:
      return L"Int32LSB20";
    case ASIOSTInt32LSB24:
      return L"Int32LSB24";
    case ASIOSTDSDInt8LSB1:
      return L"DSDInt8LSB1";
    case ASIOSTDSDInt8MSB1:
      return L"DSDInt8MSB1";
    case ASIOSTDSDInt8NER8:
      return L"DSDInt8NER8";
    default:
      return L"unknown";
  }
}

// Prints what an initialised driver reports; false when a query failed.
bool DescribeDriver(IASIO* driver) {
  long inputs = 0, outputs = 0;
  if (driver->getChannels(&inputs, &outputs) != ASE_OK) {
    VxPrint(stdout, L"    getChannels failed\n");
    return false;
  }
  VxPrint(stdout, L"    inputs: %ld, outputs: %ld\n", inputs, outputs);
  if (inputs > 0) {
    ASIOChannelInfo info = {};
    info.channel = 0;
    info.isInput = ASIOTrue;
    if (driver->getChannelInfo(&info) == ASE_OK) {
      info.name[sizeof info.name - 1] = 0;
      VxPrint(stdout, L"    input 0: %ls (type %ld), \"%ls\"\n", SampleTypeName(info.type),
              info.type, VxAsioFromAnsi(info.name).c_str());
    } else {
      VxPrint(stdout, L"    input 0: getChannelInfo failed\n");
    }
  }
  long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  if (driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity) == ASE_OK)
    VxPrint(stdout, L"    buffer sizes: min %ld, max %ld, preferred %ld, granularity %ld\n",
            minSize, maxSize, preferred, granularity);
  else
    VxPrint(stdout, L"    buffer sizes: getBufferSize failed\n");
  VxPrint(stdout, L"    rates:");
  int accepted = 0;
  for (double rate : kRates) {
    if (driver->canSampleRate(rate) == ASE_OK) {
      VxPrint(stdout, L" %.0f", rate);
      ++accepted;
    }
  }
  VxPrint(stdout, accepted ? L"\n" : L" none of the common rates\n");
  ASIOSampleRate current = 0;
  if (driver->getSampleRate(&current) == ASE_OK)
    VxPrint(stdout, L"    current rate: %.0f\n", current);
  return true;
}

int RunDriversCommand(int argc, wchar_t**) {
  if (argc != 0) {
    VxPrint(stderr, L"usage: vxhost drivers\n");
    return 2;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    VxPrint(stderr, L"drivers: COM could not be initialised\n");
    return 1;
  }
  int failures = 0;
  {
    ASIODriverList list;
    VxPrint(stdout, L"%d ASIO driver(s) listed under HKLM\\Software\\ASIO\n", list.Count());
    for (int32_t id = 0; id < list.Count(); ++id) {
      const ASIODriverRecord* record = list.Record(id);
      const VxString deviceId = VxAsioDeviceId(record->clsid);
      // The name as the source lists it (ANSI code page), not as raw bytes.
      VxPrint(stdout, L"[%d] %ls\n    device ID: %ls\n", id, VxAsioDriverName(*record).Wide(),
              deviceId.Wide());
      IASIO* driver = list.LoadDriver(record->clsid);
      if (!driver) {
        VxPrint(stdout, L"    cannot be loaded (class object not created)\n");
        ++failures;
        continue;
      }
      if (!driver->init(nullptr)) {
        char message[124] = {};
        driver->getErrorMessage(message);
        message[sizeof message - 1] = 0;
        VxPrint(stdout, L"    init failed: \"%ls\"\n", VxAsioFromAnsi(message).c_str());
        ++failures;
      } else {
        char name[32] = {};
        driver->getDriverName(name);
        name[sizeof name - 1] = 0;
        VxPrint(stdout, L"    driver name: \"%ls\", version %ld\n", VxAsioFromAnsi(name).c_str(),
                driver->getDriverVersion());
        if (!DescribeDriver(driver))
          ++failures;
      }
      list.RemoveCurrentDriver();
    }
  }
  ::CoUninitialize();
  // A driver that cannot be used is part of the answer, not a failed listing.
  if (failures)
    VxPrint(stdout, L"%d driver(s) could not be queried\n", failures);
  return 0;
}

const VxHostCommandRegistration kRegistration{
    {L"drivers", L"", L"lists the installed ASIO drivers, loading each as the ASIO source does",
     RunDriversCommand}};

}  // namespace
