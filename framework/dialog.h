// The frame of every configuration dialog: the template in the host's language,
// placement beside the mouse cursor, and the check-box settings pattern.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/spi.h"
#include "platform/dialog.h"

// Placement mode that centres the dialog on the mouse cursor along an axis.
constexpr uint8_t PlaceCentredOnCursor = 2;

// Where PlaceDialog puts a window: centred on the cursor, shifted by (dx, dy),
// then pulled into the work area; the lower bound is tested first and the
// upper one only when the lower holds.
void ComputePlacement(const platform::ScreenRect& work, const platform::ScreenRect& window,
                      int cursorX, int cursorY, int dx, int dy, int* x, int* y);

// Moves window as ComputePlacement says along each axis whose mode is 2; other
// modes leave that axis as it is. Does nothing where there is no screen.
void PlaceDialog(platform::DialogWindow window, uint8_t horizontalMode, uint8_t verticalMode,
                 int dx, int dy);

// ConfigurationDlg's body: for function 1 runs the dialog from template
// HostUsesJapanese() + 1 of this library (terminalTables stand in for the
// resources where there are none) and answers ResultOk whatever happened;
// any other function answers ResultNotImplemented and shows nothing.
int RunConfigurationDialog(SpiWindow parent, int function, platform::DialogProc procedure,
                           const platform::DialogTemplateSet* terminalTables);

// A check box that shows a 0/1 setting.
struct CheckBoxSetting {
  int controlId;
  int* setting;
};
void ShowCheckBoxSettings(platform::DialogWindow dialog, const CheckBoxSetting* boxes, size_t count);
void TakeCheckBoxSettings(platform::DialogWindow dialog, const CheckBoxSetting* boxes, size_t count);

// The body of a dialog procedure for a dialog of check boxes, OK and Cancel:
// boxes shown from their settings and the dialog placed by the cursor at start;
// OK takes every box into its setting and saves; Cancel changes nothing.
intptr_t CheckBoxDialogMessage(platform::DialogWindow dialog, unsigned message, uintptr_t wParam,
                               const CheckBoxSetting* boxes, size_t count, void (*save)());

// The control id of a command message.
inline int CommandId(uintptr_t wParam) { return static_cast<int>(wParam & 0xFFFF); }

// The control ids every dialog has.
constexpr int DialogOk = 1;
constexpr int DialogCancel = 2;
