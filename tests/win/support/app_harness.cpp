#include "tests/win/support/app_harness.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

#include <memory>
#include <utility>
#include <vector>

#include "app/MainForm.h"
#include "app/app_forms.h"
#include "base/wide_text.h"
#include "decode/decode_image.h"
#include "forms/application.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/settings_file.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/win/support/paths.h"

namespace mvtest {

std::string SettingsPath() { return settings::SettingsPathFor(settings::ExecutablePath()); }

void RemoveSettingsFile() {
  ::SetFileAttributesA(SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(SettingsPath().c_str());
}

void WriteSettingsFile(const std::string& contents) { WriteFileBytes(SettingsPath(), contents); }

namespace {

// The tests change a key that belongs to the Susie viewer: only in a Wine
// prefix that the test scripts made for them, and marked as such.
bool InTestPrefix() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kTestPrefixKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

// The values of the Susie key as they were before a test, to be put back.
struct SavedKey {
  bool existed = false;
  std::vector<std::pair<std::string, std::string>> values;  // name, REG_SZ data
};

SavedKey SaveSusieKey() {
  SavedKey saved;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, settings::kSusieKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return saved;
  saved.existed = true;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD name_len = sizeof name, type = 0, data_len = 0;
    if (::RegEnumValueA(key, i, name, &name_len, nullptr, &type, nullptr, &data_len) != ERROR_SUCCESS) break;
    std::string data(data_len, '\0');
    name_len = sizeof name;
    if (::RegEnumValueA(key, i, name, &name_len, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &data_len) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
      saved.values.emplace_back(std::string(name, name_len), data.c_str());
  }
  ::RegCloseKey(key);
  return saved;
}

void RestoreSusieKey(const SavedKey& saved) {
  ::RegDeleteKeyA(HKEY_CURRENT_USER, settings::kSusieKey);
  if (!saved.existed) return;
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, settings::kSusieKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  for (const auto& [name, data] : saved.values)
    ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
  ::RegCloseKey(key);
}

SavedKey g_saved_susie_key;

}  // namespace

void SetSusieRegistryPath(const std::string& path) {
  ASSERT_TRUE(InTestPrefix()) << "not in a test prefix: the Susie key is left alone";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, settings::kSusieKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(key, settings::kSusieValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
  ::RegCloseKey(key);
}

void RemoveSusieRegistryKey() {
  ASSERT_TRUE(InTestPrefix()) << "not in a test prefix: the Susie key is left alone";
  ::RegDeleteKeyA(HKEY_CURRENT_USER, settings::kSusieKey);
}

void Pump(int milliseconds) {
  auto& app = forms::Application::Instance();
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(milliseconds);
  do {
    app.ProcessMessages();
    if (milliseconds > 0) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(timeout_ms);
  for (;;) {
    forms::Application::Instance().ProcessMessages();
    if (done()) return true;
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

bool WaitForLoad(int timeout_ms) {
  return PumpUntil([] { return !frmMain || !frmMain->Loading(); }, timeout_ms);
}

MessageBoxRecorder::MessageBoxRecorder() {
  previous_ = forms::SetMessageBoxHook([this](const forms::MessageBoxRequest& r) {
    boxes_.push_back(r);
    if (while_up_) while_up_(r);
    if (!answers_.empty()) {
      int a = answers_.front();
      answers_.erase(answers_.begin());
      return a;
    }
    const UINT kind = r.flags & MB_TYPEMASK;
    return kind == MB_YESNO || kind == MB_YESNOCANCEL ? IDNO : kind == MB_RETRYCANCEL ? IDCANCEL : IDOK;
  });
}

MessageBoxRecorder::~MessageBoxRecorder() { forms::SetMessageBoxHook(previous_); }

void AppTest::SetUp() {
  ASSERT_TRUE(InTestPrefix()) << "these tests change the Susie viewer's registry key: run them through "
                                 "scripts/test.sh, which makes a Wine prefix for them";
  RemoveSettingsFile();
  g_saved_susie_key = SaveSusieKey();
  RemoveSusieRegistryKey();
}

void AppTest::TearDown() {
  StopApp();
  RemoveSettingsFile();
  if (InTestPrefix()) RestoreSusieKey(g_saved_susie_key);
}

void AppTest::StartApp() {
  app::CreateForms();
  started_ = true;
  frmMain->Show();
  Pump();
}

void AppTest::StopApp() {
  if (!started_) return;
  app::DestroyForms();
  started_ = false;
  // The quit a closed main form posted belongs to this test only.
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  forms::Application::Instance().Reset();
}

tag_BeforeImage* AddListedImage(const std::string& path) {
  auto image = std::make_unique<tag_BeforeImage>();
  image->FilePath = path;
  if (!DecodeImage(*frmMain->SpiCtrl, image.get())) return nullptr;
  return frmMain->AppendImage(std::move(image));
}

tag_BeforeImage* AddListedBytes(const std::string& dir, const std::string& name, const std::string& bytes) {
  WriteFileBytes(dir + name, bytes);
  return AddListedImage(dir + name);
}

namespace {
struct TipSearch {
  HWND tool;
  HWND tip = nullptr;
};
// The tooltip window that holds the tool: tips are owned by the tool's
// top-level window, so each tip of the thread is asked.
BOOL CALLBACK FindTip(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TipSearch*>(p);
  if (!IsOfClass(w, TOOLTIPS_CLASSA)) return TRUE;
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.hwnd = ::GetParent(s->tool);
  ti.uId = reinterpret_cast<UINT_PTR>(s->tool);
  if (!::SendMessageA(w, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti))) return TRUE;
  s->tip = w;
  return FALSE;
}
}  // namespace

std::wstring TooltipShownAt(HWND tool, int x, int y, RECT* where) {
  TipSearch search{tool};
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindTip, reinterpret_cast<LPARAM>(&search));
  if (!search.tip) return L"<no tooltip>";
  // Away from every window of the program: the tip notices the pointer
  // leave and forgets the tool.
  ::SetCursorPos(0, 0);
  PumpUntil([&] { return !::IsWindowVisible(search.tip); });
  Pump(300);
  POINT screen{x, y};
  ::ClientToScreen(tool, &screen);
  ::SetCursorPos(screen.x, screen.y);
  ::SendMessageA(tool, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  if (!PumpUntil([&] { return ::IsWindowVisible(search.tip) != FALSE; })) return {};
  // Its window text, not TTM_GETTEXT: that one gives at most 79 characters.
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(search.tip)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(search.tip, text.data(), static_cast<int>(text.size()))));
  if (where) ::GetWindowRect(search.tip, where);
  std::erase_if(text, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
  return text;
}

int TextWidth(HWND control, const std::string& text) {
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE s{};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return s.cx;
}

std::vector<std::wstring> SourceListOf(DWORD pid, HWND* main) {
  std::vector<std::wstring> items;
  HWND w = ::FindWindowA(nullptr, "Morvane Ver.0.9");
  DWORD owner = 0;
  if (w) ::GetWindowThreadProcessId(w, &owner);
  if (!w || owner != pid || !::IsWindowVisible(w)) return items;
  if (main) *main = w;
  // The source list is the list box at the window's left edge.
  HWND list = nullptr;
  for (HWND c = ::FindWindowExA(w, nullptr, "ListBox", nullptr); c; c = ::FindWindowExA(w, c, "ListBox", nullptr)) {
    RECT r;
    ::GetWindowRect(c, &r);
    POINT p{r.left, r.top};
    ::ScreenToClient(w, &p);
    if (p.x <= 0) list = c;
  }
  if (!list) return items;
  const int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
  // Read in UTF-16: that is the form the system carries between processes.
  for (int k = 0; k < count; ++k) {
    std::wstring text(static_cast<size_t>(::SendMessageW(list, LB_GETTEXTLEN, k, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(::SendMessageW(list, LB_GETTEXT, k, reinterpret_cast<LPARAM>(text.data()))));
    items.push_back(text);
  }
  return items;
}

HDROP MakeDrop(const std::vector<std::string>& paths) {
  std::wstring list;
  for (const std::string& p : paths) list += mv::WideFromAnsi(p) + L'\0';
  list += L'\0';
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
  ::GlobalUnlock(block);
  return static_cast<HDROP>(block);
}

void Drop(HWND target, const std::vector<std::string>& paths) {
  ::SendMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
}

Capture CaptureClient(HWND hwnd) {
  Capture c;
  RECT r;
  ::GetClientRect(hwnd, &r);
  c.width = r.right;
  c.height = r.bottom;
  if (c.width <= 0 || c.height <= 0) return c;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = c.width;
  bi.bmiHeader.biHeight = -c.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = ::CreateCompatibleDC(nullptr);
  HGDIOBJ old = ::SelectObject(mem, dib);
  HDC wdc = ::GetDC(hwnd);
  ::BitBlt(mem, 0, 0, c.width, c.height, wdc, 0, 0, SRCCOPY);
  ::ReleaseDC(hwnd, wdc);
  ::GdiFlush();
  const auto* p = static_cast<const unsigned*>(bits);
  c.pixels.assign(p, p + static_cast<size_t>(c.width) * c.height);
  for (auto& v : c.pixels) v &= 0xFFFFFF;
  ::SelectObject(mem, old);
  ::DeleteDC(mem);
  ::DeleteObject(dib);
  return c;
}

DialogDriver::DialogDriver(const std::string& caption, std::function<void(HWND)> action, int timeout_ms)
    : caption_(caption), action_(std::move(action)), timeout_ms_(timeout_ms) {
  thread_ = ::CreateThread(nullptr, 0, &DialogDriver::Run, this, 0, nullptr);
}

DialogDriver::~DialogDriver() { Join(); }

bool DialogDriver::Join() {
  if (thread_) {
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
    thread_ = nullptr;
  }
  return seen_ != 0;
}

namespace {

// Polls from the driver's thread until done() or about five seconds.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 250; ++i) {
    if (done()) return true;
    ::Sleep(20);
  }
  return done();
}

}  // namespace

DWORD WINAPI DialogDriver::Run(void* p) {
  auto* self = static_cast<DialogDriver*>(p);
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(self->timeout_ms_);
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    HWND dlg = ::FindWindowA("#32770", self->caption_.c_str());
    if (dlg && ::IsWindowVisible(dlg)) {
      ::InterlockedExchange(&self->seen_, 1);
      // Up and taking input: its buttons are there and it is enabled.
      WaitFor([dlg] { return ::GetDlgItem(dlg, IDCANCEL) && ::IsWindowEnabled(dlg); });
      self->action_(dlg);
      return 0;
    }
    ::Sleep(20);
  }
  return 0;
}

bool IsOfClass(HWND hwnd, const char* name) {
  char cls[64] = {};
  ::GetClassNameA(hwnd, cls, sizeof(cls));
  return ::lstrcmpiA(cls, name) == 0;
}

namespace {
constexpr int kFileNameCombo = 0x47C;  // cmb13
constexpr int kFileNameEdit = 0x480;   // edt1

struct FindClass {
  const char* name;
  HWND found;
};
BOOL CALLBACK FindChildByClass(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindClass*>(lp);
  if (IsOfClass(hwnd, f->name)) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

void TypeFileNamesAndOpen(HWND dialog, const std::string& names) {
  TypeFileNamesAndOpen(dialog, mv::WideFromAnsi(names));
}

void TypeFileNamesAndOpen(HWND dialog, const std::wstring& names) {
  HWND target = ::GetDlgItem(dialog, kFileNameCombo);
  if (!target) target = ::GetDlgItem(dialog, kFileNameEdit);
  ::SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()));
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

void SelectAllAndOpen(HWND dialog) {
  FindClass f{"SysListView32", nullptr};
  WaitFor([&] {
    ::EnumChildWindows(dialog, &FindChildByClass, reinterpret_cast<LPARAM>(&f));
    return f.found && ::SendMessageA(f.found, LVM_GETITEMCOUNT, 0, 0) > 0;  // the folder is listed
  });
  if (f.found) {
    ::SetFocus(f.found);
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    ::SendMessageA(f.found, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    // The dialog puts the selected names into its name box as it is told.
    HWND names = ::GetDlgItem(dialog, kFileNameCombo);
    if (!names) names = ::GetDlgItem(dialog, kFileNameEdit);
    WaitFor([names] { return ::GetWindowTextLengthA(names) > 0; });
  }
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

}  // namespace mvtest
