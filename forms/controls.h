// The windowed controls the program's forms are made of.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/canvas.h"
#include "forms/control.h"
#include "forms/hint.h"

namespace forms {

class Button : public WinControl {
 public:
  Button(Window* parent, int x, int y, int width, int height, const std::string& caption,
         bool is_default = false);
  // Runs the click as if the user had pressed the button.
  void Click();
  NotifyHandler OnClick;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

class Edit : public WinControl {
 public:
  Edit(Window* parent, int x, int y, int width, int height);
};

// A plain panel; with a raised or lowered bevel, or none.
class Panel : public WinControl {
 public:
  enum class Bevel { None, Raised, Lowered };
  Panel(Window* parent, int x, int y, int width, int height, Bevel outer = Bevel::Raised);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  Bevel outer_;
};

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

class ListBox : public WinControl {
 public:
  struct Options {
    bool owner_draw_variable = false;
    bool extended_select = false;
    bool horizontal_scroll = true;
  };
  ListBox(Window* parent, int x, int y, int width, int height, Options options);

  int Count() const;
  int Add(const std::string& text);
  void Delete(int index);
  void Clear();
  std::string Item(int index) const;
  // The current item: for a multi-select list the caret item.
  int ItemIndex() const;
  void SetItemIndex(int index);
  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  int SelCount() const;
  int TopIndex() const;
  void SetTopIndex(int index);
  void SetHorizontalExtent(int width);
  int HorizontalExtent() const;
  RECT ItemRect(int index) const;

  // Tooltip text for the list as a whole; off switches its display off.
  void SetShowHint(bool on);
  bool ShowHint() const;
  void SetHint(const std::string& text);
  std::string Hint() const;

  MeasureItemHandler OnMeasureItem;
  DrawItemHandler OnDrawItem;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  Options options_;
  std::unique_ptr<forms::Hint> hint_;
};

// A drop-down list without editing, owner-drawn with variable item height.
class ComboBox : public WinControl {
 public:
  ComboBox(Window* parent, int x, int y, int width, int drop_height, int item_height);

  int Count() const;
  int Add(const std::string& text);
  void Delete(int index);
  void Clear();
  std::string Item(int index) const;
  int ItemIndex() const;
  // Selects by program: no change event follows.
  void SetItemIndex(int index);
  bool DroppedDown() const;

  MeasureItemHandler OnMeasureItem;
  DrawItemHandler OnDrawItem;
  // The user chose an item.
  NotifyHandler OnChange;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// A list of rows with a check box each, single selection.
class CheckListBox : public WinControl {
 public:
  CheckListBox(Window* parent, int x, int y, int width, int height, int item_height);

  int Count() const;
  int Add(const std::string& text);
  void Clear();
  std::string Item(int index) const;
  bool Checked(int index) const;
  void SetChecked(int index, bool checked);
  int ItemIndex() const;
  void SetItemIndex(int index);
  void SetHorizontalExtent(int width);
  int HorizontalExtent() const;
  // Flips the check of a row as a click on its box does.
  void Toggle(int index);

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  int item_height_;
};

// A flat tool bar of picture buttons with tooltips.
class ToolBar : public WinControl {
 public:
  ToolBar(Window* parent, int x, int y, int width, int height, int button_width, int button_height,
          HIMAGELIST images);

  struct ButtonInfo {
    int command;
    std::string hint;
    NotifyHandler on_click;
    MouseMoveHandler on_mouse_move;
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
  StatusBar(Window* parent, int x, int y, int width, int height);
  void SetSimpleText(const std::string& text);
  const std::string& SimpleText() const { return text_; }

 private:
  std::string text_;
};

}  // namespace forms
