// VxPropertyMap: the module's general key/value store. Keys match without
// regard to case (VxLower), values are text and keep their case; typed getters
// and setters convert numbers to and from text.
//
// Contract:
// - The object holds one field, an owned pointer to its VxStringMap, null while
//   the map is empty: the inner map is created by the first insertion and freed
//   by Clear and by a removal that empties it. An empty map allocates nothing.
// - Iteration order (ForEach, every writer, Assign, Merge, Equals) is the inner
//   map's: buckets from 0 upward, chains head to tail (see VxMapBase.h).
// - The virtual operations keep the order declared here; VxIpcPacket derives
//   from this class and reuses the table unchanged.
// - Getters fall back to their default only when the key is absent; a present
//   but non-numeric value converts to 0. Conversions are those of VxNumber.h.
// - Copying copies the pairs (Assign); moving transfers the inner map.
// - Not locked: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/VxString.h"
#include "foundation/VxStringMap.h"

class VxXmlDocument;

class VxPropertyMap {
 public:
  VxPropertyMap() = default;
  VxPropertyMap(const VxPropertyMap& other);
  VxPropertyMap(VxPropertyMap&& other) noexcept;
  VxPropertyMap& operator=(const VxPropertyMap& other);
  VxPropertyMap& operator=(VxPropertyMap&& other) noexcept;
  virtual ~VxPropertyMap();

  [[nodiscard]] virtual bool Contains(const VxString& key) const;
  // The value; when absent `defaultValue`, or empty text when it is null.
  virtual VxString& GetString(VxString& out,
                              const VxString& key,
                              const char16_t* defaultValue) const;
  [[nodiscard]] virtual int32_t GetInt(const VxString& key, int32_t defaultValue) const;
  [[nodiscard]] virtual int64_t GetInt64(const VxString& key, int64_t defaultValue) const;
  [[nodiscard]] virtual int64_t GetInt64Alt(const VxString& key, int64_t defaultValue) const;
  [[nodiscard]] virtual double GetDouble(const VxString& key, double defaultValue) const;
  // Hexadecimal value; a leading "0x" (lower-case x only) is skipped.
  [[nodiscard]] virtual uint64_t GetPointer(const VxString& key, uint64_t defaultValue) const;
  // An empty value with removeIfEmpty removes the key; otherwise insert or
  // replace in place.
  virtual void SetString(const VxString& key, const VxString& value, bool removeIfEmpty);
  virtual void SetInt(const VxString& key, int32_t value);
  virtual void SetInt64(const VxString& key, int64_t value);
  virtual void SetInt64Alt(const VxString& key, int64_t value);
  // Sixteen upper-case hexadecimal digits.
  virtual void SetPointer(const VxString& key, uint64_t value);
  // Automatic precision with ".", integral values without a decimal point.
  virtual void SetDouble(const VxString& key, double value);
  virtual void Clear();
  virtual void Remove(const VxString& key);
  // Clear, then insert every pair of `other` in its iteration order. Returns true.
  virtual bool Assign(const VxPropertyMap& other);
  // Insert or replace every pair of `other`. Returns true.
  virtual bool Merge(const VxPropertyMap& other);
  // Same count, and for every pair here other's GetString of the key equals the
  // value exactly (so an absent key matches an empty value).
  [[nodiscard]] virtual bool Equals(const VxPropertyMap& other) const;
  // Appends "(n:text)" tokens: the pair count, then key and value of each pair.
  // Without includePairs, or when empty, appends "(1:0)".
  virtual void WriteTokens(VxString& out, bool includePairs) const;
  // Clear, then read the token form at `position`, leaving `position` past the
  // last token read. A token that fails reads as empty text (and leaves the
  // position where it was); exactly the announced number of pairs is stored.
  virtual void ReadTokens(const VxString& in, size_t& position);
  virtual void ReadTokens(const VxString& in);
  // <rootName version="v.v">CRLF then one <Item Name="key">value</Item>CRLF per
  // pair, then </rootName>. Empty with onlyIfNotEmpty: empty text.
  virtual VxString& ToXml(VxString& out,
                          const VxString& rootName,
                          bool onlyIfNotEmpty,
                          double version) const;
  // Clear, then read the items under the first top-level element `rootName`
  // whose "version" attribute equals `version` numerically. Empty text: true.
  // False when there is no such element (the map is then empty).
  [[nodiscard]] virtual bool FromXml(const VxString& text,
                                     const VxString& rootName,
                                     double version);
  // Adds an "Item" element per pair at the document's current level.
  virtual void WriteXmlItems(VxXmlDocument& document) const;
  // Clear, then reads the "Item" elements at the document's current level.
  virtual void ReadXmlItems(VxXmlDocument& document);
  // out = concatenation of prefix + key + ": " + value + suffix per pair.
  virtual VxString& ToText(VxString& out, const VxString& prefix, const VxString& suffix) const;

  int Count() const { return map_ ? map_->Count() : 0; }
  bool IsEmpty() const { return map_ == nullptr; }
  // Bucket count of the inner map (0 when empty); for tests and diagnostics.
  int BucketCount() const { return map_ ? map_->BucketCount() : 0; }
  // Convenience: the value, or `defaultValue` (null: empty) when absent.
  VxString Get(const VxString& key, const char16_t* defaultValue = nullptr) const;
  // f(const VxString& key, const VxString& value) in iteration order.
  template <typename F>
  void ForEach(F&& f) const {
    if (map_)
      map_->ForEachNode([&](const VxStringMap::Node& n) { f(n.key, n.value); });
  }

 private:
  VxStringMap* map_ = nullptr;
};
