// ASIODriverList: the ASIO drivers installed on this machine, read once from
// the registry, and the one driver object loaded through it.
//
// A driver is listed when HKLM\software\asio\<key> has a "clsid" value whose
// class is registered under HKCR\clsid (letter case does not matter) with an
// InprocServer32 file that exists where the loader would find it (a bare name
// or relative path in the system's search folders; REG_EXPAND_SZ expanded).
// Records keep registry order; two keys with the same class ID give two
// records and loading always uses the first.
//
// Ownership: each record owns at most one reference to its driver object,
// released by RemoveCurrentDriver or when the list is destroyed.
// Threads: the host's thread only; LoadDriver needs COM initialised there.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "foundation/VxHandle.h"
#include "foundation/VxString.h"
#include "sources/asio/VxAsioInterface.h"

using VxAsioDriverPtr = VxComPtr<IASIO>;

struct ASIODriverRecord {
  static constexpr int kNameSize = 128;

  int32_t id = 0;             // position in the list
  GUID clsid = {};            // all zero when the registry text was not a class ID
  char name[kNameSize] = {};  // ANSI: "description", else the key's own name
  VxAsioDriverPtr driver;     // while loaded through this record
  std::unique_ptr<ASIODriverRecord> next;
};

class ASIODriverList {
 public:
  // Reads the registry; an unreadable "software\asio" gives an empty list.
  // Throws only when memory runs out.
  ASIODriverList();
  ~ASIODriverList();
  ASIODriverList(const ASIODriverList&) = delete;
  ASIODriverList& operator=(const ASIODriverList&) = delete;

  int32_t Count() const { return count_; }
  int32_t Current() const { return current_; }
  const ASIODriverRecord* First() const { return first_.get(); }
  const ASIODriverRecord* Record(int32_t id) const;

  // Creates the driver object of the first record with `clsid` (the class ID
  // serves as interface ID too) after releasing the current one. Null when no
  // record matches, the record already holds an object, or creation fails.
  // The record keeps the reference; the caller borrows it.
  IASIO* LoadDriver(const GUID& clsid) noexcept;
  // Releases the current record's driver object; Current() becomes -1.
  void RemoveCurrentDriver() noexcept;

 private:
  std::unique_ptr<ASIODriverRecord> first_;
  int32_t count_ = 0;
  int32_t current_ = -1;
};

// A driver's text (key names, values, getDriverName, getErrorMessage) read
// from the process's ANSI code page.
std::wstring VxAsioFromAnsi(const char* text);
// The record's name, read from the ANSI code page as every caller shows it.
VxString VxAsioDriverName(const ASIODriverRecord& record);
// The device ID: the class ID as 38 characters, braced, upper case.
VxString VxAsioDeviceId(const GUID& clsid);
// Reads the braced form, the same without braces, or anything the system's
// class ID parser accepts; every other text gives the all-zero GUID.
GUID VxAsioParseDeviceId(const VxString& text);
