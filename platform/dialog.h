// Modal dialogs and their controls. On Windows these are dialog templates in
// the module's resources; elsewhere the same dialogs run in the terminal from
// tables that the deliverable hands over with its module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interface/spi_types.h"

#ifdef _WIN32
#define SPI_DIALOG_CALL __stdcall
#else
#define SPI_DIALOG_CALL
#endif

namespace platform {

// The dialog window (HWND on Windows, the terminal dialog's state elsewhere).
using DialogWindow = void*;

// The two messages a configuration dialog handles, with their Windows numbers.
constexpr unsigned DialogInitMessage = 0x0110;     // WM_INITDIALOG
constexpr unsigned DialogCommandMessage = 0x0111;  // WM_COMMAND: low word of wParam = id

// Same shape and calling convention as a Windows dialog procedure, so Windows
// can call it directly; non-zero means the message was handled.
using DialogProc = intptr_t(SPI_DIALOG_CALL*)(DialogWindow dialog, unsigned message,
                                               uintptr_t wParam, intptr_t lParam);

// What the terminal needs to show a dialog. Texts are UTF-8 and keep their "&"
// mnemonic markers, exactly as the resource scripts carry them.
enum DialogControlKind {
  ControlDefaultButton,
  ControlPushButton,
  ControlCheckBox,  // automatic: toggles itself, then reports a command
  ControlRadio,     // automatic: chooses itself within its group, then reports
  ControlGroupBox,  // a caption over the controls that follow it
};

struct DialogControl {
  int id;
  DialogControlKind kind;
  bool startsGroup;
  const char* text;
};

struct DialogTemplate {
  int id;
  const char* title;
  const DialogControl* controls;
  size_t count;
};

struct DialogTemplateSet {
  const DialogTemplate* templates;
  size_t count;
};

// Where a dialog template is looked up: the module instance on Windows, the
// deliverable's tables elsewhere.
struct DialogModule {
  void* instance;
  const DialogTemplateSet* tables;
};

// Runs the dialog modally, owned by parent. Answers the value given to
// EndModalDialog, or -1 when no dialog could be shown (no such template, no
// terminal).
intptr_t RunModalDialog(DialogModule module, int templateId, SpiWindow parent, DialogProc proc,
                        intptr_t initParam);
void EndModalDialog(DialogWindow dialog, intptr_t result);

void SetButtonChecked(DialogWindow dialog, int id, bool checked);
bool IsButtonChecked(DialogWindow dialog, int id);
// Checks the radio button chosen and clears the others with ids first..last
// (a group box that shares an id with one of them takes no check).
void CheckRadioInRange(DialogWindow dialog, int first, int last, int chosen);

// Screen geometry for placing a dialog; false where there is no screen.
struct ScreenRect {
  int left, top, right, bottom;
};
bool GetWorkArea(ScreenRect* area);
bool GetWindowBounds(DialogWindow window, ScreenRect* bounds);
bool GetCursorPoint(int* x, int* y);
void MoveWindowTo(DialogWindow window, int x, int y, int width, int height);

}  // namespace platform
