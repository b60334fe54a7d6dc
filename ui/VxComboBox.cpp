#include "ui/VxComboBox.h"

#include "ui/VxDisplayScale.h"

void VxComboBox::AddItem(const VxString& text, const VxString& key) {
  if (!Exists())
    return;
  items_.push_back(Item{text, key});
  ::SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.Wide()));
}

bool VxComboBox::SelectKey(const VxString& key) {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].key == key) {
      SelectIndex(static_cast<int>(i));
      return true;
    }
  }
  SelectIndex(-1);
  return false;
}

void VxComboBox::SelectIndex(int index) {
  if (Exists())
    ::SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int VxComboBox::SelectedIndex() const {
  if (!Exists())
    return -1;
  const LRESULT index = ::SendMessageW(Handle(), CB_GETCURSEL, 0, 0);
  return index >= 0 && index < static_cast<LRESULT>(items_.size()) ? static_cast<int>(index) : -1;
}

VxString VxComboBox::SelectedKey() const {
  const int index = SelectedIndex();
  return index < 0 ? VxString() : items_[static_cast<size_t>(index)].key;
}

SIZE VxComboBox::GetPreferredSize(int wrapWidth) const {
  // The closed height follows the font and cannot be set; take what the
  // control has made of it.
  SIZE size{wrapWidth, TextHeight() + VxScalePixels(8)};
  RECT r{};
  if (Exists() && ::GetWindowRect(Handle(), &r) && r.bottom > r.top)
    size.cy = r.bottom - r.top;
  return size;
}

bool VxComboBox::WantsDialogKeys() const {
  // An open list takes Enter and Escape to close itself.
  return Exists() && ::SendMessageW(Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void VxComboBox::SetBounds(int x, int y, int width, int height) {
  VxControl::SetBounds(x, y, width, height + VxScalePixels(200));
}
