#include "forms/dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "base/wide_text.h"

namespace forms {

namespace {

// The result buffer grows with the selection, so that any number of chosen
// files fits: the dialog tells the hook each time the selection changes.
struct OpenState {
  std::vector<wchar_t> buffer;
  OPENFILENAMEW* ofn = nullptr;
};

UINT_PTR CALLBACK OpenHook(HWND dlg, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* ofn = reinterpret_cast<OPENFILENAMEW*>(lp);
    ::SetWindowLongPtrW(dlg, DWLP_USER, static_cast<LONG_PTR>(ofn->lCustData));
    return 0;
  }
  if (msg == WM_NOTIFY) {
    auto* note = reinterpret_cast<OFNOTIFYW*>(lp);
    if (note->hdr.code == CDN_SELCHANGE) {
      auto* state = reinterpret_cast<OpenState*>(::GetWindowLongPtrW(dlg, DWLP_USER));
      HWND parent = ::GetParent(dlg);
      LRESULT names = ::SendMessageW(parent, CDM_GETSPEC, 0, 0);
      LRESULT folder = ::SendMessageW(parent, CDM_GETFOLDERPATH, 0, 0);
      if (state && names > 0 && folder >= 0) {
        // Each name may grow by its quotes dropping into separators; the
        // folder comes first. Double it for slack.
        size_t need = static_cast<size_t>(names + folder + 16) * 2;
        if (need > state->buffer.size()) {
          state->buffer.assign(need, L'\0');
          state->ofn->lpstrFile = state->buffer.data();
          state->ofn->nMaxFile = static_cast<DWORD>(state->buffer.size());
        }
      }
    }
  }
  return 0;
}

}  // namespace

std::vector<std::wstring> OpenDialog::SplitResult(const wchar_t* buffer, std::size_t size) {
  std::vector<std::wstring> parts;
  std::size_t i = 0;
  while (i < size && buffer[i] != L'\0') {
    std::size_t n = wcsnlen(buffer + i, size - i);
    parts.emplace_back(buffer + i, n);
    i += n + 1;
  }
  if (parts.size() <= 1) return parts;
  std::wstring folder = parts[0];
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  std::vector<std::wstring> files;
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
  state.buffer.assign(std::max<size_t>(65536, FileName.size() + 2), L'\0');
  std::copy(FileName.begin(), FileName.end(), state.buffer.begin());
  const std::wstring title = mv::WideFromAnsi(Title);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFile = state.buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(state.buffer.size());
  ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  if (AllowMultiSelect) ofn.Flags |= OFN_ALLOWMULTISELECT;
  if (HideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  if (PathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
  ofn.lpfnHook = &OpenHook;
  ofn.lCustData = reinterpret_cast<LPARAM>(&state);
  state.ofn = &ofn;
  Files.clear();
  if (!::GetOpenFileNameW(&ofn)) {
    if (DWORD error = ::CommDlgExtendedError()) {
      throw FileOpenError("ファイルを開くダイアログを表示できません (エラー " + std::to_string(error) + ")");
    }
    return false;
  }
  Files = SplitResult(ofn.lpstrFile, ofn.nMaxFile);
  if (!Files.empty()) FileName = Files.front();
  return !Files.empty();
}

bool SelectDirectory(HWND owner, const std::string& prompt, std::string& folder) {
  // The plug-in folder is kept as a code-page path.
  std::wstring wide;
  if (!SelectFolder(owner, prompt, wide)) return false;
  folder = mv::AnsiFromWide(wide);
  return true;
}

bool SelectFolder(HWND owner, const std::string& prompt, std::wstring& folder) {
  const std::wstring title = mv::WideFromAnsi(prompt);
  BROWSEINFOW bi{};
  bi.hwndOwner = owner;
  bi.pidlRoot = nullptr;  // the whole desktop
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&bi);
  bool ok = false;
  if (pidl) {
    // As long a path as the system can name.
    std::wstring path(32768, L'\0');
    ok = ::SHGetPathFromIDListEx(pidl, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT) != FALSE;
    if (ok) folder = path.c_str();
    ::CoTaskMemFree(pidl);
  }
  ::CoUninitialize();
  return ok;
}

}  // namespace forms
