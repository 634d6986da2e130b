#include "forms/menu.h"

#include "base/wide_text.h"

namespace forms {

MainMenu::MainMenu() : bar_(::CreateMenu()), bar_handle_(bar_.get()) {}

HMENU MainMenu::AddPopup(const std::string& caption) {
  HMENU popup = ::CreatePopupMenu();  // owned by the bar from here on
  ::AppendMenuW(bar_handle_, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                mv::WideFromAnsi(caption).c_str());
  return popup;
}

int MainMenu::AddBarItem(const std::string& caption, NotifyHandler on_click) {
  int id = next_id_++;
  ::AppendMenuW(bar_handle_, MF_STRING, id, mv::WideFromAnsi(caption).c_str());
  handlers_[id] = std::move(on_click);
  return id;
}

int MainMenu::AddItem(HMENU popup, const std::string& caption, NotifyHandler on_click, Shortcut shortcut) {
  int id = next_id_++;
  std::string text = caption;
  if (!shortcut.text.empty()) text += "\t" + shortcut.text;
  ::AppendMenuW(popup, MF_STRING, id, mv::WideFromAnsi(text).c_str());
  handlers_[id] = std::move(on_click);
  if (shortcut.key) {
    BYTE flags = FVIRTKEY;
    if (shortcut.ctrl) flags |= FCONTROL;
    if (shortcut.shift) flags |= FSHIFT;
    if (shortcut.alt) flags |= FALT;
    accels_.push_back(ACCEL{flags, shortcut.key, static_cast<WORD>(id)});
    accel_built_ = false;
  }
  return id;
}

void MainMenu::AddSeparator(HMENU popup) { ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr); }

void MainMenu::SetEnabled(int id, bool enabled) {
  ::EnableMenuItem(bar_handle_, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool MainMenu::Enabled(int id) const {
  const UINT state = ::GetMenuState(bar_handle_, static_cast<UINT>(id), MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

HACCEL MainMenu::Accelerators() {
  if (!accel_built_) {
    accel_table_.reset(accels_.empty() ? nullptr
                                       : ::CreateAcceleratorTableW(accels_.data(), static_cast<int>(accels_.size())));
    accel_built_ = true;
  }
  return accel_table_.get();
}

bool MainMenu::Dispatch(int id) {
  auto it = handlers_.find(id);
  if (it == handlers_.end()) return false;
  if (it->second) it->second();
  return true;
}

}  // namespace forms
