/* VxLiveHost.h: what a host needs to use VxLive.dll, in C or C++, with no
 * other header of the plug-in.
 *
 * The plug-in's objects cross the module boundary as tables of function
 * pointers called by slot number, with the object first (the x64 Windows
 * convention passes it where a C++ member function gets `this`). A host
 * reaches a source through VxLiveSource::table and hands the source a sink
 * whose first member points to a table the host fills in itself.
 *
 * Using a source, all on the host's one calling thread:
 *   1. LoadLibraryW the plug-in from the host folder (the host's tools
 *      library VxTools.dll must be loadable from there too) and look up
 *      VX_LIVE_FACTORY_EXPORT.
 *   2. factory(index, &source): 0 the ASIO input, 1 the loopback input, 2 the
 *      IPC input; -1 and a null source for any other index.
 *   3. GetInfo(source, 0, buffer of VX_LIVE_INFO_CHARS wide characters): the
 *      source's name, which also names its registration key.
 *   4. Open(source, parameters, sink) once: 0 when the stream runs. The sink's
 *      SetFormat comes before the first Write; Write is called from the
 *      source's own thread with interleaved frames in the last accepted
 *      format, never from two threads at once.
 *   5. Delete(source, 1) stops the stream and frees the source. It returns
 *      once no further sink call can come; never call it from inside a sink
 *      call.
 * Nothing here throws; a failing call answers -1. */
#ifndef VX_LIVE_HOST_H
#define VX_LIVE_HOST_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The exports of VxLive.dll, looked up by these names. */
#define VX_LIVE_FACTORY_EXPORT "GetLivePlugin"
#define VX_LIVE_REGISTER_EXPORT "DllRegisterServer"
/* Factory indices. */
#define VX_LIVE_SOURCE_ASIO 0
#define VX_LIVE_SOURCE_LOOPBACK 1
#define VX_LIVE_SOURCE_IPC 2
/* GetInfo codes: 0 the name into a buffer of VX_LIVE_INFO_CHARS wide
 * characters; 1 and 2 answer fixed numbers and write nothing; 3 (the ASIO
 * source) the stored settings as an Open parameter string. */
#define VX_LIVE_INFO_NAME 0
#define VX_LIVE_INFO_SETTINGS 3
#define VX_LIVE_INFO_CHARS 1024
/* DllRegisterServer writes one key per source below the root of the host's
 * settings store: VX_LIVE_REGISTRATION_KEY "\" name, with the integer values
 * "IVersion" (1) and "Index" (the factory index) and the texts "Company",
 * "Path" (the module's full path), "Version", "URL", "Copyright" and
 * "Description". */
#define VX_LIVE_REGISTRATION_KEY L"Plugins\\Live"

/* A GUID in the platform's layout. */
typedef struct VxLiveGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
} VxLiveGuid;

#pragma pack(push, 1)
/* One channel of the stream: present 1, speaker its speaker code; the
 * low-frequency channel has level 10.0. Entries past the channel count are
 * zero. */
typedef struct VxLiveChannelMapEntry {
  uint32_t speaker;
  uint8_t present;
  uint8_t zero[3];
  float level;
  uint8_t unused[32];
} VxLiveChannelMapEntry;

/* The stream format record SetFormat hands the sink: 2860 bytes, no padding.
 * The first 40 bytes are the platform's extensible wave format, so the record
 * serves wherever WAVEFORMATEXTENSIBLE is expected. Samples are float when
 * bit 2 (VX_LIVE_FLAG_INTEGER) of sampleFlags is clear. */
typedef struct VxLiveFormat {
  uint16_t formatTag; /* 1 PCM, 3 float, 0xFFFE extensible */
  uint16_t channels;
  uint32_t sampleRate;
  uint32_t bytesPerSecond;
  uint16_t blockAlign; /* bytes of one frame */
  uint16_t bitsPerSample;
  uint16_t extensionSize; /* 22 with an extensible header, else 0 */
  uint16_t validBitsPerSample;
  uint32_t channelMask;
  VxLiveGuid subFormat;
  VxLiveChannelMapEntry channelMap[64];
  uint32_t sampleFlags;
} VxLiveFormat;
#pragma pack(pop)

#define VX_LIVE_FLAG_INTEGER 4u

typedef struct VxLiveSource VxLiveSource;
typedef struct VxLiveSink VxLiveSink;

/* The source's table, in slot order. */
typedef struct VxLiveSourceTable {
  /* Slot 0: the scalar deleting destructor; flags 1 frees the object.
   * Returns the object pointer. */
  void* (*Delete)(VxLiveSource* self, unsigned int flags);
  /* Slot 1: starts the stream with a parameter string of key=value pairs
   * joined by '&' (ASIO: "deviceid=", "samplerate=", "channels=",
   * "channelshift="; IPC: "pipe=" a pipe handle in hex, "streaming="; the
   * loopback source reads none). 0 success, -1 failure. */
  int32_t (*Open)(VxLiveSource* self, const wchar_t* parameters, VxLiveSink* sink);
  /* Slot 2: see the VX_LIVE_INFO codes; -1 for an unknown code. */
  int32_t (*GetInfo)(VxLiveSource* self, int32_t code, void* buffer);
  /* Slot 3: -1. */
  int32_t (*Reserved)(VxLiveSource* self, int32_t code, void* argument);
  /* Slot 4: code 0 shows the ASIO settings dialog modally over `parent` (a
   * window of the calling thread) and answers 0; -1 otherwise. */
  int32_t (*Configure)(VxLiveSource* self, int32_t code, void* parent);
} VxLiveSourceTable;

struct VxLiveSource {
  const VxLiveSourceTable* table;
};

/* The sink's table, filled in by the host, in slot order. */
typedef struct VxLiveSinkTable {
  /* Slot 0: 0 accepts the format; anything else refuses it. */
  int32_t (*SetFormat)(VxLiveSink* self, const VxLiveFormat* format);
  /* Slot 1: `bytes` bytes of whole frames; `flag` is one byte (IPC: the
   * producer waits for a reply). */
  void (*Write)(VxLiveSink* self, const void* data, int32_t bytes, uint8_t flag);
  /* Slot 2: the source's side ended the stream (IPC). */
  void (*SourceEnded)(VxLiveSink* self);
} VxLiveSinkTable;

/* A host's sink starts with its table pointer; the host may put its own data
 * after it. */
struct VxLiveSink {
  const VxLiveSinkTable* table;
};

typedef int32_t (*VxLiveFactory)(int32_t index, VxLiveSource** out);
typedef long (*VxLiveRegisterServer)(void);

#ifdef __cplusplus
}
#define VX_LIVE_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define VX_LIVE_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

VX_LIVE_STATIC_ASSERT(sizeof(VxLiveGuid) == 16, "GUID layout");
VX_LIVE_STATIC_ASSERT(sizeof(VxLiveChannelMapEntry) == 44, "channel map entry layout");
VX_LIVE_STATIC_ASSERT(sizeof(VxLiveFormat) == 2860, "format record size");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveFormat, sampleRate) == 4, "format record layout");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveFormat, blockAlign) == 12, "format record layout");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveFormat, channelMask) == 20, "format record layout");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveFormat, subFormat) == 24, "format record layout");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveFormat, channelMap) == 40, "format record layout");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveFormat, sampleFlags) == 2856, "format record layout");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveSourceTable, Configure) == 4 * sizeof(void*), "slot order");
VX_LIVE_STATIC_ASSERT(offsetof(VxLiveSinkTable, SourceEnded) == 2 * sizeof(void*), "slot order");

#endif
