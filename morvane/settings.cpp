// Morvane's two settings, shared with Quibbet through the getters, its
// configuration dialog and its library entry.
#include "morvane/settings.h"

#include "framework/dialog.h"
#include "framework/settings.h"
#include "framework/spi.h"
#include "framework/startup.h"
#include "morvane/dialog.h"
#include "morvane/settings_table.h"

int GroupIcon = TreatAsArchive;
int FileName = NumberName;

// The choices shown in the open dialog; they become current only on OK.
int PendingGroupIcon = TreatAsArchive;
int PendingFileName = NumberName;

namespace {

// In the order of the table.
int* const Values[] = {&GroupIcon, &FileName};

using platform::ControlDefaultButton;
using platform::ControlGroupBox;
using platform::ControlPushButton;
using platform::ControlRadio;

const platform::DialogControl EnglishControls[] = {
    {DialogOk, ControlDefaultButton, true, SPI_TEXT_OK},
    {DialogCancel, ControlPushButton, false, SPI_TEXT_CANCEL},
    {IDC_GROUP_ICON_BOX, ControlGroupBox, false, MORVANE_GROUP_ICON_EN},
    {IDC_TREAT_AS_ARCHIVE, ControlRadio, true, MORVANE_TREAT_AS_ARCHIVE_EN},
    {IDC_SHOW_FIRST_ICON, ControlRadio, false, MORVANE_SHOW_FIRST_ICON_EN},
    {IDC_SHOW_LARGE_ICON, ControlRadio, false, MORVANE_SHOW_LARGE_ICON_EN},
    {IDC_FILE_NAME_BOX, ControlGroupBox, false, MORVANE_FILE_NAME_EN},
    {IDC_NUMBER_NAME, ControlRadio, true, MORVANE_NUMBER_NAME_EN},
    {IDC_SIZE_NAME, ControlRadio, false, MORVANE_SIZE_NAME_EN},
};
const platform::DialogControl JapaneseControls[] = {
    {DialogOk, ControlDefaultButton, true, SPI_TEXT_OK},
    {DialogCancel, ControlPushButton, false, SPI_TEXT_CANCEL},
    {IDC_GROUP_ICON_BOX, ControlGroupBox, false, MORVANE_GROUP_ICON_JA},
    {IDC_TREAT_AS_ARCHIVE, ControlRadio, true, MORVANE_TREAT_AS_ARCHIVE_JA},
    {IDC_SHOW_FIRST_ICON, ControlRadio, false, MORVANE_SHOW_FIRST_ICON_JA},
    {IDC_SHOW_LARGE_ICON, ControlRadio, false, MORVANE_SHOW_LARGE_ICON_JA},
    {IDC_FILE_NAME_BOX, ControlGroupBox, false, MORVANE_FILE_NAME_JA},
    {IDC_NUMBER_NAME, ControlRadio, true, MORVANE_NUMBER_NAME_JA},
    {IDC_SIZE_NAME, ControlRadio, false, MORVANE_SIZE_NAME_JA},
};
const platform::DialogTemplate Templates[] = {
    {SPI_DIALOG_ENGLISH, MORVANE_TITLE_EN, EnglishControls, 9},
    {SPI_DIALOG_JAPANESE, MORVANE_TITLE_JA, JapaneseControls, 9},
};
const platform::DialogTemplateSet TerminalTables = {Templates, 2};

intptr_t SPI_DIALOG_CALL MorvaneDialogProc(platform::DialogWindow dialog, unsigned message,
                                          uintptr_t wParam, intptr_t) {
  if (message == platform::DialogInitMessage) {
    platform::CheckRadioInRange(dialog, IDC_TREAT_AS_ARCHIVE, IDC_SHOW_LARGE_ICON,
                                IDC_TREAT_AS_ARCHIVE + GroupIcon);
    platform::CheckRadioInRange(dialog, IDC_NUMBER_NAME, IDC_SIZE_NAME, IDC_NUMBER_NAME + FileName);
    PendingGroupIcon = GroupIcon;
    PendingFileName = FileName;
    PlaceDialog(dialog, PlaceCentredOnCursor, PlaceCentredOnCursor, 8, 0);
    return 1;
  }
  if (message != platform::DialogCommandMessage) return 0;
  int id = CommandId(wParam);
  switch (id) {
    case DialogOk:
      GroupIcon = PendingGroupIcon;
      FileName = PendingFileName;
      SaveSettings();
      platform::EndModalDialog(dialog, static_cast<intptr_t>(wParam));
      return 1;
    case DialogCancel:
      platform::EndModalDialog(dialog, static_cast<intptr_t>(wParam));
      return 1;
    case IDC_TREAT_AS_ARCHIVE:
    case IDC_SHOW_FIRST_ICON:
    case IDC_SHOW_LARGE_ICON:
      PendingGroupIcon = id - IDC_TREAT_AS_ARCHIVE;
      return 1;
    case IDC_NUMBER_NAME:
    case IDC_SIZE_NAME:
      PendingFileName = id - IDC_NUMBER_NAME;
      return 1;
    default:
      return 0;
  }
}

}  // namespace

void LoadSettings() { ReadSettings(MorvaneSettings, Values); }

void SaveSettings() { WriteSettings(MorvaneSettings, Values); }

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  StartOnce(LoadSettings);
  return RunConfigurationDialog(parent, function, MorvaneDialogProc, &TerminalTables);
}
// Quibbet may ask these before any other export of Morvane has run.
SPI_EXPORT int SPI_CALL GetGroupIconSetting() {
  StartOnce(LoadSettings);
  return GroupIcon;
}
SPI_EXPORT int SPI_CALL GetFileNameSetting() {
  StartOnce(LoadSettings);
  return FileName;
}

SPI_LIBRARY_ENTRY(nullptr)
