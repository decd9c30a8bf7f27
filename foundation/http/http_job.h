// The job contract of the HTTP job engine: result codes, event codes and the
// status record passed with every event.
#pragma once

#include <cstdint>

namespace velmora {

// How a job ended. The names are written to the launcher log.
using JobResult = std::uint32_t;
inline constexpr JobResult kJobResultOK = 0;                      // 2xx, body written
inline constexpr JobResult kJobResultIncomplete = 1;              // queued or running
inline constexpr JobResult kJobResultErrorSocket = 2;             // socket unusable
inline constexpr JobResult kJobResultErrorBadRequest = 3;         // request cannot be sent
inline constexpr JobResult kJobResultErrorAddressLookup = 4;      // host name not resolved
inline constexpr JobResult kJobResultErrorConnectionFailure = 5;  // cannot connect
inline constexpr JobResult kJobResultErrorTimeout = 6;            // a network wait timed out
inline constexpr JobResult kJobResultErrorConnectionLost = 7;     // send/receive failed
inline constexpr JobResult kJobResultErrorCancelled = 8;
inline constexpr JobResult kJobResultErrorServerError = 9;        // final status not 2xx/401
inline constexpr JobResult kJobResultErrorNeedAuthorization = 10; // final status 401
inline constexpr JobResult kJobResultErrorOutputStreamFailure = 11;
inline constexpr JobResult kJobResultErrorInputStreamFailure = 12;  // never for GET
inline constexpr JobResult kJobResultErrorBadFormat = 13;           // malformed response
inline constexpr JobResult kJobResultErrorHeaderHandlerFailure = 14;

// "kJobResultOK" ... "kJobResultErrorHeaderHandlerFailure" for codes 0 to 14,
// null for any other value (callers pick their own text for those).
const char* JobResultName(JobResult result);

using JobEvent = std::uint32_t;
// On the thread that calls SetCallback, to the callback just installed.
inline constexpr JobEvent kJobEventCallbackSet = 0x700AF200;
// On the thread that calls SetCallback or Shutdown, to the callback removed.
inline constexpr JobEvent kJobEventCallbackCleared = 0x700AF201;
// On the worker thread while a body arrives; event data is HTTPProgress.
inline constexpr JobEvent kJobEventProgress = 0x700AF300;
// Once per job: on the worker thread, or on the thread calling CancelJobs
// for jobs that never started.
inline constexpr JobEvent kJobEventDone = 0x700AF301;

// The expected size of a response that gives no length.
inline constexpr std::uint64_t kHTTPUnknownLength = 0x7FFFFFFFFFFFFFFFull;

struct HTTPProgress {
  std::uint64_t received = 0;  // body bytes received so far
  std::uint64_t expected = 0;  // Content-Length, or kHTTPUnknownLength
  std::uint64_t percent = 0;   // 0 to 100; 50 when the length is unknown
};

}  // namespace velmora
