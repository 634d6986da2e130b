// Decoding a file through plug-ins that run in a worker: one request for a
// run of plug-ins that come next in the list and share a worker, the
// picture taken over from shared memory without a copy.
#pragma once

#include <vector>

struct QvSpiPlugin;
struct tag_BeforeImage;
class QvSpiCtrl;

enum class WorkerAttempt {
  Decoded,
  Declined,   // none of the run made a picture: the walk goes on
  FileError,  // the file could not be read
  GaveUp,     // workers kept dying over this file: it fails
};

// `run`: usable plug-ins of one worker, in list order. A plug-in that
// crashes or hangs the worker is marked faulted and the file goes on to the
// plug-ins after it in a new worker; a death with no plug-in of the run to
// blame is counted, and the run passed over after a few.
WorkerAttempt DecodeInWorker(QvSpiCtrl& host, const std::vector<QvSpiPlugin*>& run, tag_BeforeImage& image);
