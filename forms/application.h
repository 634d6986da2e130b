// The application object: title, the forms, the message loop, and the one
// place where unhandled exceptions are shown.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

namespace forms {

class Form;

class Application {
 public:
  static Application& Instance();

  void Initialize();
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& Title() const { return title_; }

  // The first form registered is the main form; closing it ends Run.
  void RegisterForm(Form* form);
  void UnregisterForm(Form* form);
  Form* MainForm() const { return main_form_; }

  // Runs the message loop until the main form has closed.
  void Run();
  // Handles every message waiting now, then returns.
  void ProcessMessages();
  // Ends the message loop (the main form's close does this).
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Readies the object for a new run (tests build the forms many times).
  void Reset();

  // The standard exception display: a message box with the exception's
  // text; the program goes on.
  void HandleException(std::exception_ptr error) noexcept;

  // Applies the program's keyboard rules to one message before dispatch:
  // the main form's menu shortcuts, then key preview of the focused form.
  // True when the message has been used up.
  bool PreTranslate(MSG& msg);

  // Modal forms raise this while they run.
  int modal_level = 0;

 private:
  Form* FormOf(HWND hwnd) const;
  bool HandleMessage(MSG& msg);

  std::string title_;
  Form* main_form_ = nullptr;
  std::vector<Form*> forms_;
  bool terminated_ = false;
};

}  // namespace forms
