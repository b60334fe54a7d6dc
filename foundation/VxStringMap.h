// VxStringMap: the chained hash map behind VxPropertyMap, keyed by text without
// regard to case.
//
// Layout, in field order: pair count, bucket count (0 until the first
// insertion, then 7, 15, 31, ... = 2^k - 1), a node pool (always null here:
// nodes are allocated one by one) and the bucket array, one singly linked chain
// per bucket. A node is: next, key, value.
//
// Order is observable, because every writer walks the map: iteration runs over
// the buckets from 0 upward, each chain from head to tail. A new key is
// appended at the tail of its chain; replacing a value keeps the node where it
// is. Before an insertion that would make count exceed 2 * buckets + 2 (or into
// a map without buckets) the map is rehashed for count + 1 pairs: the bucket
// count becomes p - 1, where p is 8 below 8 pairs and otherwise the smallest
// power of two that is at least 16 and greater than the pair count. Rehashing
// walks the old buckets from 0 upward, each chain from its head, and pushes
// every node onto the head of its new chain. Removal never shrinks the table.
//
// Hash: h = h * 65599 + lower(c) over the UTF-16 code units in unsigned 32-bit
// arithmetic, lower() being VxLower; keys are equal when they are equal code
// unit by code unit after lower().
//
// Owns its nodes and buckets. Not copyable (VxPropertyMap copies pair by pair);
// not locked.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/VxString.h"

class VxStringMap final {
 public:
  struct Node {
    Node* next;
    VxString key;
    VxString value;
  };

  VxStringMap() = default;
  ~VxStringMap();
  VxStringMap(const VxStringMap&) = delete;
  VxStringMap& operator=(const VxStringMap&) = delete;

  static uint32_t Hash(std::u16string_view key);
  static bool KeysEqual(std::u16string_view a, std::u16string_view b);
  // Bucket count that a rehash for `pairs` pairs produces.
  static int32_t BucketCountFor(int32_t pairs);

  int32_t Count() const { return count_; }
  int32_t BucketCount() const { return bucketCount_; }

  Node* Find(std::u16string_view key) const;
  // Inserts `key` or replaces its value in place.
  void Set(std::u16string_view key, std::u16string_view value);
  // Unlinks and frees the pair; false when the key is absent.
  bool Remove(std::u16string_view key);

  // f(const Node&) for every pair in iteration order.
  template <typename F>
  void ForEachNode(F&& f) const {
    for (int32_t b = 0; b < bucketCount_; ++b)
      for (const Node* n = buckets_[b]; n; n = n->next) f(*n);
  }
  // Index of the bucket that holds `node`.
  int32_t BucketOf(const Node& node) const { return static_cast<int32_t>(Hash(node.key) % static_cast<uint32_t>(bucketCount_)); }

 private:
  void Rehash(int32_t pairs);

  int32_t count_ = 0;
  int32_t bucketCount_ = 0;
  [[maybe_unused]] void* nodePool_ = nullptr;  // nodes are allocated one by one
  Node** buckets_ = nullptr;
};
