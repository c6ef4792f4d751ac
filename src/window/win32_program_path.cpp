// Where the running program's file is, on Windows.
#include <windows.h>

#include <string>

#include "text/win32_utf16.h"
#include "window/program_path.h"

std::string programPath() {
  // GetModuleFileNameW cuts a path that does not fit and then fills the buffer to the last
  // element, so grow the buffer until the path fits with room to spare.
  std::wstring wide(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (length == 0) return {};
    if (length < wide.size()) {
      wide.resize(length);
      return utf8FromUtf16(wide);
    }
    wide.resize(wide.size() * 2);
  }
}
