#include "download/sync_http_get.h"

#include "core/launcher_log.h"
#include "foundation/http/http_client.h"

namespace velmora {
namespace {

constexpr std::uint32_t kSyncTimeoutSeconds = 60;
constexpr std::uint32_t kCancelPollMilliseconds = 500;

// Runs on the caller's thread (callback set and removed, done events of jobs
// that never started) and on the worker (progress, done). The job's context
// is the caller's result variable.
void OnSyncHttpEvent(void*, HTTPClient*, JobEvent event, const HTTPJobStatus* status,
                     const HTTPProgress*) {
  LauncherLog::Write("Sync HTTP callback method called.\r\n");
  if (event == kJobEventDone && status && status->context)
    static_cast<std::atomic<JobResult>*>(status->context)->store(status->result);
}

}  // namespace

bool SyncHttpGet(const char* url, Stream* output, const std::atomic<std::uint8_t>* cancel) {
  LauncherLog::Printf("Sync HTTP request: \"%s\".\r\n", url ? url : "<null>");
  bool success = false;
  HTTPClient* client = nullptr;
  if (url && url[0] != '\0' && output) client = HTTPClient::Create();
  if (client) {
    client->AddRef();
    client->SetCallback(&OnSyncHttpEvent, nullptr);
    (void)client->Init();  // a client that is not ready refuses the job below
    client->SetTimeoutSeconds(kSyncTimeoutSeconds);
    client->SetUserAgent("KR-Launcher");

    std::atomic<JobResult> job_result{kJobResultIncomplete};
    HTTPRequest* request = nullptr;
    if (client->CreateRequest(url, output, &request) && request &&
        client->AddJob(request, &job_result) != 0) {
      for (;;) {
        if (cancel && cancel->load() != 0) {
          client->CancelJobs();
          LauncherLog::Write("Sync HTTP was canceled.\r\n");
          break;
        }
        if (client->WaitForJobs(kCancelPollMilliseconds)) {
          const JobResult result = job_result.load();
          const char* name = JobResultName(result);
          LauncherLog::Printf("Sync HTTP received job result: %u | %s.\r\n", result,
                              name ? name : "Unknown");
          success = result == kJobResultOK;
          break;
        }
      }
    }
    client->Shutdown();
    if (request) request->Release();
    client->Release();
  }
  LauncherLog::Printf("Sync HTTP get result: \"%s\".\r\n", success ? "success" : "failed");
  return success;
}

}  // namespace velmora
