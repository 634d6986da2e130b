// Runs the program's real windows inside a test: the settings file and the
// Susie registry key as a test wants them, the three forms made and torn
// down, message boxes answered and recorded, messages pumped.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "forms/message_box.h"
#include "image/before_image.h"

namespace mvtest {

// Path of the settings file the program under test uses (beside the exe).
std::string SettingsPath();
void RemoveSettingsFile();
void WriteSettingsFile(const std::string& contents);
// The Susie viewer's registry value; Remove deletes the key.
// Marks a Wine prefix that the test scripts made (scripts/wine-session.sh):
// only there do the tests touch the Susie viewer's key, and put it back.
inline constexpr char kTestPrefixKey[] = "Software\\Morvane\\TestPrefix";
void SetSusieRegistryPath(const std::string& path);
void RemoveSusieRegistryKey();

// Pumps the program's messages (with its keyboard rules) for a while.
void Pump(int milliseconds = 0);
// Pumps until the predicate holds or the time runs out; true if it held.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 3000);
// Pumps until the main window's load (and those queued behind it) has
// ended; false when it runs past the time.
bool WaitForLoad(int timeout_ms = 60000);

// Records every message box and answers it from a queue (default: IDOK /
// IDYES / IDRETRY per the buttons... see Answer).
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  // The next boxes get these answers, in order; after them IDOK or IDNO.
  void Answer(std::vector<int> answers) { answers_ = std::move(answers); }
  // Runs while each box is up, where its modal loop would be.
  void WhileUp(std::function<void(const forms::MessageBoxRequest&)> action) { while_up_ = std::move(action); }
  const std::vector<forms::MessageBoxRequest>& Boxes() const { return boxes_; }

 private:
  std::vector<forms::MessageBoxRequest> boxes_;
  std::vector<int> answers_;
  std::function<void(const forms::MessageBoxRequest&)> while_up_;
  forms::MessageBoxHook previous_;
};

// A fixture that makes the program's forms with the settings a test chose.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Makes the three forms (the main window's creation reads the settings).
  void StartApp();
  void StopApp();
  MessageBoxRecorder boxes;
  bool started_ = false;
};

// Decodes a file and appends it to the store and all four lists with the
// load command's own operation; null (and nothing appended) when it does
// not decode.
tag_BeforeImage* AddListedImage(const std::string& path);
// Writes bytes to a file in dir and appends it as above.
tag_BeforeImage* AddListedBytes(const std::string& dir, const std::string& name, const std::string& bytes);

// Copies what a window shows now (its client area) as 0x00RRGGBB pixels,
// row by row from the top.
struct Capture {
  int width = 0, height = 0;
  std::vector<unsigned> pixels;
  unsigned at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Capture CaptureClient(HWND hwnd);

// The items of the source list of the program running as process `pid`,
// read across processes; empty until its main window shows. `main`, when
// given, receives that window.
std::vector<std::wstring> SourceListOf(DWORD pid, HWND* main = nullptr);

// Drops files on a window as the shell does: DROPFILES and a double-ended
// list of wide paths, owned by the receiver; sent, or posted.
HDROP MakeDrop(const std::vector<std::string>& paths);
void Drop(HWND target, const std::vector<std::string>& paths);

// Whether the window's class is `name`, letter case ignored.
bool IsOfClass(HWND hwnd, const char* name);

// Points at (x, y) of a control as the user does, the cursor moved away
// first so that the tooltip starts afresh, and returns the text that the
// tooltip window shows once it comes up, its lines joined; empty when none
// comes up. `where`, when given, receives the tip window's rectangle.
std::wstring TooltipShownAt(HWND tool, int x, int y, RECT* where = nullptr);
// Width of a text in a control's own font, measured without the forms layer.
int TextWidth(HWND control, const std::string& text);

// Runs an action on the first visible top-level dialog (#32770) with this
// caption, from another thread, while the main thread sits in the dialog's
// modal loop. Join() reports whether the dialog was seen.
class DialogDriver {
 public:
  DialogDriver(const std::string& caption, std::function<void(HWND)> action, int timeout_ms = 8000);
  ~DialogDriver();
  bool Join();

 private:
  static DWORD WINAPI Run(void* self);
  HANDLE thread_ = nullptr;
  std::string caption_;
  std::function<void(HWND)> action_;
  int timeout_ms_;
  volatile LONG seen_ = 0;
};

// Closes the first top-level dialog (#32770) with this caption that
// appears within the timeout, from another thread, by pressing Cancel;
// returns at once. Join() reports whether it was seen.
class DialogCanceller : public DialogDriver {
 public:
  explicit DialogCanceller(const std::string& caption, int timeout_ms = 5000)
      : DialogDriver(caption, [](HWND dlg) { ::PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0); }, timeout_ms) {}
};

// Types file names into an open dialog and presses its Open button.
void TypeFileNamesAndOpen(HWND dialog, const std::string& names);
void TypeFileNamesAndOpen(HWND dialog, const std::wstring& names);
// Selects every file the open dialog lists and presses its Open button.
void SelectAllAndOpen(HWND dialog);

}  // namespace mvtest
