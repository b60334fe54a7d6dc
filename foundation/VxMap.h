// VxMap: typed nodes and lookups over VxMapBase.
//
// Template arguments: the stored key type, the key argument type of lookups,
// the value type, the value argument type and whether keys fold case. A node
// is: next, key, value. Nodes are allocated one by one (the base's node pool
// stays null). Hash and KeysEqual are left to the concrete map. Not locked.
#pragma once

#include <new>
#include <utility>

#include "foundation/VxMapBase.h"

template <typename Key, typename KeyArg, typename Value, typename ValueArg, int kFoldCase>
class VxMap : public VxMapBase {
 public:
  struct Node : NodeBase {
    Key key;
    Value value;
  };

  ~VxMap() override { RemoveAll(); }

  void ReleaseNode(NodeBase* node) override { ::operator delete(static_cast<void*>(node)); }
  int32_t BucketIndex(const NodeBase* node) const override {
    return static_cast<int32_t>(Hash(static_cast<const Node*>(node)->key) %
                                static_cast<uint32_t>(BucketCount()));
  }
  size_t NodeSize() const override { return sizeof(Node); }
  void DestroyNode(NodeBase* node) override { static_cast<Node*>(node)->~Node(); }
  NodeBase* NewNode() override { return static_cast<NodeBase*>(::operator new(NodeSize())); }

  Node* Find(KeyArg key) const {
    if (BucketCount() == 0)
      return nullptr;
    for (NodeBase* n = Head(Hash(key)); n; n = n->next)
      if (KeysEqual(static_cast<Node*>(n)->key, key))
        return static_cast<Node*>(n);
    return nullptr;
  }

  // Inserts `key` or replaces its value in place.
  void Set(KeyArg key, ValueArg value) {
    const uint32_t hash = Hash(key);
    if (BucketCount() != 0) {
      for (NodeBase* n = Head(hash); n; n = n->next) {
        if (KeysEqual(static_cast<Node*>(n)->key, key)) {
          static_cast<Node*>(n)->value.assign(value);
          return;
        }
      }
    }
    PrepareInsert();
    void* memory = NewNode();
    Node* node = ::new (memory) Node{{nullptr}, Key(key), Value(value)};
    LinkAtTail(node, hash);
  }

  // Unlinks, destroys and releases the pair; false when the key is absent.
  bool Remove(KeyArg key) {
    if (BucketCount() == 0)
      return false;
    for (NodeBase** link = &Head(Hash(key)); *link; link = &(*link)->next) {
      if (KeysEqual(static_cast<Node*>(*link)->key, key)) {
        Unlink(link);
        return true;
      }
    }
    return false;
  }

  // f(const Node&) for every pair in iteration order.
  template <typename F>
  void ForEachNode(F&& f) const {
    ForEachNodeBase([&](const NodeBase* n) { f(*static_cast<const Node*>(n)); });
  }
};
