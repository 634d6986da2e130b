// A top-level window of the program: created hidden, shown, hidden and
// closed by the program; modal when shown with ShowModal.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "forms/menu.h"
#include "forms/window.h"

namespace forms {

class Button;

enum class BorderStyle { Sizeable, Single, Dialog };
enum class WindowState { Normal, Minimized, Maximized };
enum class CloseAction { None, Hide, Free };

struct FormParams {
  std::string caption;
  BorderStyle border = BorderStyle::Sizeable;
  bool minimize_box = true;
  bool maximize_box = true;
  bool stay_on_top = false;
  int left = 0, top = 0;
  int client_width = 320, client_height = 240;
  // Extra window styles, e.g. WS_HSCROLL.
  DWORD extra_style = 0;
  HWND owner = nullptr;
};

class Form : public Window {
 public:
  Form();
  ~Form() override;

  // Makes the window, hidden. Call once from the derived constructor.
  // Throws WindowCreationError when the system makes none; as the
  // constructor unwinds, the form leaves the application's list.
  void CreateForm(const FormParams& params);

  void Show();
  void Hide();
  // Asks the form to close: OnClose decides between hiding and ending.
  void Close();
  bool Showing() const;
  int ShowModal();
  void SetModalResult(int result) { modal_result_ = result; }
  int ModalResult() const { return modal_result_; }

  void SetCaption(const std::string& caption);
  // A caption that holds names the code page may not say.
  void SetCaption(const std::wstring& caption);
  std::string Caption() const;
  // The form does not own the icon; the caller keeps it alive.
  void SetIcon(HICON icon);
  HICON Icon() const { return icon_; }

  WindowState State() const;
  void SetState(WindowState state);

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetPosition(int left, int top);
  void SetClientSize(int width, int height);

  // The form takes the menu bar over.
  void SetMenu(std::unique_ptr<MainMenu> menu);
  MainMenu* Menu() const { return menu_.get(); }
  HACCEL MenuAccelerators() const { return menu_ ? menu_->Accelerators() : nullptr; }

  bool KeyPreview() const { return key_preview_; }
  void SetKeyPreview(bool on) { key_preview_ = on; }
  // Tab, Enter (default button) and Esc (cancel button) as in a dialog.
  bool DialogKeys() const { return default_button_ || cancel_button_; }
  void SetDefaultButton(Button* b) { default_button_ = b; }
  void SetCancelButton(Button* b) { cancel_button_ = b; }

  NotifyHandler OnShow;
  NotifyHandler OnHide;
  NotifyHandler OnResize;
  std::function<void(CloseAction&)> OnClose;
  KeyHandler OnKeyDown;
  KeyPressHandler OnKeyPress;
  MouseMoveHandler OnMouseMove;
  NotifyHandler OnDblClick;
  // Files dropped from the shell on the form or any of its controls, once
  // SetAcceptFiles has opened it to them.
  std::function<void(const std::vector<std::wstring>&)> OnDropFiles;
  void SetAcceptFiles(bool on);

  // Runs `call` from the message loop, after what is queued now (a window
  // that must be shown first, a caller still on the stack). Any thread may
  // post.
  void PostCall(std::function<void()> call);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnOwnMouseMove(ShiftState shift, int x, int y) override;
  void OnOwnDblClick() override;

 private:
  std::unique_ptr<MainMenu> menu_;
  HICON icon_ = nullptr;
  bool key_preview_ = false;
  int modal_result_ = 0;
  bool in_modal_ = false;
  WindowState pending_state_ = WindowState::Normal;
  HWND last_focus_ = nullptr;
  Button* default_button_ = nullptr;
  Button* cancel_button_ = nullptr;
  std::mutex posted_mutex_;  // calls are posted from the decoding threads too
  std::vector<std::function<void()>> posted_calls_;
};

}  // namespace forms
