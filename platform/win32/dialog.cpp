// Dialogs from the module's dialog templates.
#include <windows.h>

#include "platform/dialog.h"

namespace platform {

intptr_t RunModalDialog(DialogModule module, int templateId, SpiWindow parent, DialogProc proc,
                        intptr_t initParam) {
  if (templateId < 1 || templateId > 0xFFFF) return -1;
  return DialogBoxParamA(static_cast<HINSTANCE>(module.instance), MAKEINTRESOURCEA(templateId),
                         static_cast<HWND>(parent), reinterpret_cast<DLGPROC>(proc), initParam);
}

void EndModalDialog(DialogWindow dialog, intptr_t result) {
  EndDialog(static_cast<HWND>(dialog), result);
}

void SetButtonChecked(DialogWindow dialog, int id, bool checked) {
  CheckDlgButton(static_cast<HWND>(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsButtonChecked(DialogWindow dialog, int id) {
  return IsDlgButtonChecked(static_cast<HWND>(dialog), id) == BST_CHECKED;
}

void CheckRadioInRange(DialogWindow dialog, int first, int last, int chosen) {
  CheckRadioButton(static_cast<HWND>(dialog), first, last, chosen);
}

bool GetWorkArea(ScreenRect* area) {
  RECT r;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return false;
  *area = ScreenRect{r.left, r.top, r.right, r.bottom};
  return true;
}

bool GetWindowBounds(DialogWindow window, ScreenRect* bounds) {
  RECT r;
  if (!GetWindowRect(static_cast<HWND>(window), &r)) return false;
  *bounds = ScreenRect{r.left, r.top, r.right, r.bottom};
  return true;
}

bool GetCursorPoint(int* x, int* y) {
  POINT p;
  if (!GetCursorPos(&p)) return false;
  *x = p.x;
  *y = p.y;
  return true;
}

void MoveWindowTo(DialogWindow window, int x, int y, int width, int height) {
  MoveWindow(static_cast<HWND>(window), x, y, width, height, TRUE);
}

}  // namespace platform
