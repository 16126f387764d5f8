// The configuration dialogs in the terminal. The dialog procedure is the same
// one Windows calls: it gets the initialising message, a command for every
// click (after the automatic check box or radio button has changed itself),
// and ends the dialog with EndModalDialog. Without a terminal on both
// standard input and output nothing is shown.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace platform {
namespace {

struct TerminalDialog {
  const DialogTemplate* form = nullptr;
  DialogProc proc = nullptr;
  std::vector<bool> checked;   // per control
  std::vector<size_t> order;   // focusable controls, in the order shown
  size_t focus = 0;            // index into order
  bool ended = false;
  intptr_t result = 0;
  size_t drawnLines = 0;
};

bool IsButton(DialogControlKind k) { return k == ControlDefaultButton || k == ControlPushButton; }
bool HasCheck(DialogControlKind k) { return k == ControlCheckBox || k == ControlRadio; }

TerminalDialog* Of(DialogWindow w) { return static_cast<TerminalDialog*>(w); }

void WriteOut(const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(STDOUT_FILENO, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// The mnemonic letter after a single "&", lower-cased; 0 when there is none.
char Mnemonic(const char* text) {
  for (const char* p = text; *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    char c = p[1];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return c;
  }
  return 0;
}

// The text without its "&" markers, the mnemonic underlined.
std::string Shown(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == '&' && p[1] == '&') {
      out += '&';
      ++p;
    } else if (*p == '&' && p[1]) {
      out += "\x1b[4m";
      out += p[1];
      out += "\x1b[24m";
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

void Draw(TerminalDialog* d) {
  const DialogTemplate& t = *d->form;
  std::string s;
  if (d->drawnLines) s += "\r\x1b[" + std::to_string(d->drawnLines) + "A\x1b[J";
  size_t lines = 0;
  auto line = [&](const std::string& text) {
    s += text + "\r\n";
    ++lines;
  };
  size_t focused = d->order.empty() ? t.count : d->order[d->focus];
  line("\x1b[1m" + std::string(t.title) + "\x1b[22m");
  bool inGroup = false;
  for (size_t i = 0; i < t.count; ++i) {
    const DialogControl& c = t.controls[i];
    if (IsButton(c.kind)) continue;
    if (c.kind == ControlGroupBox) {
      line("  " + Shown(c.text));
      inGroup = true;
      continue;
    }
    std::string mark = c.kind == ControlCheckBox ? (d->checked[i] ? "[x] " : "[ ] ")
                                                 : (d->checked[i] ? "(*) " : "( ) ");
    line(std::string(i == focused ? "> " : "  ") + (inGroup ? "  " : "") + mark + Shown(c.text));
  }
  std::string buttons = "  ";
  for (size_t i = 0; i < t.count; ++i) {
    const DialogControl& c = t.controls[i];
    if (!IsButton(c.kind)) continue;
    std::string face = c.kind == ControlDefaultButton ? "< " + Shown(c.text) + " >"
                                                      : "[ " + Shown(c.text) + " ]";
    buttons += i == focused ? "\x1b[7m" + face + "\x1b[27m  " : face + "  ";
  }
  line(buttons);
  line("\x1b[2mTab/arrows: move  Space: choose  Enter: OK  Esc: Cancel\x1b[22m");
  d->drawnLines = lines;
  WriteOut(s);
}

void SendCommand(TerminalDialog* d, int id) {
  d->proc(d, DialogCommandMessage, static_cast<uintptr_t>(id & 0xFFFF), 0);
}

// What a mouse click does on Windows: the automatic controls change
// themselves first, then the dialog procedure hears of it.
void Click(TerminalDialog* d, size_t index) {
  const DialogTemplate& t = *d->form;
  const DialogControl& c = t.controls[index];
  if (c.kind == ControlCheckBox) {
    d->checked[index] = !d->checked[index];
  } else if (c.kind == ControlRadio) {
    size_t first = index;
    while (first > 0 && !t.controls[first].startsGroup && t.controls[first - 1].kind == ControlRadio)
      --first;
    for (size_t i = first; i < t.count && t.controls[i].kind == ControlRadio; ++i) {
      if (i > first && t.controls[i].startsGroup) break;
      d->checked[i] = i == index;
    }
  } else if (c.kind == ControlGroupBox) {
    return;
  }
  SendCommand(d, c.id);
}

void PressDefault(TerminalDialog* d) {
  const DialogTemplate& t = *d->form;
  if (!d->order.empty() && IsButton(t.controls[d->order[d->focus]].kind)) {
    Click(d, d->order[d->focus]);
    return;
  }
  for (size_t i = 0; i < t.count; ++i) {
    if (t.controls[i].kind == ControlDefaultButton) {
      Click(d, i);
      return;
    }
  }
  SendCommand(d, 1);
}

void FocusControl(TerminalDialog* d, size_t index) {
  for (size_t k = 0; k < d->order.size(); ++k)
    if (d->order[k] == index) d->focus = k;
}

// A mnemonic acts like a click; a group box's moves to the choice within it.
void UseMnemonic(TerminalDialog* d, char key) {
  const DialogTemplate& t = *d->form;
  for (size_t i = 0; i < t.count; ++i) {
    if (Mnemonic(t.controls[i].text) != key) continue;
    if (t.controls[i].kind == ControlGroupBox) {
      size_t target = t.count;
      for (size_t j = i + 1; j < t.count && t.controls[j].kind == ControlRadio; ++j) {
        if (target == t.count || d->checked[j]) target = j;
      }
      if (target < t.count) FocusControl(d, target);
    } else {
      FocusControl(d, i);
      Click(d, i);
    }
    return;
  }
}

enum Key { KeyNone, KeyEnter, KeyEscape, KeyNext, KeyPrevious, KeySpace, KeyChar, KeyEnd };

bool ReadByte(unsigned char* c, int timeoutMs) {
  if (timeoutMs >= 0) {
    struct pollfd p = {STDIN_FILENO, POLLIN, 0};
    int r;
    do {
      r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
  }
  ssize_t n;
  do {
    n = read(STDIN_FILENO, c, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1;
}

Key ReadKey(char* ch) {
  unsigned char c;
  if (!ReadByte(&c, -1)) return KeyEnd;
  switch (c) {
    case '\r':
    case '\n':
      return KeyEnter;
    case '\t':
      return KeyNext;
    case ' ':
      return KeySpace;
    case 3:  // Ctrl-C
    case 4:  // Ctrl-D
      return KeyEscape;
    case 0x1b:
      break;
    default:
      *ch = static_cast<char>(c);
      return KeyChar;
  }
  // A lone Escape, or the start of a cursor key's sequence.
  unsigned char next;
  if (!ReadByte(&next, 50)) return KeyEscape;
  if (next != '[' && next != 'O') return KeyNone;
  unsigned char last = 0;
  while (ReadByte(&last, 50) && !(last >= 0x40 && last <= 0x7E)) {
  }
  switch (last) {
    case 'A':
    case 'D':
    case 'Z':
      return KeyPrevious;
    case 'B':
    case 'C':
      return KeyNext;
    default:
      return KeyNone;
  }
}

void RunLoop(TerminalDialog* d) {
  while (!d->ended) {
    Draw(d);
    char ch = 0;
    Key key = ReadKey(&ch);
    size_t n = d->order.size();
    switch (key) {
      case KeyEnter:
        PressDefault(d);
        break;
      case KeyEscape:
        SendCommand(d, 2);
        break;
      case KeyEnd:
        // The terminal is gone: cancel, and stop even if the procedure would not.
        SendCommand(d, 2);
        if (!d->ended) {
          d->ended = true;
          d->result = 2;
        }
        break;
      case KeyNext:
        if (n) d->focus = (d->focus + 1) % n;
        break;
      case KeyPrevious:
        if (n) d->focus = (d->focus + n - 1) % n;
        break;
      case KeySpace:
        if (n) Click(d, d->order[d->focus]);
        break;
      case KeyChar:
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        UseMnemonic(d, ch);
        break;
      case KeyNone:
        break;
    }
  }
  Draw(d);
}

}  // namespace

intptr_t RunModalDialog(DialogModule module, int templateId, SpiWindow, DialogProc proc,
                        intptr_t initParam) {
  if (!module.tables || !proc) return -1;
  const DialogTemplate* form = nullptr;
  for (size_t i = 0; i < module.tables->count; ++i)
    if (module.tables->templates[i].id == templateId) form = &module.tables->templates[i];
  if (!form || !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return -1;

  struct termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return -1;
  struct termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return -1;

  intptr_t result = -1;
  try {
    TerminalDialog d;
    d.form = form;
    d.proc = proc;
    d.checked.assign(form->count, false);
    for (size_t i = 0; i < form->count; ++i)
      if (HasCheck(form->controls[i].kind)) d.order.push_back(i);
    for (size_t i = 0; i < form->count; ++i)
      if (IsButton(form->controls[i].kind)) d.order.push_back(i);
    proc(&d, DialogInitMessage, 0, initParam);
    if (!d.ended) RunLoop(&d);
    result = d.result;
  } catch (...) {
    result = -1;
  }
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return result;
}

void EndModalDialog(DialogWindow dialog, intptr_t result) {
  Of(dialog)->ended = true;
  Of(dialog)->result = result;
}

void SetButtonChecked(DialogWindow dialog, int id, bool checked) {
  TerminalDialog* d = Of(dialog);
  for (size_t i = 0; i < d->form->count; ++i)
    if (d->form->controls[i].id == id && HasCheck(d->form->controls[i].kind)) {
      d->checked[i] = checked;
      return;
    }
}

bool IsButtonChecked(DialogWindow dialog, int id) {
  TerminalDialog* d = Of(dialog);
  for (size_t i = 0; i < d->form->count; ++i)
    if (d->form->controls[i].id == id && HasCheck(d->form->controls[i].kind)) return d->checked[i];
  return false;
}

void CheckRadioInRange(DialogWindow dialog, int first, int last, int chosen) {
  TerminalDialog* d = Of(dialog);
  for (size_t i = 0; i < d->form->count; ++i) {
    const DialogControl& c = d->form->controls[i];
    if (c.kind == ControlRadio && c.id >= first && c.id <= last) d->checked[i] = c.id == chosen;
  }
}

// A terminal has no screen coordinates: placement is left alone.
bool GetWorkArea(ScreenRect*) { return false; }
bool GetWindowBounds(DialogWindow, ScreenRect*) { return false; }
bool GetCursorPoint(int*, int*) { return false; }
void MoveWindowTo(DialogWindow, int, int, int, int) {}

}  // namespace platform
