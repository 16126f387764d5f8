// The configuration dialogs as the deliverables must carry them, written out
// here independently of the sources so that a slip in either shows.
#pragma once

#include <cstdint>

namespace expected {

constexpr uint32_t Child = 0x40000000, Visible = 0x10000000, TabStop = 0x00010000,
                   Group = 0x00020000;
constexpr uint32_t PushButton = 0, DefPushButton = 1, AutoCheckBox = 3, GroupBox = 7,
                   AutoRadio = 9;
// pop-up, visible, caption, system menu, modal frame, set-font
constexpr uint32_t DialogStyle = 0x80000000 | 0x10000000 | 0x00C00000 | 0x00080000 | 0x80 | 0x40;

struct Control {
  int id;
  uint32_t style;  // with WS_CHILD | WS_VISIBLE
  short x, y, cx, cy;
  const char* english;
  const char* japanese;
  short cxJapanese;  // 0: as cx
};

struct Dialog {
  const char* plugin;
  short x, y, cx, cy;
  const char* englishTitle;
  const char* japaneseTitle;
  const Control* controls;
  int count;
};

constexpr uint32_t C = Child | Visible;

inline const Control PelorinControls[] = {
    {101, C | AutoCheckBox | TabStop, 8, 6, 120, 12, "Add exe, scr, dll and cpl to Filter",
     "ﾌｨﾙﾀｰに exe,scr,dll,cpl を追加 (&E)", 0},
    {102, C | AutoCheckBox | TabStop, 8, 20, 120, 12, "Extract &Language as Directory",
     "言語をディレクトリとして展開 (&L)", 0},
    {103, C | AutoCheckBox | TabStop, 8, 34, 120, 12, "List &All Resource Types",
     "すべてのﾘｿｰｽを表示 (&A)", 0},
    {1, C | DefPushButton | TabStop, 18, 52, 46, 12, "OK", "OK", 0},
    {2, C | PushButton | TabStop, 72, 52, 46, 12, "Cancel", "Cancel", 0},
};
inline const Control VantrelControls[] = {
    {101, C | AutoCheckBox | TabStop, 8, 8, 88, 12, "List All &Frames", "すべてのコマを表示(&F)", 90},
    {1, C | DefPushButton | TabStop, 8, 26, 42, 12, "OK", "OK", 0},
    {2, C | PushButton | TabStop, 56, 26, 42, 12, "Cancel", "Cancel", 0},
};
inline const Control MorvaneControls[] = {
    {1, C | DefPushButton | Group | TabStop, 98, 52, 44, 12, "OK", "OK", 0},
    {2, C | PushButton | TabStop, 148, 52, 44, 12, "Cancel", "Cancel", 0},
    {101, C | GroupBox, 6, 6, 86, 58, "&Group Icon", "ｸﾞﾙｰﾌﾟｱｲｺﾝ(&G)", 0},
    {101, C | AutoRadio | Group | TabStop, 10, 16, 78, 12, "Treat as &Archive",
     "ｱｰｶｲﾌﾞをして扱う(&A)", 0},
    {102, C | AutoRadio, 10, 32, 78, 12, "Show &First Icon", "最初のｱｲｺﾝを表示(&F)", 0},
    {103, C | AutoRadio, 10, 48, 78, 12, "Show &Large Icon", "大きいｱｲｺﾝを表示(&L)", 0},
    {105, C | GroupBox, 98, 6, 94, 42, "F&ile Name", "ﾌｧｲﾙ名(&I)", 0},
    {111, C | AutoRadio | Group | TabStop, 102, 16, 82, 12, "&Number (#NNNNN)",
     "番号(&N) (#NNNNN)", 0},
    {112, C | AutoRadio, 102, 32, 82, 12, "&Size (WWxHHxCC)", "ｻｲｽﾞ(&S) (WWxHHxCC)", 0},
};

inline const Dialog Pelorin = {"ProbePelorin", 0, 0, 136, 68, "Configuration", "設定",
                               PelorinControls, 5};
inline const Dialog Vantrel = {"ProbeVantrel", 6, 15, 107, 44, "Configuration", "設定",
                               VantrelControls, 3};
inline const Dialog Morvane = {"ProbeMorvane", 0, 0, 199, 71,
                               "Configuration (Morvane.spi, Quibbet.spi)",
                               "設定 (Morvane.spi, Quibbet.spi)", MorvaneControls, 9};

inline const Dialog* const All[] = {&Pelorin, &Vantrel, &Morvane};

// The deliverables themselves carry the same dialogs.
inline const Dialog RealPelorin = {"Pelorin", 0, 0, 136, 68, "Configuration", "設定",
                                   PelorinControls, 5};
inline const Dialog RealVantrel = {"Vantrel", 6, 15, 107, 44, "Configuration", "設定",
                                   VantrelControls, 3};
inline const Dialog RealMorvane = {"Morvane", 0, 0, 199, 71,
                                   "Configuration (Morvane.spi, Quibbet.spi)",
                                   "設定 (Morvane.spi, Quibbet.spi)", MorvaneControls, 9};

constexpr const char* EnglishFont = "MS Sans Serif";
constexpr const char* JapaneseFont = "ＭＳ Ｐゴシック";

}  // namespace expected
