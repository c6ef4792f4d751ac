// Names between UTF-8 and UTF-16, through the system's own conversion.
#include "text/win32_utf16.h"

#include <windows.h>

std::wstring utf16FromUtf8(std::string_view utf8) {
  const int length = static_cast<int>(utf8.size());
  const int size =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring utf16(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, utf16.data(), size);
  return utf16;
}

std::string utf8FromUtf16(std::wstring_view utf16) {
  const int length = static_cast<int>(utf16.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}
