// SyncHttpGet: fetches one URL into a caller's stream and returns only when
// the transfer has ended.
//
// Every call creates its own short-lived HTTPClient (60-second network
// timeout, User-Agent "KR-Launcher"), so calls on different threads never
// share a client, and nothing outlives the call. The call blocks its thread;
// a cancel flag is read before every wait of at most 500 ms.
//
// Log lines, each ending in CR LF:
//   Sync HTTP request: "<url>".          ("<null>" for a missing URL)
//   Sync HTTP callback method called.    (per client event: callback
//                                         installed, progress, done, removed)
//   Sync HTTP received job result: <code> | <name>.
//   Sync HTTP was canceled.
//   Sync HTTP get result: "success" | "failed".
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/streams/stream.h"

namespace velmora {

// True when the job ended with kJobResultOK; the body is then in `output`
// (which may be empty: the body is not checked here). False for a missing or
// empty URL, a missing stream, a set-up failure, a cancellation or any other
// job result; `output` may then hold part of a body. `cancel`, when given,
// is owned by the caller; any nonzero value asks the fetch to stop.
[[nodiscard]] bool SyncHttpGet(const char* url, Stream* output,
                               const std::atomic<std::uint8_t>* cancel = nullptr);

}  // namespace velmora
