// Serving as a plug-in worker: the program of each edition serves as the
// worker for plug-ins of its own architecture when started so, before it
// makes any window; the 64-bit edition's 32-bit worker is a program that
// does nothing else.
#pragma once

namespace worker {

// Whether this process was started as a plug-in worker: its command line
// holds the program's handles and the worker switch.
bool StartedAsWorker();

// Answers the program's requests until it asks to quit or goes away, then
// ends the process. Whatever a plug-in does here ends at most this
// process: the program notices, marks the plug-in and starts a new worker
// when it next needs one.
[[noreturn]] void Serve();

}  // namespace worker
