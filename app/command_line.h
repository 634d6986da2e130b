// The files a user names when starting the program ("Open with", "Send
// to", a shortcut's arguments).
#pragma once

#include <string>
#include <vector>

namespace app {

// The arguments after the program's own name, each made a full path
// against the current folder now, in the order given. Quoted paths may
// hold spaces.
std::vector<std::wstring> CommandLineFiles(const wchar_t* command_line);

}  // namespace app
