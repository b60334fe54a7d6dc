#include "foundation/VxMapBase.h"

VxMapBase::~VxMapBase() {
  delete[] buckets_;
}

int32_t VxMapBase::BucketCountFor(int32_t pairs) {
  if (pairs < 8)
    return 7;
  int64_t p = 16;
  while (p <= pairs)
    p <<= 1;
  return static_cast<int32_t>(p - 1);
}

void VxMapBase::PrepareInsert() {
  if (bucketCount_ == 0 ||
      static_cast<int64_t>(count_) + 1 > 2 * static_cast<int64_t>(bucketCount_) + 2)
    Rehash(count_ + 1);
}

void VxMapBase::LinkAtTail(NodeBase* node, uint32_t hash) {
  node->next = nullptr;
  NodeBase** link = &Head(hash);
  while (*link)
    link = &(*link)->next;
  *link = node;
  ++count_;
}

void VxMapBase::Unlink(NodeBase** link) {
  NodeBase* node = *link;
  *link = node->next;
  --count_;
  DestroyNode(node);
  ReleaseNode(node);
}

void VxMapBase::RemoveAll() {
  for (int32_t b = 0; b < bucketCount_; ++b) {
    NodeBase* n = buckets_[b];
    while (n) {
      NodeBase* next = n->next;
      DestroyNode(n);
      ReleaseNode(n);
      n = next;
    }
  }
  delete[] buckets_;
  buckets_ = nullptr;
  bucketCount_ = 0;
  count_ = 0;
}

void VxMapBase::Rehash(int32_t pairs) {
  NodeBase** old = buckets_;
  const int32_t oldCount = bucketCount_;
  bucketCount_ = BucketCountFor(pairs);
  buckets_ = new NodeBase*[static_cast<size_t>(bucketCount_)]();
  for (int32_t b = 0; b < oldCount; ++b) {
    NodeBase* n = old[b];
    while (n) {
      NodeBase* next = n->next;
      NodeBase*& head = buckets_[BucketIndex(n)];
      n->next = head;
      head = n;
      n = next;
    }
  }
  delete[] old;
}
