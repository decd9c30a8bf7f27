// Modal message boxes.
//
// Automated runs answer boxes without showing them: when the environment
// variable VELMORA_DIALOG_ANSWER is "ok", "retry" or "cancel", the caption and
// text are written to standard error as one line "dialog: <caption>: <text>"
// and that answer is returned. In-process tests can install a handler instead.
#pragma once

#include <functional>
#include <string>

namespace velmora::os {

enum class DialogButtons { kOk, kRetryCancel };
enum class DialogIcon { kError, kWarning, kInformation };
enum class DialogAnswer { kOk, kRetry, kCancel };

// `owner` is a native window handle or null. Blocks the calling thread until
// the box is closed. When no box can be shown (no display) the answer is
// kCancel for Retry/Cancel boxes and kOk otherwise, after writing the line
// above to standard error.
DialogAnswer ShowMessageBox(void* owner, const std::u16string& caption,
                            const std::u16string& text, DialogButtons buttons,
                            DialogIcon icon);

using DialogHandler = std::function<DialogAnswer(const std::u16string& caption,
                                                 const std::u16string& text,
                                                 DialogButtons buttons)>;
// Replaces the box for the whole process (tests). An empty handler restores
// the real box.
void SetDialogHandlerForTesting(DialogHandler handler);

}  // namespace velmora::os
