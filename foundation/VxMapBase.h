// VxMapBase: the untyped part of the module's chained hash maps (bucket array,
// counts, rehashing, iteration order); VxMap adds typed nodes and lookups.
//
// Layout, in field order: pair count, bucket count (0 until the first
// insertion, then 7, 15, 31, ... = 2^k - 1), node pool (null when nodes are
// allocated one by one, as in every map of this module) and the bucket array,
// one singly linked chain per bucket.
//
// Virtual operations, in slot order: destructor, ReleaseNode (gives a node's
// memory back), BucketIndex (bucket of a node under the current bucket count),
// NodeSize, Hash (of a key), KeysEqual, DestroyNode (ends a node's contents),
// NewNode (memory for one node).
//
// Order is observable, because every writer walks the map: iteration runs over
// the buckets from 0 upward, each chain from head to tail. New nodes go to the
// tail of their chain. Before an insertion that would make count exceed
// 2 * buckets + 2 (or into a map without buckets) the map is rehashed for
// count + 1 pairs: the bucket count becomes p - 1, where p is 8 below 8 pairs
// and otherwise the smallest power of two that is at least 16 and greater than
// the pair count. Rehashing walks the old buckets from 0 upward, each chain
// from its head, and pushes every node onto the head of its new chain. Removal
// never shrinks the table. Not copyable; not locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class VxMapBase {
 public:
  struct NodeBase {
    NodeBase* next;
  };

  VxMapBase() = default;
  VxMapBase(const VxMapBase&) = delete;
  VxMapBase& operator=(const VxMapBase&) = delete;
  // Derived maps free their nodes (RemoveAll) in their own destructor, while
  // their node operations still exist.
  virtual ~VxMapBase();
  virtual void ReleaseNode(NodeBase* node) = 0;
  virtual int32_t BucketIndex(const NodeBase* node) const = 0;
  virtual size_t NodeSize() const = 0;
  virtual uint32_t Hash(std::u16string_view key) const = 0;
  virtual bool KeysEqual(std::u16string_view a, std::u16string_view b) const = 0;
  virtual void DestroyNode(NodeBase* node) = 0;
  virtual NodeBase* NewNode() = 0;

  // Bucket count that a rehash for `pairs` pairs produces.
  static int32_t BucketCountFor(int32_t pairs);

  int32_t Count() const { return count_; }
  int32_t BucketCount() const { return bucketCount_; }

 protected:
  // Rehashes first when inserting one more pair calls for it.
  void PrepareInsert();
  // Appends `node` at the tail of the chain of `hash`.
  void LinkAtTail(NodeBase* node, uint32_t hash);
  NodeBase*& Head(uint32_t hash) const {
    return buckets_[hash % static_cast<uint32_t>(bucketCount_)];
  }
  // Unlinks the node that `link` points at, destroys and releases it.
  void Unlink(NodeBase** link);
  // Destroys and releases every node and the bucket array.
  void RemoveAll();

  template <typename F>
  void ForEachNodeBase(F&& f) const {
    for (int32_t b = 0; b < bucketCount_; ++b)
      for (const NodeBase* n = buckets_[b]; n; n = n->next)
        f(n);
  }

 private:
  void Rehash(int32_t pairs);

  int32_t count_ = 0;
  int32_t bucketCount_ = 0;
  [[maybe_unused]] void* nodePool_ = nullptr;
  NodeBase** buckets_ = nullptr;
};
