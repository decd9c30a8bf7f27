#include "foundation/os/common/dialog_seam.h"

#include <cstdio>
#include <mutex>

#include "foundation/os/environment.h"
#include "foundation/text/utf.h"

namespace velmora::os {
namespace {

std::mutex g_handler_lock;
DialogHandler g_handler;

}  // namespace

void SetDialogHandlerForTesting(DialogHandler handler) {
  std::lock_guard<std::mutex> guard(g_handler_lock);
  g_handler = std::move(handler);
}

namespace internal {

void ReportDialogOnStandardError(const std::u16string& caption, const std::u16string& text) {
  const std::string line = "dialog: " + Utf16ToUtf8(caption) + ": " + Utf16ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

DialogAnswer DefaultAnswer(DialogButtons buttons) {
  return buttons == DialogButtons::kRetryCancel ? DialogAnswer::kCancel : DialogAnswer::kOk;
}

std::optional<DialogAnswer> AnswerWithoutShowing(const std::u16string& caption,
                                                 const std::u16string& text,
                                                 DialogButtons buttons) {
  DialogHandler handler;
  {
    std::lock_guard<std::mutex> guard(g_handler_lock);
    handler = g_handler;
  }
  if (handler) return handler(caption, text, buttons);

  const auto answer = GetEnvironmentValue("VELMORA_DIALOG_ANSWER");
  if (!answer) return std::nullopt;
  std::optional<DialogAnswer> chosen;
  if (EqualsIgnoreAsciiCase(*answer, "ok")) chosen = DialogAnswer::kOk;
  if (EqualsIgnoreAsciiCase(*answer, "retry")) chosen = DialogAnswer::kRetry;
  if (EqualsIgnoreAsciiCase(*answer, "cancel")) chosen = DialogAnswer::kCancel;
  if (!chosen) return std::nullopt;  // an unknown answer shows the real box
  ReportDialogOnStandardError(caption, text);
  return chosen;
}

}  // namespace internal
}  // namespace velmora::os
