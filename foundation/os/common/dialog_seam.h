// The part of message boxes that both backends share: the test handler and
// the VELMORA_DIALOG_ANSWER answer for whole-process runs.
#pragma once

#include <optional>

#include "foundation/os/dialog.h"

namespace velmora::os::internal {

// Answers the box without showing it when a test handler is installed or the
// environment asks for an automatic answer; nothing when a real box is due.
std::optional<DialogAnswer> AnswerWithoutShowing(const std::u16string& caption,
                                                 const std::u16string& text,
                                                 DialogButtons buttons);
// Writes "dialog: <caption>: <text>" to standard error.
void ReportDialogOnStandardError(const std::u16string& caption, const std::u16string& text);
// The answer used when no box can be shown.
DialogAnswer DefaultAnswer(DialogButtons buttons);

}  // namespace velmora::os::internal
