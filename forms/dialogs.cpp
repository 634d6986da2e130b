#include "forms/dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

#include "base/sjis_path.h"

namespace forms {

namespace {

// The result buffer grows with the selection, so that any number of chosen
// files fits: the dialog tells the hook each time the selection changes.
struct OpenState {
  std::vector<char> buffer;
  OPENFILENAMEA* ofn = nullptr;
};

UINT_PTR CALLBACK OpenHook(HWND dlg, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* ofn = reinterpret_cast<OPENFILENAMEA*>(lp);
    ::SetWindowLongPtrA(dlg, DWLP_USER, static_cast<LONG_PTR>(ofn->lCustData));
    return 0;
  }
  if (msg == WM_NOTIFY) {
    auto* note = reinterpret_cast<OFNOTIFYA*>(lp);
    if (note->hdr.code == CDN_SELCHANGE) {
      auto* state = reinterpret_cast<OpenState*>(::GetWindowLongPtrA(dlg, DWLP_USER));
      HWND parent = ::GetParent(dlg);
      LRESULT names = ::SendMessageA(parent, CDM_GETSPEC, 0, 0);
      LRESULT folder = ::SendMessageA(parent, CDM_GETFOLDERPATH, 0, 0);
      if (state && names > 0 && folder >= 0) {
        // Each name may grow by its quotes dropping into separators; the
        // folder comes first. Double it for slack.
        size_t need = static_cast<size_t>(names + folder + 16) * 2;
        if (need > state->buffer.size()) {
          state->buffer.assign(need, '\0');
          state->ofn->lpstrFile = state->buffer.data();
          state->ofn->nMaxFile = static_cast<DWORD>(state->buffer.size());
        }
      }
    }
  }
  return 0;
}

}  // namespace

std::vector<std::string> OpenDialog::SplitResult(const char* buffer, std::size_t size) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < size && buffer[i] != '\0') {
    std::size_t n = strnlen(buffer + i, size - i);
    parts.emplace_back(buffer + i, n);
    i += n + 1;
  }
  if (parts.size() <= 1) return parts;
  std::string folder = parts[0];
  if (!folder.empty() && mv::LastDelimiter(folder, "\\") != folder.size() - 1) folder += "\\";
  std::vector<std::string> files;
  for (std::size_t k = 1; k < parts.size(); ++k) files.push_back(folder + parts[k]);
  return files;
}

std::function<bool(OpenDialog&)>& OpenDialog::ExecuteOverride() {
  static std::function<bool(OpenDialog&)> override_;
  return override_;
}

bool OpenDialog::Execute(HWND owner) {
  if (ExecuteOverride()) return ExecuteOverride()(*this);
  OpenState state;
  state.buffer.assign(std::max<size_t>(65536, FileName.size() + 2), '\0');
  std::memcpy(state.buffer.data(), FileName.data(), FileName.size());
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFile = state.buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(state.buffer.size());
  ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
  ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  if (AllowMultiSelect) ofn.Flags |= OFN_ALLOWMULTISELECT;
  if (HideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  if (PathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
  ofn.lpfnHook = &OpenHook;
  ofn.lCustData = reinterpret_cast<LPARAM>(&state);
  state.ofn = &ofn;
  Files.clear();
  if (!::GetOpenFileNameA(&ofn)) {
    if (DWORD error = ::CommDlgExtendedError()) {
      char text[128];
      wsprintfA(text, "ファイルを開くダイアログを表示できません (エラー %lu)", error);
      throw FileOpenError(text);
    }
    return false;
  }
  Files = SplitResult(ofn.lpstrFile, ofn.nMaxFile);
  if (!Files.empty()) FileName = Files.front();
  return !Files.empty();
}

bool SelectDirectory(HWND owner, const std::string& prompt, std::string& folder) {
  BROWSEINFOA bi{};
  bi.hwndOwner = owner;
  bi.pidlRoot = nullptr;  // the whole desktop
  bi.lpszTitle = prompt.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderA(&bi);
  bool ok = false;
  if (pidl) {
    std::vector<char> path(MAX_PATH * 4, '\0');
    ok = ::SHGetPathFromIDListA(pidl, path.data()) != FALSE;
    if (ok) folder = path.data();
    ::CoTaskMemFree(pidl);
  }
  ::CoUninitialize();
  return ok;
}

}  // namespace forms
