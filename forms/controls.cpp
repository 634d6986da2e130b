#include "forms/controls.h"

#include <windowsx.h>

#include <vector>

namespace forms {

namespace {

std::string SendText(HWND hwnd, UINT len_msg, UINT text_msg, int index) {
  LRESULT n = ::SendMessageA(hwnd, len_msg, static_cast<WPARAM>(index), 0);
  if (n < 0) return {};
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  LRESULT got = ::SendMessageA(hwnd, text_msg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data()));
  if (got < 0) return {};
  return std::string(buf.data(), static_cast<size_t>(got));
}

// Prepares an owner-drawn item's canvas the way the list would draw it:
// its font, and highlight colours for a selected item.
void DrawOwnerItem(const DRAWITEMSTRUCT& dis, HFONT font, int index, bool is_face,
                   const DrawItemHandler& handler, const std::string& text) {
  Canvas canvas(dis.hDC);
  canvas.SetFont(font);
  const bool selected = (dis.itemState & ODS_SELECTED) != 0;
  canvas.SetBrushColor(::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  canvas.SetFontColor(::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  DrawItemArgs args{index, dis.rcItem, canvas, selected, (dis.itemState & ODS_FOCUS) != 0, is_face};
  if (handler) {
    handler(args);
  } else {
    canvas.FillRect(dis.rcItem);
    canvas.TextOut(dis.rcItem.left + 2, dis.rcItem.top, text);
  }
}

}  // namespace

// ---- Button -----------------------------------------------------------------

Button::Button(Window* parent, int x, int y, int width, int height, const std::string& caption,
               bool is_default)
    : WinControl(parent) {
  CreateChild("BUTTON", WS_VISIBLE | WS_TABSTOP | (is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, x, y,
              width, height, caption);
}

void Button::Click() {
  if (Enabled() && OnClick) OnClick();
}

bool Button::OnReflect(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
    if (OnClick) OnClick();
    result = 0;
    return true;
  }
  return false;
}

// ---- Edit -------------------------------------------------------------------

Edit::Edit(Window* parent, int x, int y, int width, int height) : WinControl(parent) {
  CreateChild("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, x, y, width, height);
  // No length limit of the edit's own beyond the system's.
  ::SendMessageA(Handle(), EM_SETLIMITTEXT, 0, 0);
}

// ---- Panel ------------------------------------------------------------------

Panel::Panel(Window* parent, int x, int y, int width, int height, Bevel outer)
    : WinControl(parent), outer_(outer) {
  CreateParams p;
  p.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  p.ex_style = WS_EX_CONTROLPARENT;
  p.x = x;
  p.y = y;
  p.width = width;
  p.height = height;
  p.parent = parent->Handle();
  p.menu_or_id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id()));
  CreateHandle(p);
}

LRESULT Panel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle(), &ps);
    RECT r;
    ::GetClientRect(Handle(), &r);
    if (outer_ != Bevel::None) ::DrawEdge(dc, &r, outer_ == Bevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
    PaintGraphics(dc, ps.rcPaint);
    ::EndPaint(Handle(), &ps);
    return 0;
  }
  return WinControl::WndProc(msg, wp, lp);
}

// ---- ListBox ----------------------------------------------------------------

ListBox::ListBox(Window* parent, int x, int y, int width, int height, Options options)
    : WinControl(parent), options_(options) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
  if (options.horizontal_scroll) style |= WS_HSCROLL;
  if (options.owner_draw_variable) style |= LBS_OWNERDRAWVARIABLE;
  if (options.extended_select) style |= LBS_EXTENDEDSEL;
  CreateChild("LISTBOX", style, WS_EX_CLIENTEDGE, x, y, width, height);
}

int ListBox::Count() const { return static_cast<int>(::SendMessageA(Handle(), LB_GETCOUNT, 0, 0)); }

int ListBox::Add(const std::string& text) {
  return static_cast<int>(::SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void ListBox::Delete(int index) { ::SendMessageA(Handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0); }

void ListBox::Clear() { ::SendMessageA(Handle(), LB_RESETCONTENT, 0, 0); }

std::string ListBox::Item(int index) const { return SendText(Handle(), LB_GETTEXTLEN, LB_GETTEXT, index); }

int ListBox::ItemIndex() const {
  if (options_.extended_select) return static_cast<int>(::SendMessageA(Handle(), LB_GETCARETINDEX, 0, 0));
  return static_cast<int>(::SendMessageA(Handle(), LB_GETCURSEL, 0, 0));
}

void ListBox::SetItemIndex(int index) {
  if (options_.extended_select)
    ::SendMessageA(Handle(), LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
  else
    ::SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool ListBox::Selected(int index) const {
  return ::SendMessageA(Handle(), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

void ListBox::SetSelected(int index, bool selected) {
  if (options_.extended_select)
    ::SendMessageA(Handle(), LB_SETSEL, selected, static_cast<LPARAM>(index));
  else if (selected)
    ::SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ListBox::SelCount() const {
  if (!options_.extended_select) return ItemIndex() >= 0 ? 1 : 0;
  return static_cast<int>(::SendMessageA(Handle(), LB_GETSELCOUNT, 0, 0));
}

int ListBox::TopIndex() const { return static_cast<int>(::SendMessageA(Handle(), LB_GETTOPINDEX, 0, 0)); }

void ListBox::SetTopIndex(int index) { ::SendMessageA(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(index), 0); }

void ListBox::SetHorizontalExtent(int width) {
  ::SendMessageA(Handle(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
}

int ListBox::HorizontalExtent() const {
  return static_cast<int>(::SendMessageA(Handle(), LB_GETHORIZONTALEXTENT, 0, 0));
}

RECT ListBox::ItemRect(int index) const {
  RECT r{0, 0, 0, 0};
  ::SendMessageA(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return r;
}

void ListBox::SetShowHint(bool on) {
  if (!hint_) hint_ = std::make_unique<forms::Hint>(Handle());
  hint_->SetActive(on);
}

bool ListBox::ShowHint() const { return hint_ && hint_->Active(); }

void ListBox::SetHint(const std::string& text) {
  if (!hint_) hint_ = std::make_unique<forms::Hint>(Handle());
  hint_->SetText(text);
}

std::string ListBox::Hint() const { return hint_ ? hint_->Text() : std::string(); }

bool ListBox::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  if (msg == WM_MEASUREITEM) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    int height = static_cast<int>(mis->itemHeight);
    if (OnMeasureItem) OnMeasureItem(static_cast<int>(mis->itemID), height);
    mis->itemHeight = static_cast<UINT>(height);
    result = TRUE;
    return true;
  }
  if (msg == WM_DRAWITEM) {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    const int index = static_cast<int>(dis->itemID);
    if (index >= 0 && index < Count()) DrawOwnerItem(*dis, Font(), index, false, OnDrawItem, Item(index));
    if (dis->itemState & ODS_FOCUS) ::DrawFocusRect(dis->hDC, &dis->rcItem);
    result = TRUE;
    return true;
  }
  return false;
}

// ---- ComboBox ---------------------------------------------------------------

ComboBox::ComboBox(Window* parent, int x, int y, int width, int drop_height, int item_height)
    : WinControl(parent) {
  // The face's height is asked for while the window is made: the handler
  // and the item height must be in place before creation.
  OnMeasureItem = [item_height](int, int& h) { h = item_height; };
  CreateChild("COMBOBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS,
              0, x, y, width, drop_height);
}

int ComboBox::Count() const { return static_cast<int>(::SendMessageA(Handle(), CB_GETCOUNT, 0, 0)); }

int ComboBox::Add(const std::string& text) {
  return static_cast<int>(::SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void ComboBox::Delete(int index) { ::SendMessageA(Handle(), CB_DELETESTRING, static_cast<WPARAM>(index), 0); }

void ComboBox::Clear() { ::SendMessageA(Handle(), CB_RESETCONTENT, 0, 0); }

std::string ComboBox::Item(int index) const { return SendText(Handle(), CB_GETLBTEXTLEN, CB_GETLBTEXT, index); }

int ComboBox::ItemIndex() const { return static_cast<int>(::SendMessageA(Handle(), CB_GETCURSEL, 0, 0)); }

void ComboBox::SetItemIndex(int index) { ::SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

bool ComboBox::DroppedDown() const { return ::SendMessageA(Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0; }

bool ComboBox::OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_MEASUREITEM) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    int height = static_cast<int>(mis->itemHeight);
    if (OnMeasureItem) OnMeasureItem(static_cast<int>(mis->itemID), height);
    mis->itemHeight = static_cast<UINT>(height);
    result = TRUE;
    return true;
  }
  if (msg == WM_DRAWITEM) {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    const int index = static_cast<int>(dis->itemID);
    const bool face = (dis->itemState & ODS_COMBOBOXEDIT) != 0;
    if (index >= 0 && index < Count()) {
      DrawOwnerItem(*dis, Font(), index, face, OnDrawItem, Item(index));
    } else {
      // A face without a selection is only filled.
      Canvas canvas(dis->hDC);
      canvas.SetBrushColor(::GetSysColor(COLOR_WINDOW));
      canvas.FillRect(dis->rcItem);
    }
    if (dis->itemState & ODS_FOCUS) ::DrawFocusRect(dis->hDC, &dis->rcItem);
    result = TRUE;
    return true;
  }
  if (msg == WM_COMMAND && HIWORD(wp) == CBN_SELCHANGE) {
    if (OnChange) OnChange();
    result = 0;
    return true;
  }
  return false;
}

// ---- CheckListBox -----------------------------------------------------------

CheckListBox::CheckListBox(Window* parent, int x, int y, int width, int height, int item_height)
    : WinControl(parent), item_height_(item_height) {
  CreateChild("LISTBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                  LBS_HASSTRINGS | LBS_OWNERDRAWFIXED,
              WS_EX_CLIENTEDGE, x, y, width, height);
}

int CheckListBox::Count() const { return static_cast<int>(::SendMessageA(Handle(), LB_GETCOUNT, 0, 0)); }

int CheckListBox::Add(const std::string& text) {
  return static_cast<int>(::SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

void CheckListBox::Clear() { ::SendMessageA(Handle(), LB_RESETCONTENT, 0, 0); }

std::string CheckListBox::Item(int index) const { return SendText(Handle(), LB_GETTEXTLEN, LB_GETTEXT, index); }

bool CheckListBox::Checked(int index) const {
  return ::SendMessageA(Handle(), LB_GETITEMDATA, static_cast<WPARAM>(index), 0) == 1;
}

void CheckListBox::SetChecked(int index, bool checked) {
  ::SendMessageA(Handle(), LB_SETITEMDATA, static_cast<WPARAM>(index), checked ? 1 : 0);
  RECT r;
  if (::SendMessageA(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)) != LB_ERR)
    ::InvalidateRect(Handle(), &r, FALSE);
}

void CheckListBox::Toggle(int index) {
  if (index >= 0 && index < Count()) SetChecked(index, !Checked(index));
}

int CheckListBox::ItemIndex() const { return static_cast<int>(::SendMessageA(Handle(), LB_GETCURSEL, 0, 0)); }

void CheckListBox::SetItemIndex(int index) { ::SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0); }

void CheckListBox::SetHorizontalExtent(int width) {
  ::SendMessageA(Handle(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
}

int CheckListBox::HorizontalExtent() const {
  return static_cast<int>(::SendMessageA(Handle(), LB_GETHORIZONTALEXTENT, 0, 0));
}

LRESULT CheckListBox::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
    // A click on a row's box flips its check.
    const int x = GET_X_LPARAM(lp);
    LRESULT hit = ::SendMessageA(Handle(), LB_ITEMFROMPOINT, 0, lp);
    LRESULT result = WinControl::WndProc(msg, wp, lp);
    if (HIWORD(hit) == 0 && x < item_height_ + 2) Toggle(LOWORD(hit));
    return result;
  }
  if (msg == WM_CHAR && wp == ' ') {
    Toggle(ItemIndex());
    return 0;
  }
  return WinControl::WndProc(msg, wp, lp);
}

bool CheckListBox::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  if (msg == WM_MEASUREITEM) {
    reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = static_cast<UINT>(item_height_);
    result = TRUE;
    return true;
  }
  if (msg == WM_DRAWITEM) {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    const int index = static_cast<int>(dis->itemID);
    Canvas canvas(dis->hDC);
    canvas.SetBrushColor(::GetSysColor(COLOR_WINDOW));
    canvas.FillRect(dis->rcItem);
    if (index >= 0 && index < Count()) {
      const int box = item_height_;
      RECT br{dis->rcItem.left + 1, dis->rcItem.top, dis->rcItem.left + 1 + box, dis->rcItem.top + box};
      ::DrawFrameControl(dis->hDC, &br, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (Checked(index) ? DFCS_CHECKED : 0));
      RECT tr = dis->rcItem;
      tr.left += box + 3;
      const bool selected = (dis->itemState & ODS_SELECTED) != 0;
      canvas.SetBrushColor(::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
      canvas.SetFontColor(::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
      canvas.SetFont(Font());
      canvas.FillRect(tr);
      canvas.TextOut(tr.left + 1, tr.top, Item(index));
      if (dis->itemState & ODS_FOCUS) ::DrawFocusRect(dis->hDC, &tr);
    }
    result = TRUE;
    return true;
  }
  return false;
}

// ---- ToolBar ----------------------------------------------------------------

ToolBar::ToolBar(Window* parent, int x, int y, int width, int height, int button_width, int button_height,
                 HIMAGELIST images)
    : WinControl(parent) {
  CreateChild(TOOLBARCLASSNAMEA,
              WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, x,
              y, width, height);
  ::SendMessageA(Handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageA(Handle(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
  int iw = 0, ih = 0;
  ImageList_GetIconSize(images, &iw, &ih);
  ::SendMessageA(Handle(), TB_SETBITMAPSIZE, 0, MAKELPARAM(iw, ih));
  ::SendMessageA(Handle(), TB_SETBUTTONSIZE, 0, MAKELPARAM(button_width, button_height));
}

int ToolBar::AddButton(int image, const std::string& hint, NotifyHandler on_click, MouseMoveHandler on_mouse_move) {
  int command = next_command_++;
  TBBUTTON b{};
  b.iBitmap = image;
  b.idCommand = command;
  b.fsState = TBSTATE_ENABLED;
  b.fsStyle = BTNS_BUTTON;
  ::SendMessageA(Handle(), TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&b));
  buttons_.push_back(ButtonInfo{command, hint, std::move(on_click), std::move(on_mouse_move)});
  return static_cast<int>(buttons_.size()) - 1;
}

RECT ToolBar::ButtonRect(int index) const {
  RECT r{0, 0, 0, 0};
  ::SendMessageA(Handle(), TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return r;
}

LRESULT ToolBar::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSEMOVE) {
    POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    for (size_t i = 0; i < buttons_.size(); ++i) {
      RECT r = ButtonRect(static_cast<int>(i));
      if (::PtInRect(&r, pt) && buttons_[i].on_mouse_move)
        buttons_[i].on_mouse_move(ShiftState::FromMouse(wp), pt.x - r.left, pt.y - r.top);
    }
  }
  return WinControl::WndProc(msg, wp, lp);
}

bool ToolBar::OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_COMMAND) {
    for (auto& b : buttons_) {
      if (b.command == LOWORD(wp)) {
        if (b.on_click) b.on_click();
        result = 0;
        return true;
      }
    }
  }
  if (msg == WM_NOTIFY) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr->code == TTN_GETDISPINFOA) {
      auto* info = reinterpret_cast<NMTTDISPINFOA*>(lp);
      for (auto& b : buttons_) {
        if (static_cast<UINT_PTR>(b.command) == hdr->idFrom) info->lpszText = const_cast<char*>(b.hint.c_str());
      }
      result = 0;
      return true;
    }
  }
  return false;
}

// ---- StatusBar --------------------------------------------------------------

StatusBar::StatusBar(Window* parent, int x, int y, int width, int height) : WinControl(parent) {
  CreateChild(STATUSCLASSNAMEA, WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, x, y, width,
              height);
  ::SendMessageA(Handle(), SB_SIMPLE, TRUE, 0);
}

void StatusBar::SetSimpleText(const std::string& text) {
  text_ = text;
  ::SendMessageA(Handle(), SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text_.c_str()));
}

}  // namespace forms
