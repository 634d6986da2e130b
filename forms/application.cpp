#include "forms/application.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "forms/dialog_keys.h"
#include "forms/form.h"
#include "forms/message_box.h"

namespace forms {

Application& Application::Instance() {
  static Application app;
  return app;
}

void Application::Initialize() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
}

void Application::RegisterForm(Form* form) {
  if (!main_form_) main_form_ = form;
  forms_.push_back(form);
}

void Application::UnregisterForm(Form* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (main_form_ == form) main_form_ = nullptr;
}

void Application::Reset() {
  terminated_ = false;
  modal_level = 0;
  if (forms_.empty()) main_form_ = nullptr;
}

void Application::Terminate() {
  if (!terminated_) {
    terminated_ = true;
    ::PostQuitMessage(0);
  }
}

Form* Application::FormOf(HWND hwnd) const {
  if (!hwnd) return nullptr;
  HWND root = ::GetAncestor(hwnd, GA_ROOT);
  Window* w = Window::FromHandle(root);
  Form* f = dynamic_cast<Form*>(w);
  if (f && std::find(forms_.begin(), forms_.end(), f) != forms_.end()) return f;
  return nullptr;
}

bool Application::PreTranslate(MSG& msg) {
  const bool key_down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
  const bool key_char = msg.message == WM_CHAR;
  if (msg.message == WM_SYSCHAR) {
    Form* form = FormOf(msg.hwnd);
    return form && !form->DialogKeys() && HandleNavigationKey(form->Handle(), msg);
  }
  if (!key_down && !key_char) return false;
  Form* form = FormOf(msg.hwnd);
  if (!form) return false;

  if (key_down) {
    // The focused form's own shortcuts first, then the main form's: they
    // act in every window while no modal dialog is up.
    if (HACCEL own = form->MenuAccelerators();
        own && ::TranslateAcceleratorW(form->Handle(), own, &msg))
      return true;
    if (main_form_ && main_form_ != form && main_form_->Handle() && modal_level == 0 &&
        OpenMessageBoxes() == 0 && ::IsWindowEnabled(main_form_->Handle())) {
      if (HACCEL main = main_form_->MenuAccelerators();
          main && ::TranslateAcceleratorW(main_form_->Handle(), main, &msg))
        return true;
    }
  }

  // Key preview: the form sees keys meant for its controls first.
  if (form->KeyPreview() && msg.hwnd != form->Handle() &&
      RunKeyHandlers(msg.message, msg.wParam, form->OnKeyDown, form->OnKeyPress))
    return true;

  if (form->DialogKeys()) return ::IsDialogMessageW(form->Handle(), &msg) != FALSE;
  return HandleNavigationKey(form->Handle(), msg);
}

bool Application::HandleMessage(MSG& msg) {
  try {
    if (!PreTranslate(msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  } catch (...) {
    HandleException(std::current_exception());
  }
  return true;
}

void Application::Run() {
  if (main_form_ && !main_form_->Showing()) main_form_->Show();
  MSG msg;
  while (!terminated_) {
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    HandleMessage(msg);
  }
  terminated_ = true;
}

void Application::ProcessMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit for the outer loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    HandleMessage(msg);
  }
}

void Application::HandleException(std::exception_ptr error) noexcept {
  std::string text;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = "不明な例外が発生しました";
  }
  try {
    HWND owner = main_form_ ? main_form_->Handle() : nullptr;
    ShowMessageBox(owner, text, title_, MB_OK | MB_ICONSTOP);
  } catch (...) {
  }
}

}  // namespace forms
