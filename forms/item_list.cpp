#include "forms/item_list.h"

#include <algorithm>

#include "base/wide_text.h"

namespace forms {

const ItemList::ItemMessages ItemList::kListBoxMessages{
    LB_GETCOUNT,  LB_ADDSTRING, LB_DELETESTRING,        LB_RESETCONTENT,        LB_GETTEXTLEN, LB_GETTEXT,
    LB_GETCURSEL, LB_SETCURSEL, LB_GETHORIZONTALEXTENT, LB_SETHORIZONTALEXTENT, LB_INITSTORAGE};
const ItemList::ItemMessages ItemList::kComboBoxMessages{
    CB_GETCOUNT,  CB_ADDSTRING, CB_DELETESTRING,        CB_RESETCONTENT,        CB_GETLBTEXTLEN, CB_GETLBTEXT,
    CB_GETCURSEL, CB_SETCURSEL, CB_GETHORIZONTALEXTENT, CB_SETHORIZONTALEXTENT, CB_INITSTORAGE};

int ItemList::Count() const { return static_cast<int>(::SendMessageW(Handle(), messages_.count, 0, 0)); }

int ItemList::Add(const std::string& text) {
  const std::wstring wide = mv::WideFromAnsi(text);
  return static_cast<int>(::SendMessageW(Handle(), messages_.add, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

void ItemList::Delete(int index) { ::SendMessageW(Handle(), messages_.remove, static_cast<WPARAM>(index), 0); }

void ItemList::Clear() { ::SendMessageW(Handle(), messages_.reset, 0, 0); }

void ItemList::Reserve(int more) {
  if (more > 0) ::SendMessageW(Handle(), messages_.init_storage, static_cast<WPARAM>(more), 0);
}

std::string ItemList::Item(int index) const {
  const LRESULT n = ::SendMessageW(Handle(), messages_.text_length, static_cast<WPARAM>(index), 0);
  if (n < 0) return {};
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const LRESULT got =
      ::SendMessageW(Handle(), messages_.text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  if (got < 0) return {};
  text.resize(std::min(static_cast<size_t>(got), static_cast<size_t>(n)));
  return mv::AnsiFromWide(text);
}

int ItemList::ItemIndex() const { return static_cast<int>(::SendMessageW(Handle(), messages_.current, 0, 0)); }

void ItemList::SetItemIndex(int index) {
  ::SendMessageW(Handle(), messages_.set_current, static_cast<WPARAM>(index), 0);
}

void ItemList::SetHorizontalExtent(int width) {
  ::SendMessageW(Handle(), messages_.set_extent, static_cast<WPARAM>(width), 0);
}

int ItemList::HorizontalExtent() const {
  return static_cast<int>(::SendMessageW(Handle(), messages_.extent, 0, 0));
}

bool ItemList::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  if (msg == WM_MEASUREITEM) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    int height = static_cast<int>(mis->itemHeight);
    if (OnMeasureItem) OnMeasureItem(static_cast<int>(mis->itemID), height);
    mis->itemHeight = static_cast<UINT>(height);
    result = TRUE;
    return true;
  }
  if (msg == WM_DRAWITEM) {
    DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
    result = TRUE;
    return true;
  }
  return false;
}

void ItemList::DrawItem(const DRAWITEMSTRUCT& dis) {
  const int index = static_cast<int>(dis.itemID);
  if (index >= 0 && index < Count()) {
    // The list's own font, and highlight colours for a selected item.
    Canvas canvas(dis.hDC);
    canvas.SetFont(Font());
    const bool selected = (dis.itemState & ODS_SELECTED) != 0;
    canvas.SetBrushColor(::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    canvas.SetFontColor(::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawItemArgs args{index, dis.rcItem, canvas, selected, (dis.itemState & ODS_FOCUS) != 0,
                      (dis.itemState & ODS_COMBOBOXEDIT) != 0};
    if (OnDrawItem) {
      OnDrawItem(args);
    } else {
      canvas.FillRect(dis.rcItem);
      canvas.TextOut(dis.rcItem.left + 2, dis.rcItem.top, Item(index));
    }
  } else {
    DrawNoItem(dis);
  }
  if (dis.itemState & ODS_FOCUS) ::DrawFocusRect(dis.hDC, &dis.rcItem);
}

}  // namespace forms
