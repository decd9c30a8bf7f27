#include "diagnostics/crash_reporting.h"

#include <mutex>

namespace velmora {
namespace {

std::once_flag g_install_once;
std::string g_upload_url;
bool g_installed = false;

// The default crash endpoint: HTTP on port 8181, path /crash/reportCrash/.
std::string DefaultCrashEndpoint() {
  return std::string("http://") + VELMORA_CRASH_HOST + ":8181/crash/reportCrash/";
}

}  // namespace

void InstallCrashReporting(const char* upload_url) {
  std::call_once(g_install_once, [upload_url] {
    g_upload_url = upload_url ? std::string(upload_url) : DefaultCrashEndpoint();
    g_installed = true;
  });
}

bool IsCrashReportingInstalled() { return g_installed; }

std::string CrashReportingUploadUrl() { return g_upload_url; }

}  // namespace velmora
