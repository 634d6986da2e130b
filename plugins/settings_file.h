// The settings file "Morvane.ini" beside the executable, and the Susie
// viewer's registry entry for its plug-in folder (read only).
#pragma once

#include <string>

namespace settings {

inline constexpr char kFileName[] = "Morvane.ini";
inline constexpr char kSectionSetting[] = "Setting";
inline constexpr char kKeyPluginDir[] = "Susie Plug-in Dir";
inline constexpr char kSectionPlugin[] = "Plug-in";
inline constexpr char kKeyInProcess[] = "Plug-ins In Process";
inline constexpr char kKeyHangSeconds[] = "Plug-in Hang Seconds";
inline constexpr char kKeyDecoders[] = "Decoders";
inline constexpr int kMaxDecoders = 8;
inline constexpr int kDefaultHangSeconds = 30;
inline constexpr int kMaxHangSeconds = 86400;  // a day; more is taken as this
inline constexpr char kSusieKey[] = "Software\\Velquist\\Susie\\Plug-in";
inline constexpr char kSusieValue[] = "Path";

// Full path of the running executable, however long.
std::string ExecutablePath();
// The settings file's path: the executable's folder + "\" + "Morvane.ini".
std::string SettingsPathFor(const std::string& exe_path);

// "Susie Plug-in Dir" of section "Setting"; empty when absent. As the
// value is read into 260 bytes, at most its first 259 characters count.
std::string ReadPluginDir(const std::string& settings_path);
enum class SusieRegistry { NoKey, NoValue, Found };
// The Susie viewer's plug-in folder: Found (and the text) when the key
// opens and its "Path" value reads as a text of at most 255 bytes.
SusieRegistry ReadSusieRegistryPath(std::string& path);
// Whether a plug-in is in use: exactly 1 (the default) means yes.
bool ReadPluginEnabled(const std::string& settings_path, const std::string& plugin_file_name);

// Whether this edition's own third-party plug-ins run inside the program
// (1) rather than in a plug-in worker (0, the default).
bool ReadPluginsInProcess(const std::string& settings_path);
// How long a plug-in in a worker may go without a sign of life before it
// counts as hung: 30 seconds by default (also for a text that is no
// number, or a negative one); 0 means never; at most kMaxHangSeconds.
int ReadHangSeconds(const std::string& settings_path);

// How many files decode at once: as many as the machine has processors
// (at most kMaxDecoders) unless the settings name a number from 1 to
// kMaxDecoders.
int ReadDecoders(const std::string& settings_path);

void WritePluginDir(const std::string& settings_path, const std::string& dir);
void WritePluginEnabled(const std::string& settings_path, const std::string& plugin_file_name, bool enabled);

// The folder used when the settings file names none: the Susie registry
// value when the key opens and the value reads, else the executable's
// folder with its trailing backslash.
std::string DefaultPluginDir();

}  // namespace settings
