#include "texts.h"

#include <cstring>

#include "module.h"

namespace lookout {

std::wstring loadText(UINT id) {
  // With a zero buffer size LoadStringW hands a pointer into the resource itself and the length;
  // the resource's text is not NUL-terminated.
  const wchar_t* resource = nullptr;
  int length = LoadStringW(moduleHandle(), id, reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || resource == nullptr) return {};
  return std::wstring(resource, static_cast<size_t>(length));
}

std::string loadAnsiText(UINT id) {
  char buffer[MAX_PATH];
  int length = LoadStringA(moduleHandle(), id, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::wstring widen(const char* text) {
  int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 1) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed);
  wide.resize(static_cast<size_t>(needed - 1));
  return wide;
}

HRESULT taskMemoryCopy(const std::wstring& text, LPOLESTR* out) {
  if (out == nullptr) return E_POINTER;
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (*out == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*out, text.c_str(), bytes);
  return S_OK;
}

}  // namespace lookout
