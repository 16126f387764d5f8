/* What every configuration dialog shares, for the resource scripts and the
   terminal tables alike: plain macros only, as windres reads this too.
   UTF-8; resource scripts that include it declare code page 65001. */
#pragma once

#define SPI_DIALOG_STYLE (DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU)

#define SPI_DIALOG_ENGLISH 1
#define SPI_DIALOG_JAPANESE 2

#define SPI_FONT_EN "MS Sans Serif"
#define SPI_FONT_EN_SIZE 8
#define SPI_FONT_JA "ＭＳ Ｐゴシック"
#define SPI_FONT_JA_SIZE 10

#define SPI_TITLE_EN "Configuration"
#define SPI_TITLE_JA "設定"
#define SPI_TEXT_OK "OK"
#define SPI_TEXT_CANCEL "Cancel"
