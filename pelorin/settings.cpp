// Pelorin's three settings, its configuration dialog and its library start-up.
#include "pelorin/settings.h"

#include <iterator>

#include "framework/dialog.h"
#include "framework/settings.h"
#include "framework/spi.h"
#include "framework/startup.h"
#include "pelorin/dialog.h"
#include "pelorin/settings_table.h"

int AddExtensions = 0;
int ExtractLanguage = 0;
int ListAllTypes = 0;

namespace {

// In the order of the table.
int* const Values[] = {&AddExtensions, &ExtractLanguage, &ListAllTypes};

const CheckBoxSetting Boxes[] = {
    {IDC_ADD_EXTENSIONS, &AddExtensions},
    {IDC_EXTRACT_LANGUAGE, &ExtractLanguage},
    {IDC_LIST_ALL_TYPES, &ListAllTypes},
};

const platform::DialogControl EnglishControls[] = {
    {IDC_ADD_EXTENSIONS, platform::ControlCheckBox, false, PELORIN_ADD_EXTENSIONS_EN},
    {IDC_EXTRACT_LANGUAGE, platform::ControlCheckBox, false, PELORIN_EXTRACT_LANGUAGE_EN},
    {IDC_LIST_ALL_TYPES, platform::ControlCheckBox, false, PELORIN_LIST_ALL_TYPES_EN},
    {DialogOk, platform::ControlDefaultButton, false, SPI_TEXT_OK},
    {DialogCancel, platform::ControlPushButton, false, SPI_TEXT_CANCEL},
};
const platform::DialogControl JapaneseControls[] = {
    {IDC_ADD_EXTENSIONS, platform::ControlCheckBox, false, PELORIN_ADD_EXTENSIONS_JA},
    {IDC_EXTRACT_LANGUAGE, platform::ControlCheckBox, false, PELORIN_EXTRACT_LANGUAGE_JA},
    {IDC_LIST_ALL_TYPES, platform::ControlCheckBox, false, PELORIN_LIST_ALL_TYPES_JA},
    {DialogOk, platform::ControlDefaultButton, false, SPI_TEXT_OK},
    {DialogCancel, platform::ControlPushButton, false, SPI_TEXT_CANCEL},
};
const platform::DialogTemplate Templates[] = {
    {SPI_DIALOG_ENGLISH, SPI_TITLE_EN, EnglishControls, std::size(EnglishControls)},
    {SPI_DIALOG_JAPANESE, SPI_TITLE_JA, JapaneseControls, std::size(JapaneseControls)},
};
const platform::DialogTemplateSet TerminalTables = {Templates, 2};

intptr_t SPI_DIALOG_CALL PelorinDialogProc(platform::DialogWindow dialog, unsigned message,
                                          uintptr_t wParam, intptr_t) {
  return CheckBoxDialogMessage(dialog, message, wParam, Boxes, std::size(Boxes), SaveSettings);
}

}  // namespace

void LoadSettings() { ReadSettings(PelorinSettings, Values); }

void SaveSettings() { WriteSettings(PelorinSettings, Values); }

SPI_EXPORT int SPI_CALL ConfigurationDlg(SpiWindow parent, int function) {
  StartOnce(LoadSettings);
  return RunConfigurationDialog(parent, function, PelorinDialogProc, &TerminalTables);
}

SPI_LIBRARY_ENTRY(nullptr)
