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

namespace {

bool IsRadioButton(HWND control) {
  char className[16];
  if (!GetClassNameA(control, className, sizeof className) || lstrcmpiA(className, "Button") != 0)
    return false;
  LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

}  // namespace

// CheckRadioButton finds controls by id, and a group box that comes first with
// the same id would take the check meant for the radio button; so walk the
// children and touch radio buttons only.
void CheckRadioInRange(DialogWindow dialog, int first, int last, int chosen) {
  for (HWND child = GetWindow(static_cast<HWND>(dialog), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    int id = GetDlgCtrlID(child);
    if (id < first || id > last || !IsRadioButton(child)) continue;
    SendMessageA(child, BM_SETCHECK, id == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
  }
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
