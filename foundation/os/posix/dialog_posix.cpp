#include "foundation/os/dialog.h"

#include "foundation/os/common/dialog_seam.h"
#include "foundation/text/utf.h"

#if VELMORA_HAVE_SDL2
#include <SDL.h>
#endif

namespace velmora::os {

DialogAnswer ShowMessageBox(void* owner, const std::u16string& caption, const std::u16string& text,
                            DialogButtons buttons, DialogIcon icon) {
  if (auto answer = internal::AnswerWithoutShowing(caption, text, buttons)) return *answer;
#if VELMORA_HAVE_SDL2
  const std::string title = Utf16ToUtf8(caption);
  const std::string message = Utf16ToUtf8(text);
  SDL_MessageBoxButtonData ok{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"};
  SDL_MessageBoxButtonData retry_cancel[] = {
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 3, "Cancel"},
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 2, "Retry"},
  };
  SDL_MessageBoxData data{};
  data.flags = icon == DialogIcon::kError     ? SDL_MESSAGEBOX_ERROR
               : icon == DialogIcon::kWarning ? SDL_MESSAGEBOX_WARNING
                                              : SDL_MESSAGEBOX_INFORMATION;
  data.window = static_cast<SDL_Window*>(owner);
  data.title = title.c_str();
  data.message = message.c_str();
  if (buttons == DialogButtons::kRetryCancel) {
    data.numbuttons = 2;
    data.buttons = retry_cancel;
  } else {
    data.numbuttons = 1;
    data.buttons = &ok;
  }
  int pressed = 0;
  if (SDL_ShowMessageBox(&data, &pressed) == 0) {
    if (pressed == 2) return DialogAnswer::kRetry;
    if (pressed == 3) return DialogAnswer::kCancel;
    return buttons == DialogButtons::kRetryCancel ? DialogAnswer::kCancel : DialogAnswer::kOk;
  }
#else
  (void)owner;
  (void)icon;
#endif
  // No display: the box cannot be shown, so its text at least reaches the
  // terminal, and the safe answer is taken.
  internal::ReportDialogOnStandardError(caption, text);
  return internal::DefaultAnswer(buttons);
}

}  // namespace velmora::os
