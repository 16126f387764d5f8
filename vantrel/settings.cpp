// Vantrel's setting, its configuration dialog and its library start-up.
#include "vantrel/settings.h"

#include "framework/dialog.h"
#include "framework/settings.h"
#include "framework/spi.h"
#include "framework/startup.h"
#include "vantrel/dialog.h"

int ListAllFrames = 0;

namespace {

constexpr const char* SettingsKey = "Software\\Kestrov\\Susie\\Plug-in\\Vantrel";

const CheckBoxSetting Boxes[] = {{IDC_LIST_ALL_FRAMES, &ListAllFrames}};

const platform::DialogControl EnglishControls[] = {
    {IDC_LIST_ALL_FRAMES, platform::ControlCheckBox, false, VANTREL_LIST_ALL_FRAMES_EN},
    {DialogOk, platform::ControlDefaultButton, false, SPI_TEXT_OK},
    {DialogCancel, platform::ControlPushButton, false, SPI_TEXT_CANCEL},
};
const platform::DialogControl JapaneseControls[] = {
    {IDC_LIST_ALL_FRAMES, platform::ControlCheckBox, false, VANTREL_LIST_ALL_FRAMES_JA},
    {DialogOk, platform::ControlDefaultButton, false, SPI_TEXT_OK},
    {DialogCancel, platform::ControlPushButton, false, SPI_TEXT_CANCEL},
};
const platform::DialogTemplate Templates[] = {
    {SPI_DIALOG_ENGLISH, SPI_TITLE_EN, EnglishControls, 3},
    {SPI_DIALOG_JAPANESE, SPI_TITLE_JA, JapaneseControls, 3},
};
const platform::DialogTemplateSet TerminalTables = {Templates, 2};

// A click on the box changes only the box; the setting follows on OK.
intptr_t SPI_DIALOG_CALL VantrelDialogProc(platform::DialogWindow dialog, unsigned message,
                                          uintptr_t wParam, intptr_t) {
  if (message == platform::DialogInitMessage) {
    ShowCheckBoxSettings(dialog, Boxes, 1);
    PlaceDialog(dialog, PlaceCentredOnCursor, PlaceCentredOnCursor, 0, 0);
    return 1;
  }
  if (message != platform::DialogCommandMessage) return 0;
  switch (CommandId(wParam)) {
    case DialogOk:
      TakeCheckBoxSettings(dialog, Boxes, 1);
      SaveSettings();
      platform::EndModalDialog(dialog, DialogOk);
      return 1;
    case DialogCancel:
      platform::EndModalDialog(dialog, DialogCancel);
      return 1;
    default:
      return 0;
  }
}

}  // namespace

void LoadSettings() { ListAllFrames = ReadRangedSetting(SettingsKey, "ListAllFrames", 0, 1, 0); }

void SaveSettings() { WriteDwordSetting(SettingsKey, "ListAllFrames", ListAllFrames); }

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  return RunConfigurationDialog(parent, function, VantrelDialogProc, &TerminalTables);
}

SPI_LIBRARY_STARTUP(LoadSettings, nullptr)
