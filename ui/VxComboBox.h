// VxComboBox: a native drop-down list whose items carry a text, shown to the
// user, and a key, which the program selects by and reads back.
// Items are added after the control exists; keys compare exactly.
// Windows only.
#pragma once

#include <vector>

#include "ui/VxControl.h"

class VxComboBox : public VxControl {
 public:
  struct Item {
    VxString text;
    VxString key;
  };

  void AddItem(const VxString& text, const VxString& key);
  int ItemCount() const { return static_cast<int>(items_.size()); }
  const Item& ItemAt(int index) const { return items_[static_cast<size_t>(index)]; }

  // Selects the first item whose key equals `key`, or clears the selection
  // when none does; answers whether an item is selected.
  bool SelectKey(const VxString& key);
  void SelectIndex(int index);
  // -1 when nothing is selected.
  int SelectedIndex() const;
  // The selected item's key; empty when nothing is selected.
  VxString SelectedKey() const;

  // The closed height (the selection field), measured from the native control.
  SIZE GetPreferredSize(int wrapWidth) const override;
  // `height` is the closed height; the open list hangs below it.
  void SetBounds(int x, int y, int width, int height) override;

 protected:
  const wchar_t* NativeClass() const override { return L"COMBOBOX"; }
  DWORD NativeStyle() const override {
    return WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
  }
  bool WantsDialogKeys() const override;

 private:
  std::vector<Item> items_;
};
