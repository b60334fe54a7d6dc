// One run of "vxhost record": opens the output, lets the source's opener
// (VxRecordSource.h) set up and name the parameter string, opens the
// plug-in's source with its own sink, writes what the sink receives to the WAV
// file, prints progress once a second, and stops on the sink's SourceEnded,
// the opener's end handle, --seconds or Ctrl+C. The source is then deleted the
// way the host deletes it, and a summary tells what arrived and how loud each
// channel was. A source that refuses to open is reported with the lines it
// wrote to the host log during the attempt.
#pragma once

#include <memory>
#include <string>

#include "reference/host/VxRecordSource.h"

struct VxRecordOptions {
  std::wstring output;  // full path
  const VxRecordSourceEntry* entry = nullptr;
  std::unique_ptr<VxRecordSource> source;
  double seconds = 0;  // 0: until the stream ends or Ctrl+C
  bool quiet = false;
  bool stats = false;  // progress lines carry the process's own figures
};

// Runs the recording; returns the exit code (0 ended or stopped by the user,
// 1 failed). Messages go to stderr prefixed "record: ".
int VxRecord(VxRecordOptions& options);
