#include "framework/dialog.h"

#include "framework/settings.h"
#include "framework/startup.h"

namespace {

// One axis: centre, shift, then clamp, lower bound first.
int PlaceOnAxis(int low, int high, int size, int cursor, int shift) {
  long long at = static_cast<long long>(cursor) - size / 2 + shift;
  if (at < low) {
    at = low;
  } else if (at > static_cast<long long>(high) - size) {
    at = static_cast<long long>(high) - size;
  }
  return static_cast<int>(at);
}

}  // namespace

void ComputePlacement(const platform::ScreenRect& work, const platform::ScreenRect& window,
                      int cursorX, int cursorY, int dx, int dy, int* x, int* y) {
  *x = PlaceOnAxis(work.left, work.right, window.right - window.left, cursorX, dx);
  *y = PlaceOnAxis(work.top, work.bottom, window.bottom - window.top, cursorY, dy);
}

void PlaceDialog(platform::DialogWindow window, uint8_t horizontalMode, uint8_t verticalMode,
                 int dx, int dy) {
  platform::ScreenRect work, bounds;
  int cursorX = 0, cursorY = 0;
  if (!platform::GetWorkArea(&work) || !platform::GetWindowBounds(window, &bounds) ||
      !platform::GetCursorPoint(&cursorX, &cursorY))
    return;
  int x = 0, y = 0;
  ComputePlacement(work, bounds, cursorX, cursorY, dx, dy, &x, &y);
  if (horizontalMode != PlaceCentredOnCursor) x = bounds.left;
  if (verticalMode != PlaceCentredOnCursor) y = bounds.top;
  platform::MoveWindowTo(window, x, y, bounds.right - bounds.left, bounds.bottom - bounds.top);
}

int RunConfigurationDialog(SpiWindow parent, int function, platform::DialogProc procedure,
                           const platform::DialogTemplateSet* terminalTables) {
  if (function != 1) return ResultNotImplemented;
  // A resource id is 16 bits: a larger value must not wrap onto template 1 or 2.
  long long templateId = static_cast<long long>(HostUsesJapanese()) + 1;
  if (templateId < 1 || templateId > 0xFFFF) return ResultOk;
  platform::DialogModule module{spi_startup::ModuleInstance, terminalTables};
  // The dialog's own result (OK, Cancel, or none shown) is not passed on.
  platform::RunModalDialog(module, static_cast<int>(templateId), parent, procedure, 0);
  return ResultOk;
}

void ShowCheckBoxSettings(platform::DialogWindow dialog, const CheckBoxSetting* boxes,
                          size_t count) {
  for (size_t i = 0; i < count; ++i)
    platform::SetButtonChecked(dialog, boxes[i].controlId, *boxes[i].setting != 0);
}

void TakeCheckBoxSettings(platform::DialogWindow dialog, const CheckBoxSetting* boxes,
                          size_t count) {
  for (size_t i = 0; i < count; ++i)
    *boxes[i].setting = platform::IsButtonChecked(dialog, boxes[i].controlId) ? 1 : 0;
}

intptr_t CheckBoxDialogMessage(platform::DialogWindow dialog, unsigned message, uintptr_t wParam,
                               const CheckBoxSetting* boxes, size_t count, void (*save)()) {
  if (message == platform::DialogInitMessage) {
    ShowCheckBoxSettings(dialog, boxes, count);
    PlaceDialog(dialog, PlaceCentredOnCursor, PlaceCentredOnCursor, 0, 0);
    return 1;
  }
  if (message != platform::DialogCommandMessage) return 0;
  switch (CommandId(wParam)) {
    case DialogOk:
      TakeCheckBoxSettings(dialog, boxes, count);
      save();
      platform::EndModalDialog(dialog, DialogOk);
      return 1;
    case DialogCancel:
      platform::EndModalDialog(dialog, DialogCancel);
      return 1;
    default:
      // A click on a box changes only the box; the settings follow on OK.
      return 0;
  }
}
