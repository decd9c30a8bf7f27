#include "foundation/os/dialog.h"

#include "foundation/os/common/dialog_seam.h"
#include "foundation/os/win32/win_util.h"

namespace velmora::os {

DialogAnswer ShowMessageBox(void* owner, const std::u16string& caption, const std::u16string& text,
                            DialogButtons buttons, DialogIcon icon) {
  if (auto answer = internal::AnswerWithoutShowing(caption, text, buttons)) return *answer;
  UINT type = buttons == DialogButtons::kRetryCancel ? MB_RETRYCANCEL : MB_OK;
  type |= icon == DialogIcon::kError     ? MB_ICONERROR
          : icon == DialogIcon::kWarning ? MB_ICONWARNING
                                         : MB_ICONINFORMATION;
  const int pressed = MessageBoxW(static_cast<HWND>(owner), win::Wide(text).c_str(),
                                  win::Wide(caption).c_str(), type);
  if (pressed == IDRETRY) return DialogAnswer::kRetry;
  if (pressed == IDCANCEL) return DialogAnswer::kCancel;
  if (pressed == 0) {
    internal::ReportDialogOnStandardError(caption, text);
    return internal::DefaultAnswer(buttons);
  }
  return buttons == DialogButtons::kRetryCancel ? DialogAnswer::kCancel : DialogAnswer::kOk;
}

}  // namespace velmora::os
