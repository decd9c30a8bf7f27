// Reads back what the code under test wrote to the launcher log, for tests
// that check log lines. Construct it inside an IsolatedSystem so that the
// log file is a fresh one in a throw-away folder.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include "core/launcher_log.h"
#include "testing/test_support.h"

namespace velmora::testing {

class LogCapture {
 public:
  LogCapture() { LauncherLog::ResetForTesting(); }
  ~LogCapture() { LauncherLog::ResetForTesting(); }

  // The whole file.
  std::string Text() const { return ReadFileBytes(LauncherLog::FilePath()); }

  // The messages without their time stamps, split at CR LF.
  std::vector<std::string> Lines() const {
    static const std::regex stamp(R"(\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4} UTC\] )");
    const std::string text = std::regex_replace(Text(), stamp, "");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        lines.push_back(text.substr(start));
        break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  int Count(const std::string& line) const {
    int count = 0;
    for (const auto& each : Lines())
      if (each == line) ++count;
    return count;
  }
};

}  // namespace velmora::testing
