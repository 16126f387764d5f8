// Vantrel's setting, its configuration dialog and its library entry.
#include "vantrel/settings.h"

#include <iterator>

#include "framework/dialog.h"
#include "framework/settings.h"
#include "framework/spi.h"
#include "framework/startup.h"
#include "vantrel/dialog.h"
#include "vantrel/settings_table.h"

int ListAllFrames = 0;

namespace {

int* const Values[] = {&ListAllFrames};

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

intptr_t SPI_DIALOG_CALL VantrelDialogProc(platform::DialogWindow dialog, unsigned message,
                                          uintptr_t wParam, intptr_t) {
  return CheckBoxDialogMessage(dialog, message, wParam, Boxes, std::size(Boxes), SaveSettings);
}

}  // namespace

void LoadSettings() { ReadSettings(VantrelSettings, Values); }

void SaveSettings() { WriteSettings(VantrelSettings, Values); }

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  StartOnce(LoadSettings);
  return RunConfigurationDialog(parent, function, VantrelDialogProc, &TerminalTables);
}

SPI_LIBRARY_ENTRY(nullptr)
