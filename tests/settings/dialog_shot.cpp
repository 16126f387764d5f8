// Saves a picture of a plug-in's configuration dialog as a BMP file, for
// reviewers (scripts/screenshot-dialogs.sh turns it into PNG).
//   dialog_shot <plugin.spi> <0 English | 1 Japanese> <out.bmp>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "framework/spi.h"

namespace {

BOOL CALLBACK FindDialog(HWND w, LPARAM out) {
  wchar_t name[16];
  if (GetClassNameW(w, name, 16) && wcscmp(name, L"#32770") == 0 && IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }
  return TRUE;
}

bool SaveWindow(HWND window, const char* path) {
  RECT r;
  GetWindowRect(window, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  std::vector<BYTE> bits(stride * static_cast<DWORD>(h));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), bits.data(),
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(bits.size());
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  bool ok = fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
            fwrite(bits.data(), 1, bits.size(), f) == bits.size();
  return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: dialog_shot <plugin.spi> <0|1> <out.bmp>\n");
    return 2;
  }
  HKEY key;
  DWORD language = static_cast<DWORD>(atoi(argv[2]));
  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kestrov\\Susie\\Resource", 0, nullptr, 0, KEY_WRITE,
                  nullptr, &key, nullptr);
  RegSetValueExA(key, "Japanese", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&language), 4);
  RegCloseKey(key);

  HMODULE plugin = LoadLibraryA(argv[1]);
  auto configurationDlg =
      plugin ? reinterpret_cast<ConfigurationDlgFn>(GetProcAddress(plugin, "ConfigurationDlg")) : nullptr;
  if (!configurationDlg) {
    fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  // Centre the dialog on the screen: it opens beside the cursor.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
  DWORD uiThread = GetCurrentThreadId();
  bool saved = false;
  std::thread watcher([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 400 && !dialog; ++i) {
      EnumThreadWindows(uiThread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
      if (!dialog) Sleep(25);
    }
    if (!dialog) return;
    Sleep(700);  // let it paint
    saved = SaveWindow(dialog, argv[3]);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  configurationDlg(nullptr, 1);
  watcher.join();
  FreeLibrary(plugin);
  if (!saved) fprintf(stderr, "no dialog captured for %s\n", argv[1]);
  return saved ? 0 : 1;
}
