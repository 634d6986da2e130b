// The common dialogs: the multi-select open dialog and the shell's folder
// browser.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <stdexcept>

namespace forms {

// The open dialog could not be shown or could not open what was asked.
class FileOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OpenDialog {
 public:
  std::string Title;
  // Paths as the file system has them: the dialog is the wide one.
  std::wstring InitialDir;
  std::wstring FileName;
  bool AllowMultiSelect = true;
  bool HideReadOnly = true;
  bool PathMustExist = true;
  bool Resizable = true;

  // Shows the dialog; false when the user cancels, FileOpenError when the
  // dialog fails. Files then holds every
  // chosen path, however many.
  bool Execute(HWND owner);
  std::vector<std::wstring> Files;

  // Turns the dialog's result buffer into full paths: a single path, or a
  // folder followed by names, each ended by a zero, the list by two.
  static std::vector<std::wstring> SplitResult(const wchar_t* buffer, std::size_t size);

  // Stands in for the system dialog when set (tests of failures the real
  // dialog cannot be made to produce).
  static std::function<bool(OpenDialog&)>& ExecuteOverride();
};

// The shell's folder browser over the whole desktop, file-system folders
// only. False when the user cancels.
bool SelectDirectory(HWND owner, const std::string& prompt, std::string& folder);
// The same, giving the folder as the file system names it.
bool SelectFolder(HWND owner, const std::string& prompt, std::wstring& folder);

}  // namespace forms
