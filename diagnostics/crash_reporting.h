// Crash reporting as the rest of the launcher sees it.
#pragma once

#include <string>

namespace velmora {

// Installs the crash reporter with the upload address; called after every
// version query. Only the first call in a process has an effect, also when
// two first calls meet on different threads. `upload_url` is the "crashurl"
// of the version reply when one was read (even if empty), otherwise null for
// the default endpoint.
//
// The reporter library itself arrives with its own component; until then the
// call records the address it was given (CrashReportingUploadUrl) and
// installs nothing else.
void InstallCrashReporting(const char* upload_url);

// Whether InstallCrashReporting has run, and the address it took.
bool IsCrashReportingInstalled();
std::string CrashReportingUploadUrl();

}  // namespace velmora
