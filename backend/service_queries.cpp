#include "backend/service_queries.h"

#include <climits>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/launcher_globals.h"
#include "core/launcher_log.h"
#include "diagnostics/crash_reporting.h"
#include "download/sync_http_get.h"
#include "foundation/streams/memory_stream.h"
#include "foundation/text/utf.h"
#include "foundation/xml/xml_text_reader.h"

namespace velmora {
namespace {

using Parameters = std::vector<std::pair<const char*, std::string>>;

// Base URL, "/krops/<command>", the extra path when there is one, then the
// parameters as they are: the service expects them unencoded.
std::string BuildRequestUrl(const TesselClient& client, const char* command,
                            const Parameters& parameters) {
  std::string url = ResolveServiceEndpoint(client);
  url += "/krops/";
  url += command;
  if (!client.extraPath.empty()) url += "/" + client.extraPath;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    url += i == 0 ? "?" : "&";
    url += parameters[i].first;
    url += "=";
    url += parameters[i].second;
  }
  LauncherLog::Printf("Constructed URL : %s\r\n", url.c_str());
  return url;
}

// Signed decimal with optional leading white space and sign, as far as the
// digits go; anything else gives 0. Values beyond 32 bits saturate.
std::int32_t ParseInteger(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<std::int32_t>(value);
}

struct Field {
  const char16_t* name;
  std::function<void(std::u16string_view)> assign;
  bool seen = false;
};

// Visits every node after the deciding element up to the end of the
// document; an element with a field's name takes the text that directly
// follows its start tag (empty when another node comes first).
void ScanFields(XmlTextReader& reader, std::vector<Field>& fields) {
  Field* pending = nullptr;
  while (reader.Read()) {
    const XmlNode& node = reader.Node();
    if (pending) {
      const bool is_text = node.type == XmlNodeType::kText;
      pending->assign(is_text ? std::u16string_view(node.value) : std::u16string_view());
      pending = nullptr;
      if (is_text) continue;
    }
    if (node.type != XmlNodeType::kElement) continue;
    for (Field& field : fields) {
      if (node.name == field.name) {
        field.seen = true;
        pending = &field;
        break;
      }
    }
  }
  if (pending) pending->assign({});
}

std::function<void(std::u16string_view)> TextInto(std::string* target) {
  return [target](std::u16string_view value) { *target = Utf16ToUtf8(value); };
}

std::function<void(std::u16string_view)> IntegerInto(std::int32_t* target) {
  return [target](std::u16string_view value) { *target = ParseInteger(value); };
}

ReplyParseResult ParseErrorTag(XmlTextReader& reader, ServiceError* error) {
  ServiceError detail;
  std::vector<Field> fields;
  fields.push_back({u"component", IntegerInto(&detail.component)});
  fields.push_back({u"errorCode", IntegerInto(&detail.errorCode)});
  fields.push_back({u"errorName", TextInto(&detail.errorName)});
  ScanFields(reader, fields);
  LauncherLog::Printf("ParseErrorTag: Received error from tessel '%s' (%u) in component (%u)!\r\n",
                      detail.errorName.c_str(), static_cast<unsigned>(detail.errorCode),
                      static_cast<unsigned>(detail.component));
  const bool complete = fields[0].seen && fields[1].seen && fields[2].seen;
  if (error) *error = complete ? detail : ServiceError();
  return complete ? ReplyParseResult::kErrorReply : ReplyParseResult::kNoReply;
}

// Opens the reply and finds the deciding element; `read_fields` handles the
// reply proper, returning whether its required fields were there.
ReplyParseResult ParseReply(const std::uint8_t* data, std::size_t size, const char16_t* decider,
                            const char* invalid_line, ServiceError* error,
                            const std::function<bool(XmlTextReader&)>& read_fields) {
  XmlTextReader reader;
  if (!data || !reader.Open(data, size)) {
    LauncherLog::Write(invalid_line);
    return ReplyParseResult::kNoReply;
  }
  while (reader.Read()) {
    const XmlNode& node = reader.Node();
    if (node.type != XmlNodeType::kElement) continue;
    if (node.name == decider)
      return read_fields(reader) ? ReplyParseResult::kSuccess : ReplyParseResult::kNoReply;
    if (node.name == u"error") return ParseErrorTag(reader, error);
  }
  return ReplyParseResult::kNoReply;
}

// A growable in-memory stream for a reply; null when it cannot be made.
MemoryStream* CreateReplyStream() {
  MemoryStreamOptions options;
  options.resizable = true;
  options.growth_factor = 1.0;
  options.growth_step = 1024;
  MemoryStream* stream = MemoryStream::Create(options);
  if (stream) stream->AddRef();
  return stream;
}

}  // namespace

ReplyParseResult ParseGetCurrentVersion(const std::uint8_t* data, std::size_t size,
                                        VersionInfo* info, ServiceError* error) {
  VersionInfo record;
  record.executable = "Velmora";
  const ReplyParseResult result = ParseReply(
      data, size, u"getcurrentversion", "ParseGetCurrentVersion: Server returned invalid XML!\r\n",
      error, [&record](XmlTextReader& reader) {
        std::vector<Field> fields;
        fields.push_back({u"newversion", TextInto(&record.newversion)});
        fields.push_back({u"newgameversion", TextInto(&record.newgameversion)});
        fields.push_back({u"manifesturl", TextInto(&record.manifesturl)});
        fields.push_back({u"gamemanifesturl", TextInto(&record.gamemanifesturl)});
        fields.push_back({u"crashurl", TextInto(&record.crashurl)});
        fields.push_back({u"telemurl", TextInto(&record.telemurl)});
        fields.push_back({u"environment", TextInto(&record.environment)});
        fields.push_back({u"launcheraction", IntegerInto(&record.launcheraction)});
        fields.push_back({u"created", TextInto(&record.created)});
        fields.push_back({u"built", TextInto(&record.built)});
        fields.push_back({u"externalurl", TextInto(&record.externalurl)});
        fields.push_back({u"executable", TextInto(&record.executable)});
        fields.push_back({u"unpatchableversion", IntegerInto(&record.unpatchableversion)});
        fields.push_back({u"unpatchableurl", TextInto(&record.unpatchableurl)});
        ScanFields(reader, fields);
        return fields[0].seen && fields[2].seen && fields[6].seen;
      });
  if (info) *info = result == ReplyParseResult::kSuccess ? record : VersionInfo();
  return result;
}

ReplyParseResult ParseGetSystemStatus(const std::uint8_t* data, std::size_t size,
                                      std::string* status, ServiceError* error) {
  std::string text;
  const ReplyParseResult result = ParseReply(
      data, size, u"getsystemstatus", "ParseGetCurrentStatus: Server returned invalid XML!\r\n",
      error, [&text](XmlTextReader& reader) {
        std::vector<Field> fields;
        fields.push_back({u"status", TextInto(&text)});
        ScanFields(reader, fields);
        return fields[0].seen;
      });
  if (status) *status = result == ReplyParseResult::kSuccess ? text : std::string();
  return result;
}

bool GetVersionInformation(const TesselClient& client, VersionInfo* out) {
  const std::string url = BuildRequestUrl(
      client, "getCurrentVersion", {{"lver", LauncherVersion()}, {"menv", client.environment}});
  MemoryStream* stream = CreateReplyStream();
  VersionInfo reply;
  bool success = false;
  if (stream && SyncHttpGet(url.c_str(), stream, nullptr)) {
    ServiceError error;
    success = ParseGetCurrentVersion(stream->Data(), stream->Size(), &reply, &error) ==
              ReplyParseResult::kSuccess;
  }
  // The first version query of the process fixes the crash upload address:
  // the reply's (even an empty one) or, without a reply, the default.
  InstallCrashReporting(success ? reply.crashurl.c_str() : nullptr);
  if (stream) {
    LauncherLog::Printf("GetVersionInformation(): Version info mem stream count=%d\r\n",
                        stream->RefCount());
    stream->Release();
  }
  if (success && out) *out = std::move(reply);
  return success;
}

bool GetSystemStatus(const TesselClient& client, std::string* out) {
  const std::string url = BuildRequestUrl(
      client, "getSystemStatus",
      {{"lver", LauncherVersion()}, {"lang", "en"}, {"name", client.environment}});
  MemoryStream* stream = CreateReplyStream();
  std::string status;
  bool success = false;
  if (stream && SyncHttpGet(url.c_str(), stream, nullptr)) {
    ServiceError error;
    success = ParseGetSystemStatus(stream->Data(), stream->Size(), &status, &error) ==
              ReplyParseResult::kSuccess;
  }
  if (stream) stream->Release();
  if (success && out) *out = std::move(status);
  return success;
}

}  // namespace velmora
