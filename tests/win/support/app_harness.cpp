#include "tests/win/support/app_harness.h"

#include "app/app_forms.h"
#include "app/MainForm.h"
#include "forms/application.h"
#include "plugins/settings_file.h"
#include "tests/win/support/paths.h"

namespace mvtest {

std::string SettingsPath() { return settings::SettingsPathFor(settings::ExecutablePath()); }

void RemoveSettingsFile() {
  ::SetFileAttributesA(SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(SettingsPath().c_str());
}

void WriteSettingsFile(const std::string& contents) { WriteFileBytes(SettingsPath(), contents); }

void SetSusieRegistryPath(const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, settings::kSusieKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(key, settings::kSusieValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
  ::RegCloseKey(key);
}

void RemoveSusieRegistryKey() { ::RegDeleteKeyA(HKEY_CURRENT_USER, settings::kSusieKey); }

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

MessageBoxRecorder::MessageBoxRecorder() {
  previous_ = forms::SetMessageBoxHook([this](const forms::MessageBoxRequest& r) {
    boxes_.push_back(r);
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
  RemoveSettingsFile();
  RemoveSusieRegistryKey();
}

void AppTest::TearDown() {
  StopApp();
  RemoveSettingsFile();
  RemoveSusieRegistryKey();
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

DialogCanceller::DialogCanceller(const std::string& caption, int timeout_ms)
    : caption_(caption), timeout_ms_(timeout_ms) {
  thread_ = ::CreateThread(nullptr, 0, &DialogCanceller::Run, this, 0, nullptr);
}

DialogCanceller::~DialogCanceller() { Join(); }

bool DialogCanceller::Join() {
  if (thread_) {
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
    thread_ = nullptr;
  }
  return seen_ != 0;
}

DWORD WINAPI DialogCanceller::Run(void* p) {
  auto* self = static_cast<DialogCanceller*>(p);
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(self->timeout_ms_);
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    HWND dlg = ::FindWindowA("#32770", self->caption_.c_str());
    if (dlg && ::IsWindowVisible(dlg)) {
      ::InterlockedExchange(&self->seen_, 1);
      ::PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
    ::Sleep(20);
  }
  return 0;
}

}  // namespace mvtest
