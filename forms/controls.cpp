#include "forms/controls.h"

#include <windowsx.h>

#include "base/wide_text.h"

namespace forms {

// ---- Button -----------------------------------------------------------------

Button::Button(Window* parent, const ButtonParams& p) : WinControl(parent) {
  CreateChild(L"BUTTON", WS_VISIBLE | WS_TABSTOP | (p.is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, p.bounds,
              p.caption);
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

Edit::Edit(Window* parent, const ControlBounds& bounds) : WinControl(parent) {
  CreateChild(L"EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, bounds);
  // No length limit of the edit's own beyond the system's.
  ::SendMessageW(Handle(), EM_SETLIMITTEXT, 0, 0);
}

// ---- Panel ------------------------------------------------------------------

Panel::Panel(Window* parent, const PanelParams& p) : WinControl(parent), outer_(p.outer) {
  CreateChild(nullptr, WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, p.bounds);
}

Panel::Panel(Window* parent, int x, int y, int width, int height, Bevel outer)
    : Panel(parent, PanelParams{{x, y, width, height}, outer}) {}

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

ItemList::ItemMessages ListBox::MessagesFor(const ListBoxParams& p) {
  ItemMessages m = kListBoxMessages;
  if (p.extended_select) {
    // The current item of a multi-select list is its caret item.
    m.current = LB_GETCARETINDEX;
    m.set_current = LB_SETCARETINDEX;
  }
  return m;
}

ListBox::ListBox(Window* parent, const ListBoxParams& p)
    : ItemList(parent, MessagesFor(p)), extended_select_(p.extended_select) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
  if (p.horizontal_scroll) style |= WS_HSCROLL;
  if (p.owner_draw_variable) style |= LBS_OWNERDRAWVARIABLE;
  if (p.extended_select) style |= LBS_EXTENDEDSEL;
  CreateChild(L"LISTBOX", style, WS_EX_CLIENTEDGE, p.bounds);
}

bool ListBox::Selected(int index) const {
  return ::SendMessageW(Handle(), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

void ListBox::SetSelected(int index, bool selected) {
  if (extended_select_)
    ::SendMessageW(Handle(), LB_SETSEL, selected, static_cast<LPARAM>(index));
  else if (selected)
    ::SendMessageW(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ListBox::SelCount() const {
  if (!extended_select_) return ItemIndex() >= 0 ? 1 : 0;
  return static_cast<int>(::SendMessageW(Handle(), LB_GETSELCOUNT, 0, 0));
}

int ListBox::TopIndex() const { return static_cast<int>(::SendMessageW(Handle(), LB_GETTOPINDEX, 0, 0)); }

void ListBox::SetTopIndex(int index) { ::SendMessageW(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(index), 0); }

RECT ListBox::ItemRect(int index) const {
  RECT r{0, 0, 0, 0};
  ::SendMessageW(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return r;
}

LRESULT ListBox::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (hint_) hint_->Relay(msg, wp, lp);  // before the list sees it, as a subclass would
  return ItemList::WndProc(msg, wp, lp);
}

void ListBox::SetShowHint(bool on) {
  if (!hint_) hint_ = std::make_unique<forms::Hint>(Handle());
  hint_->SetActive(on);
}

bool ListBox::ShowHint() const { return hint_ && hint_->Active(); }

void ListBox::SetHint(const std::wstring& text) {
  if (!hint_) hint_ = std::make_unique<forms::Hint>(Handle());
  hint_->SetText(text);
}

std::wstring ListBox::Hint() const { return hint_ ? hint_->Text() : std::wstring(); }

// ---- ComboBox ---------------------------------------------------------------

ComboBox::ComboBox(Window* parent, const ComboBoxParams& p) : ItemList(parent, kComboBoxMessages) {
  // The face's height is asked for while the window is made: the handler
  // and the item height must be in place before creation.
  OnMeasureItem = [item_height = p.item_height](int, int& h) { h = item_height; };
  CreateChild(L"COMBOBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS,
              0, p.bounds);
}

bool ComboBox::DroppedDown() const { return ::SendMessageW(Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0; }

void ComboBox::DrawNoItem(const DRAWITEMSTRUCT& dis) {
  // A face without a selection is only filled.
  Canvas canvas(dis.hDC);
  canvas.SetBrushColor(::GetSysColor(COLOR_WINDOW));
  canvas.FillRect(dis.rcItem);
}

bool ComboBox::OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_COMMAND && HIWORD(wp) == CBN_SELCHANGE) {
    if (OnChange) OnChange();
    result = 0;
    return true;
  }
  return ItemList::OnReflect(msg, wp, lp, result);
}

// ---- CheckListBox -----------------------------------------------------------

namespace {
constexpr int kBoxInset = 1;  // the box's left edge, from the row's
}  // namespace

CheckListBox::CheckListBox(Window* parent, const CheckListBoxParams& p)
    : ItemList(parent, kListBoxMessages), item_height_(p.item_height) {
  // Rows of one height, asked for while the window is made.
  OnMeasureItem = [item_height = p.item_height](int, int& h) { h = item_height; };
  CreateChild(L"LISTBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                  LBS_HASSTRINGS | LBS_OWNERDRAWFIXED,
              WS_EX_CLIENTEDGE, p.bounds);
}

bool CheckListBox::Checked(int index) const {
  return ::SendMessageW(Handle(), LB_GETITEMDATA, static_cast<WPARAM>(index), 0) == 1;
}

void CheckListBox::SetChecked(int index, bool checked) {
  ::SendMessageW(Handle(), LB_SETITEMDATA, static_cast<WPARAM>(index), checked ? 1 : 0);
  RECT r;
  if (::SendMessageW(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)) != LB_ERR)
    ::InvalidateRect(Handle(), &r, FALSE);
}

void CheckListBox::Toggle(int index) {
  if (index >= 0 && index < Count()) SetChecked(index, !Checked(index));
}

LRESULT CheckListBox::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
    // A click on a row's box flips its check. The box scrolls sideways
    // with the row, so a click where it stood unscrolled may be on text.
    const int x = GET_X_LPARAM(lp);
    const int box_left = kBoxInset - ::GetScrollPos(Handle(), SB_HORZ);
    LRESULT hit = ::SendMessageW(Handle(), LB_ITEMFROMPOINT, 0, lp);
    LRESULT result = WinControl::WndProc(msg, wp, lp);
    if (HIWORD(hit) == 0 && x >= box_left && x < box_left + item_height_) Toggle(LOWORD(hit));
    return result;
  }
  if (msg == WM_CHAR && wp == ' ') {
    Toggle(ItemIndex());
    return 0;
  }
  return WinControl::WndProc(msg, wp, lp);
}

void CheckListBox::DrawItem(const DRAWITEMSTRUCT& dis) {
  // The box stays on the window colour; only the text shows the selection.
  const int index = static_cast<int>(dis.itemID);
  Canvas canvas(dis.hDC);
  canvas.SetBrushColor(::GetSysColor(COLOR_WINDOW));
  canvas.FillRect(dis.rcItem);
  if (index < 0 || index >= Count()) return;
  const int box = item_height_;
  RECT br{dis.rcItem.left + kBoxInset, dis.rcItem.top, dis.rcItem.left + kBoxInset + box, dis.rcItem.top + box};
  ::DrawFrameControl(dis.hDC, &br, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (Checked(index) ? DFCS_CHECKED : 0));
  RECT tr = dis.rcItem;
  tr.left += box + 3;
  const bool selected = (dis.itemState & ODS_SELECTED) != 0;
  canvas.SetBrushColor(::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  canvas.SetFontColor(::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  canvas.SetFont(Font());
  canvas.FillRect(tr);
  canvas.TextOut(tr.left + 1, tr.top, Item(index));
  if (dis.itemState & ODS_FOCUS) ::DrawFocusRect(dis.hDC, &tr);
}

// ---- ToolBar ----------------------------------------------------------------

ToolBar::ToolBar(Window* parent, const ToolBarParams& p) : WinControl(parent) {
  CreateChild(TOOLBARCLASSNAMEW,
              WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
              p.bounds);
  ::SendMessageW(Handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(Handle(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(p.images));
  int iw = 0, ih = 0;
  ImageList_GetIconSize(p.images, &iw, &ih);
  ::SendMessageW(Handle(), TB_SETBITMAPSIZE, 0, MAKELPARAM(iw, ih));
  ::SendMessageW(Handle(), TB_SETBUTTONSIZE, 0, MAKELPARAM(p.button_width, p.button_height));
}

int ToolBar::AddButton(int image, const std::string& hint, NotifyHandler on_click, MouseMoveHandler on_mouse_move) {
  int command = next_command_++;
  TBBUTTON b{};
  b.iBitmap = image;
  b.idCommand = command;
  b.fsState = TBSTATE_ENABLED;
  b.fsStyle = BTNS_BUTTON;
  ::SendMessageW(Handle(), TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b));
  buttons_.push_back(ButtonInfo{command, hint, std::move(on_click), std::move(on_mouse_move), mv::WideFromAnsi(hint)});
  return static_cast<int>(buttons_.size()) - 1;
}

RECT ToolBar::ButtonRect(int index) const {
  RECT r{0, 0, 0, 0};
  ::SendMessageW(Handle(), TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
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
    // The bar asks in the form its parent answers WM_NOTIFYFORMAT with:
    // Unicode for the forms' windows.
    if (hdr->code == TTN_GETDISPINFOW) {
      auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
      for (auto& b : buttons_) {
        if (static_cast<UINT_PTR>(b.command) == hdr->idFrom) info->lpszText = const_cast<wchar_t*>(b.wide_hint.c_str());
      }
      result = 0;
      return true;
    }
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

StatusBar::StatusBar(Window* parent, const ControlBounds& bounds) : WinControl(parent) {
  CreateChild(STATUSCLASSNAMEW, WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, bounds);
  ::SendMessageW(Handle(), SB_SIMPLE, TRUE, 0);
}

void StatusBar::SetSimpleText(const std::string& text) {
  text_ = text;
  ::SendMessageW(Handle(), SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(mv::WideFromAnsi(text_).c_str()));
}

ProgressBar::ProgressBar(Window* parent, const ControlBounds& bounds) : WinControl(parent) {
  CreateChild(PROGRESS_CLASSW, 0, 0, bounds);
}

void ProgressBar::SetMax(int max) { ::SendMessageW(Handle(), PBM_SETRANGE32, 0, max); }

void ProgressBar::SetPosition(int position) { ::SendMessageW(Handle(), PBM_SETPOS, position, 0); }

int ProgressBar::Position() const { return static_cast<int>(::SendMessageW(Handle(), PBM_GETPOS, 0, 0)); }

}  // namespace forms
