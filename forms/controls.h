// The windowed controls the program's forms are made of. Each takes its
// parent and a structure of arguments (or only its bounds), and throws
// WindowCreationError when the system makes no window for it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/hint.h"
#include "forms/item_list.h"

namespace forms {

struct ButtonParams {
  ControlBounds bounds;
  std::string caption;
  bool is_default = false;  // the button Enter presses
};

class Button : public WinControl {
 public:
  Button(Window* parent, const ButtonParams& params);
  // Runs the click as if the user had pressed the button.
  void Click();
  NotifyHandler OnClick;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

class Edit : public WinControl {
 public:
  Edit(Window* parent, const ControlBounds& bounds);
};

struct PanelParams;

// A plain panel; with a raised or lowered bevel, or none.
class Panel : public WinControl {
 public:
  enum class Bevel { None, Raised, Lowered };
  Panel(Window* parent, const PanelParams& params);
  // In positions, as the viewer windows make their panels.
  Panel(Window* parent, int x, int y, int width, int height, Bevel outer = Bevel::Raised);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  Bevel outer_;
};

struct PanelParams {
  ControlBounds bounds;
  Panel::Bevel outer = Panel::Bevel::Raised;
};

struct ListBoxParams {
  ControlBounds bounds;
  bool owner_draw_variable = false;
  bool extended_select = false;
  bool horizontal_scroll = true;
};

class ListBox : public ItemList {
 public:
  ListBox(Window* parent, const ListBoxParams& params);

  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  int SelCount() const;
  int TopIndex() const;
  void SetTopIndex(int index);
  RECT ItemRect(int index) const;

  // Tooltip text for the list as a whole; off switches its display off.
  void SetShowHint(bool on);
  bool ShowHint() const;
  void SetHint(const std::wstring& text);
  std::wstring Hint() const;

  using ItemList::OnDrawItem;
  using ItemList::OnMeasureItem;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  static ItemMessages MessagesFor(const ListBoxParams& params);
  bool extended_select_;
  std::unique_ptr<forms::Hint> hint_;
};

struct ComboBoxParams {
  ControlBounds bounds;  // the height takes the dropped list in
  int item_height = 0;   // until OnMeasureItem says otherwise
};

// A drop-down list without editing, owner-drawn with variable item height.
class ComboBox : public ItemList {
 public:
  ComboBox(Window* parent, const ComboBoxParams& params);

  bool DroppedDown() const;

  using ItemList::OnDrawItem;
  using ItemList::OnMeasureItem;
  // The user chose an item.
  NotifyHandler OnChange;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 protected:
  void DrawNoItem(const DRAWITEMSTRUCT& dis) override;
};

struct CheckListBoxParams {
  ControlBounds bounds;
  int item_height = 0;  // also the side of the check boxes
};

// A list of rows with a check box each, single selection.
class CheckListBox : public ItemList {
 public:
  CheckListBox(Window* parent, const CheckListBoxParams& params);

  bool Checked(int index) const;
  void SetChecked(int index, bool checked);
  // Flips the check of a row as a click on its box does.
  void Toggle(int index);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void DrawItem(const DRAWITEMSTRUCT& dis) override;

 private:
  int item_height_;
};

struct ToolBarParams {
  ControlBounds bounds;
  int button_width = 0, button_height = 0;
  HIMAGELIST images = nullptr;  // borrowed: the caller keeps it alive
};

// A flat tool bar of picture buttons with tooltips.
class ToolBar : public WinControl {
 public:
  ToolBar(Window* parent, const ToolBarParams& params);

  struct ButtonInfo {
    int command;
    std::string hint;
    NotifyHandler on_click;
    MouseMoveHandler on_mouse_move;
    std::wstring wide_hint;  // the hint as the bar's tooltip asks for it
  };
  // Adds a button showing image `image`; returns its index.
  int AddButton(int image, const std::string& hint, NotifyHandler on_click,
                MouseMoveHandler on_mouse_move = {});
  RECT ButtonRect(int index) const;
  const ButtonInfo& Info(int index) const { return buttons_[static_cast<size_t>(index)]; }
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  std::vector<ButtonInfo> buttons_;
  int next_command_ = 1;
};

// A status bar in simple mode: one text field.
class StatusBar : public WinControl {
 public:
  StatusBar(Window* parent, const ControlBounds& bounds);
  void SetSimpleText(const std::string& text);
  const std::string& SimpleText() const { return text_; }

 private:
  std::string text_;
};

// A bar that fills from left to right, from 0 to its maximum.
class ProgressBar : public WinControl {
 public:
  ProgressBar(Window* parent, const ControlBounds& bounds);
  void SetMax(int max);
  void SetPosition(int position);
  int Position() const;
};

}  // namespace forms
