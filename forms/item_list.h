// What list boxes and drop-down lists have in common: items of text, a
// current item, and owner-drawn items that handlers measure and paint.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "forms/canvas.h"
#include "forms/control.h"

namespace forms {

// Owner-drawn items: the handler gets a canvas prepared for the item's
// state, as the list draws its focus rectangle itself afterwards.
struct DrawItemArgs {
  int index;
  RECT rect;
  Canvas& canvas;
  bool selected;
  bool focused;
  bool is_face;  // the closed face of a drop-down list
};
using MeasureItemHandler = std::function<void(int index, int& height)>;
using DrawItemHandler = std::function<void(DrawItemArgs&)>;

class ItemList : public WinControl {
 public:
  int Count() const;
  int Add(const std::string& text);
  void Delete(int index);
  void Clear();
  // Makes room for `more` items to come at once: adding them then does not
  // grow the list's storage over and over.
  void Reserve(int more);
  std::string Item(int index) const;
  // The current item: for a multi-select list the caret item.
  int ItemIndex() const;
  // Selects by program: no change event follows.
  void SetItemIndex(int index);
  void SetHorizontalExtent(int width);
  int HorizontalExtent() const;

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 protected:
  // The messages of the system class that reach its items.
  struct ItemMessages {
    UINT count, add, remove, reset, text_length, text, current, set_current, extent, set_extent, init_storage;
  };
  static const ItemMessages kListBoxMessages;
  static const ItemMessages kComboBoxMessages;

  ItemList(Window* parent, const ItemMessages& messages) : WinControl(parent), messages_(messages) {}

  // Paints one item: an existing one with OnDrawItem (plain text without
  // it) on a canvas prepared for its state, then the focus rectangle.
  virtual void DrawItem(const DRAWITEMSTRUCT& dis);
  // Where no item is: an empty list's focus, a face without a selection.
  virtual void DrawNoItem(const DRAWITEMSTRUCT&) {}

  // Asked for each item's height: also while the window is being made, so
  // a fixed height must be in place before creation.
  MeasureItemHandler OnMeasureItem;
  DrawItemHandler OnDrawItem;

 private:
  ItemMessages messages_;
};

}  // namespace forms
