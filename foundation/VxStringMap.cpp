#include "foundation/VxStringMap.h"

#include <cwctype>

#include "foundation/VxCharTable.h"

namespace {

inline char16_t Fold(const char16_t* table, char16_t c) {
  return c < 256 ? table[c] : static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

}  // namespace

VxStringMap::~VxStringMap() {
  for (int32_t b = 0; b < bucketCount_; ++b) {
    Node* n = buckets_[b];
    while (n) {
      Node* next = n->next;
      delete n;
      n = next;
    }
  }
  delete[] buckets_;
}

uint32_t VxStringMap::Hash(std::u16string_view key) {
  const char16_t* table = VxLowerTable();
  uint32_t h = 0;
  for (char16_t c : key) h = h * 65599u + Fold(table, c);
  return h;
}

bool VxStringMap::KeysEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  const char16_t* table = VxLowerTable();
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && Fold(table, a[i]) != Fold(table, b[i])) return false;
  return true;
}

int32_t VxStringMap::BucketCountFor(int32_t pairs) {
  if (pairs < 8) return 7;
  int64_t p = 16;
  while (p <= pairs) p <<= 1;
  return static_cast<int32_t>(p - 1);
}

VxStringMap::Node* VxStringMap::Find(std::u16string_view key) const {
  if (bucketCount_ == 0) return nullptr;
  for (Node* n = buckets_[Hash(key) % static_cast<uint32_t>(bucketCount_)]; n; n = n->next)
    if (KeysEqual(n->key, key)) return n;
  return nullptr;
}

void VxStringMap::Set(std::u16string_view key, std::u16string_view value) {
  const uint32_t h = Hash(key);
  Node** link = nullptr;
  if (bucketCount_ != 0) {
    link = &buckets_[h % static_cast<uint32_t>(bucketCount_)];
    for (; *link; link = &(*link)->next) {
      if (KeysEqual((*link)->key, key)) {
        (*link)->value.assign(value);
        return;
      }
    }
  }
  Node* node = new Node{nullptr, VxString(key), VxString(value)};
  if (bucketCount_ == 0 || static_cast<int64_t>(count_) + 1 > 2 * static_cast<int64_t>(bucketCount_) + 2) {
    Rehash(count_ + 1);
    link = &buckets_[h % static_cast<uint32_t>(bucketCount_)];
    while (*link) link = &(*link)->next;
  }
  *link = node;
  ++count_;
}

bool VxStringMap::Remove(std::u16string_view key) {
  if (bucketCount_ == 0) return false;
  for (Node** link = &buckets_[Hash(key) % static_cast<uint32_t>(bucketCount_)]; *link; link = &(*link)->next) {
    Node* n = *link;
    if (KeysEqual(n->key, key)) {
      *link = n->next;
      delete n;
      --count_;
      return true;
    }
  }
  return false;
}

void VxStringMap::Rehash(int32_t pairs) {
  const int32_t newCount = BucketCountFor(pairs);
  Node** fresh = new Node*[static_cast<size_t>(newCount)]();
  for (int32_t b = 0; b < bucketCount_; ++b) {
    Node* n = buckets_[b];
    while (n) {
      Node* next = n->next;
      Node*& head = fresh[Hash(n->key) % static_cast<uint32_t>(newCount)];
      n->next = head;
      head = n;
      n = next;
    }
  }
  delete[] buckets_;
  buckets_ = fresh;
  bucketCount_ = newCount;
}
