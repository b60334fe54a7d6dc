// What "vxhost record" needs to know about one kind of source: an opener.
//
// The recorder (RecordCommand.cpp) owns everything that is the same for every
// source: the output file, the sink, the progress line and the ways a run
// stops (the user's --seconds or Ctrl+C, the sink's SourceEnded, the opener's
// end handle). An opener owns what is particular to its source: its options,
// whatever must exist before the plug-in's source opens (a pipe and a
// producer process, a driver choice), the parameter string, and the verdict
// on how its side of the run went. Each opener lives in its own file and is
// listed once in VxRecordSourceTable.cpp.
//
// Order of calls, all on the recorder's (main) thread:
//   ParseOption for each option the recorder does not know itself,
//   CheckOptions, InputFiles, Prepare, FactoryIndex, Parameters, (recording),
//   Finish after the plug-in's source has been deleted. The object is
//   destroyed last and releases whatever it still holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "live_Main/boundary/IVxAudioLive.h"

// How the run ended, as the recorder saw it.
struct VxRecordOutcome {
  bool userStopped = false;  // --seconds or Ctrl+C ended it
  bool sourceEnded = false;  // the sink received SourceEnded
  bool stalled = false;      // a steady-clock source stopped delivering
  int formats = 0;           // formats the sink accepted
  uint64_t bytes = 0;        // audio bytes the sink received
};

class VxRecordSource {
 public:
  virtual ~VxRecordSource() = default;

  // Takes the option at argv[i] and its value, advancing i past what it used.
  // False with `error` naming the option (and the bad value) otherwise.
  [[nodiscard]] virtual bool ParseOption(int argc, wchar_t** argv, int& i, std::wstring& error) = 0;
  // Checks the options together, after all of them were parsed.
  [[nodiscard]] virtual bool CheckOptions(std::wstring&) { return true; }
  // Files this run reads (full paths); the recorder refuses to write over one.
  virtual std::vector<std::wstring> InputFiles() const { return {}; }
  // Sets up what must exist before the plug-in's source is opened. `interrupt`
  // is the user's stop (Ctrl+C): a wait in here gives up when it is set.
  [[nodiscard]] virtual bool Prepare(HANDLE interrupt, std::wstring& error) = 0;
  // True when Prepare waits for something the user brings (a producer started
  // by hand): --seconds then limits that wait as well as the recording.
  virtual bool WaitsForUser() const { return false; }
  // The GetLivePlugin index of the source.
  virtual int32_t FactoryIndex() const = 0;
  // The parameter string for Open; called once, right before Open, with the
  // plug-in's source already created (a host may ask it for its stored
  // settings). Whatever the string names (a pipe handle) belongs to the
  // plug-in's source from then on, whether Open succeeds or not.
  virtual std::wstring Parameters(IVxAudioLive& source) = 0;
  // True when the source's blocks come from a sound card's clock, one every
  // buffer period while it runs: the recorder then treats a long gap as a
  // stalled stream and ends the recording. Sources whose audio may pause (a
  // producer, a loopback of nothing playing) answer false.
  virtual bool SteadyClock() const { return false; }
  // A handle that is signalled when the run should end from the source's side
  // though the sink did not say so; null when there is none.
  virtual HANDLE EndHandle() const { return nullptr; }
  // Judges the source's side of the run after the plug-in's source has been
  // deleted. False with `error` when it failed (a producer that failed or
  // vanished early); the recorder then exits non-zero.
  [[nodiscard]] virtual bool Finish(const VxRecordOutcome& outcome, std::wstring& error) = 0;
};

struct VxRecordSourceEntry {
  const wchar_t* name;     // --source NAME
  const wchar_t* summary;  // one line, for help
  const wchar_t* options;  // its option lines, for help (indented, one per line)
  std::unique_ptr<VxRecordSource> (*create)();
};

// The table of openers; the first entry is the default.
const std::vector<VxRecordSourceEntry>& VxRecordSources();

std::unique_ptr<VxRecordSource> CreateIpcRecordSource();
extern const wchar_t kIpcRecordOptions[];
std::unique_ptr<VxRecordSource> CreateLoopbackRecordSource();
extern const wchar_t kLoopbackRecordOptions[];
std::unique_ptr<VxRecordSource> CreateAsioRecordSource();
extern const wchar_t kAsioRecordOptions[];

// For ParseOption: the value after argv[i] (advancing i), or null with `error`
// saying that `argv[i]` needs one.
const wchar_t* VxRecordOptionValue(int argc, wchar_t** argv, int& i, std::wstring& error);
// For ParseOption: a whole number in [low, high], or false with `error` naming
// the option and the value.
[[nodiscard]] bool VxRecordParseInt(const wchar_t* option,
                                    const wchar_t* text,
                                    long long low,
                                    long long high,
                                    long long& value,
                                    std::wstring& error);
