// VxAsioInterface: our own declarations of the ASIO driver interface (version 2),
// written from its published description.
//
// A driver is an in-process COM server listed under HKLM\Software\ASIO\<name>.
// The interface has no identifier of its own: callers ask CoCreateInstance for
// the driver's class ID as the interface ID too.
//
// Layout: the published structures use 4-byte packing on Windows, so a pointer
// that follows an odd number of 32-bit fields sits at a 4-byte offset. `long`
// is 32 bits on this target (LLP64); the interface is declared with it because
// every driver is built against that. The static_asserts below pin each size
// and offset a driver reads or writes.
//
// Threads: a driver may call the callbacks from any thread it owns, at any time
// between createBuffers and the return of disposeBuffers.
#pragma once

#include <unknwn.h>

#include <cstddef>

static_assert(sizeof(long) == 4, "the ASIO interface needs a 32-bit long");
static_assert(sizeof(void*) == 8, "these layouts are checked for 64-bit Windows");

using ASIOError = long;
using ASIOBool = long;
using ASIOSampleType = long;
using ASIOSampleRate = double;

inline constexpr ASIOBool ASIOFalse = 0;
inline constexpr ASIOBool ASIOTrue = 1;

// Error codes. ASE_SUCCESS is what future() answers for a selector it handled.
enum : ASIOError {
  ASE_OK = 0,
  ASE_SUCCESS = 0x3f4847a0,
  ASE_NotPresent = -1000,  // hardware input or output is not present or available
  ASE_HWMalfunction,       // hardware is malfunctioning
  ASE_InvalidParameter,    // input parameter invalid
  ASE_InvalidMode,         // hardware is in a bad mode or used in a bad mode
  ASE_SPNotAdvancing,      // hardware is not running when sample position is inquired
  ASE_NoClock,             // sample clock or rate cannot be determined or is not present
  ASE_NoMemory             // not enough memory for completing the request
};

// Sample types. MSB: big-endian, LSB: little-endian. The 32-bit types with a
// second number carry that many significant bits, aligned to the low end.
enum : ASIOSampleType {
  ASIOSTInt16MSB = 0,
  ASIOSTInt24MSB = 1,  // packed, 3 bytes per sample
  ASIOSTInt32MSB = 2,
  ASIOSTFloat32MSB = 3,  // IEEE 754 32 bit float
  ASIOSTFloat64MSB = 4,  // IEEE 754 64 bit double float
  ASIOSTInt32MSB16 = 8,
  ASIOSTInt32MSB18 = 9,
  ASIOSTInt32MSB20 = 10,
  ASIOSTInt32MSB24 = 11,

  ASIOSTInt16LSB = 16,
  ASIOSTInt24LSB = 17,  // packed, 3 bytes per sample
  ASIOSTInt32LSB = 18,
  ASIOSTFloat32LSB = 19,
  ASIOSTFloat64LSB = 20,
  ASIOSTInt32LSB16 = 24,
  ASIOSTInt32LSB18 = 25,
  ASIOSTInt32LSB20 = 26,
  ASIOSTInt32LSB24 = 27,

  // Direct Stream Digital: one bit per sample, eight samples per byte.
  ASIOSTDSDInt8LSB1 = 32,  // oldest sample in the least significant bit
  ASIOSTDSDInt8MSB1 = 33,  // oldest sample in the most significant bit
  ASIOSTDSDInt8NER8 = 40,  // one sample per byte, in bit 0

  ASIOSTLastEntry
};

// 64-bit counters as two 32-bit halves, the high half first.
struct ASIOSamples {
  unsigned long hi;
  unsigned long lo;
};
struct ASIOTimeStamp {
  unsigned long hi;
  unsigned long lo;
};

#pragma pack(push, 4)

struct ASIODriverInfo {
  long asioVersion;    // in: the host's ASIO version (2)
  long driverVersion;  // out
  char name[32];
  char errorMessage[124];
  void* sysRef;  // in: the host's window handle
};

struct ASIOClockSource {
  long index;
  long associatedChannel;
  long associatedGroup;
  ASIOBool isCurrentSource;
  char name[32];
};

struct ASIOChannelInfo {
  long channel;      // in: channel index
  ASIOBool isInput;  // in
  ASIOBool isActive;
  long channelGroup;
  ASIOSampleType type;
  char name[32];
};

struct ASIOBufferInfo {
  ASIOBool isInput;  // in
  long channelNum;   // in: channel index
  void* buffers[2];  // out: the two halves of the double buffer
};

// Time code flags (ASIOTimeCode::flags).
enum : unsigned long {
  kTcValid = 1,
  kTcRunning = 1 << 1,
  kTcReverse = 1 << 2,
  kTcOnspeed = 1 << 3,
  kTcStill = 1 << 4,
  kTcSpeedValid = 1 << 8
};

struct ASIOTimeCode {
  double speed;  // speed relation (fraction of nominal speed)
  ASIOSamples timeCodeSamples;
  unsigned long flags;
  char future[64];
};

// Time info flags (AsioTimeInfo::flags).
enum : unsigned long {
  kSystemTimeValid = 1,
  kSamplePositionValid = 1 << 1,
  kSampleRateValid = 1 << 2,
  kSpeedValid = 1 << 3,
  kSampleRateChanged = 1 << 4,
  kClockSourceChanged = 1 << 5
};

struct AsioTimeInfo {
  double speed;
  ASIOTimeStamp systemTime;  // nanoseconds, system time of the buffer switch
  ASIOSamples samplePosition;
  ASIOSampleRate sampleRate;
  unsigned long flags;
  char reserved[12];
};

struct ASIOTime {
  long reserved[4];
  AsioTimeInfo timeInfo;
  ASIOTimeCode timeCode;
};

// Plain function pointers: the driver calls them without any context, so a
// host that serves several drivers needs one set of entry points per driver.
struct ASIOCallbacks {
  void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
  void (*sampleRateDidChange)(ASIOSampleRate sRate);
  long (*asioMessage)(long selector, long value, void* message, double* opt);
  ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params,
                                    long doubleBufferIndex,
                                    ASIOBool directProcess);
};

// Selectors of ASIOCallbacks::asioMessage.
enum : long {
  kAsioSelectorSupported = 1,  // value: the selector asked about
  kAsioEngineVersion,          // answer the host's ASIO version (2)
  kAsioResetRequest,           // the driver needs a reset (dispose and reopen)
  kAsioBufferSizeChange,       // value: the new buffer size
  kAsioResyncRequest,          // the driver lost samples; timing must be resynchronised
  kAsioLatenciesChanged,       // the latencies changed; ask getLatencies again
  kAsioSupportsTimeInfo,       // the host supports bufferSwitchTimeInfo
  kAsioSupportsTimeCode,       // the host supports time code in ASIOTime
  kAsioMMCCommand,             // value: an MMC command
  kAsioSupportsInputMonitor,
  kAsioSupportsInputGain,
  kAsioSupportsInputMeter,
  kAsioSupportsOutputGain,
  kAsioSupportsOutputMeter,
  kAsioOverload,  // the driver detected an overload
  kAsioNumMessageSelectors
};

// Selectors of IASIO::future.
enum : long {
  kAsioEnableTimeCodeRead = 1,
  kAsioDisableTimeCodeRead,
  kAsioSetInputMonitor,
  kAsioTransport,
  kAsioSetInputGain,
  kAsioGetInputMeter,
  kAsioSetOutputGain,
  kAsioGetOutputMeter,
  kAsioCanInputMonitor,
  kAsioCanTimeInfo,
  kAsioCanTimeCode,
  kAsioCanTransport,
  kAsioCanInputGain,
  kAsioCanInputMeter,
  kAsioCanOutputGain,
  kAsioCanOutputMeter,
  kAsioOptionalOne,

  kAsioSetIoFormat = 0x23111961,
  kAsioGetIoFormat = 0x23111983,
  kAsioCanDoIoFormat = 0x23112004,
  kAsioCanReportOverload = 0x24042012,
  kAsioGetInternalBufferSamples = 0x25042012,
  kAsioSupportsInputResampling = 0x26092017
};

// Stream format of kAsioSetIoFormat / kAsioGetIoFormat / kAsioCanDoIoFormat.
using ASIOIoFormatType = long;
enum : ASIOIoFormatType { kASIOFormatInvalid = -1, kASIOPCMFormat = 0, kASIODSDFormat = 1 };

struct ASIOIoFormat {
  ASIOIoFormatType FormatType;
  char future[512 - sizeof(ASIOIoFormatType)];
};

#pragma pack(pop)

static_assert(sizeof(ASIOSamples) == 8 && offsetof(ASIOSamples, lo) == 4);
static_assert(sizeof(ASIOTimeStamp) == 8 && offsetof(ASIOTimeStamp, lo) == 4);

static_assert(offsetof(ASIODriverInfo, driverVersion) == 4);
static_assert(offsetof(ASIODriverInfo, name) == 8);
static_assert(offsetof(ASIODriverInfo, errorMessage) == 40);
static_assert(offsetof(ASIODriverInfo, sysRef) == 164);
static_assert(sizeof(ASIODriverInfo) == 172);

static_assert(offsetof(ASIOClockSource, isCurrentSource) == 12);
static_assert(offsetof(ASIOClockSource, name) == 16);
static_assert(sizeof(ASIOClockSource) == 48);

static_assert(offsetof(ASIOChannelInfo, isInput) == 4);
static_assert(offsetof(ASIOChannelInfo, isActive) == 8);
static_assert(offsetof(ASIOChannelInfo, channelGroup) == 12);
static_assert(offsetof(ASIOChannelInfo, type) == 16);
static_assert(offsetof(ASIOChannelInfo, name) == 20);
static_assert(sizeof(ASIOChannelInfo) == 52);

static_assert(offsetof(ASIOBufferInfo, channelNum) == 4);
static_assert(offsetof(ASIOBufferInfo, buffers) == 8);
static_assert(sizeof(ASIOBufferInfo) == 24);

static_assert(offsetof(ASIOTimeCode, timeCodeSamples) == 8);
static_assert(offsetof(ASIOTimeCode, flags) == 16);
static_assert(offsetof(ASIOTimeCode, future) == 20);
static_assert(sizeof(ASIOTimeCode) == 84);

static_assert(offsetof(AsioTimeInfo, systemTime) == 8);
static_assert(offsetof(AsioTimeInfo, samplePosition) == 16);
static_assert(offsetof(AsioTimeInfo, sampleRate) == 24);
static_assert(offsetof(AsioTimeInfo, flags) == 32);
static_assert(offsetof(AsioTimeInfo, reserved) == 36);
static_assert(sizeof(AsioTimeInfo) == 48);

static_assert(offsetof(ASIOTime, timeInfo) == 16);
static_assert(offsetof(ASIOTime, timeCode) == 64);
static_assert(sizeof(ASIOTime) == 148);

static_assert(offsetof(ASIOCallbacks, sampleRateDidChange) == 8);
static_assert(offsetof(ASIOCallbacks, asioMessage) == 16);
static_assert(offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 24);
static_assert(sizeof(ASIOCallbacks) == 32);

static_assert(sizeof(ASIOIoFormat) == 512);

// The driver object. Methods follow IUnknown's three in this order; a driver's
// table has 24 slots. On x64 there is one calling convention, so the methods
// need no explicit one. COM objects are destroyed through Release, never
// through this type, so the destructor is protected and not virtual (a virtual
// one would add slots to the table).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IASIO : public IUnknown {
  virtual ASIOBool init(void* sysHandle) = 0;
  virtual void getDriverName(char* name) = 0;  // at most 32 bytes
  virtual long getDriverVersion() = 0;
  virtual void getErrorMessage(char* string) = 0;  // at most 124 bytes
  virtual ASIOError start() = 0;
  virtual ASIOError stop() = 0;
  virtual ASIOError getChannels(long* numInputChannels, long* numOutputChannels) = 0;
  virtual ASIOError getLatencies(long* inputLatency, long* outputLatency) = 0;
  virtual ASIOError getBufferSize(long* minSize,
                                  long* maxSize,
                                  long* preferredSize,
                                  long* granularity) = 0;
  virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
  virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) = 0;
  virtual ASIOError setClockSource(long reference) = 0;
  virtual ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
  virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
  virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos,
                                  long numChannels,
                                  long bufferSize,
                                  ASIOCallbacks* callbacks) = 0;
  virtual ASIOError disposeBuffers() = 0;
  virtual ASIOError controlPanel() = 0;
  virtual ASIOError future(long selector, void* opt) = 0;
  virtual ASIOError outputReady() = 0;

 protected:
  ~IASIO() = default;
};
#pragma GCC diagnostic pop

// Slot numbers in the driver's table, for tests that call it by slot.
inline constexpr int kIASIOSlotInit = 3;
inline constexpr int kIASIOSlotCreateBuffers = 19;
inline constexpr int kIASIOSlotOutputReady = 23;
inline constexpr int kIASIOSlotCount = 24;
