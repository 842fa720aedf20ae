#include "platform/windows/directshow_com.h"

#include <errors.h>

#include <cstdio>
#include <vector>

namespace tessary::directshow {

void freeMediaTypeFields(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 || type.pbFormat != nullptr) CoTaskMemFree(type.pbFormat);
  type.cbFormat = 0;
  type.pbFormat = nullptr;
  if (type.pUnk != nullptr) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

OwnedMediaType::~OwnedMediaType() {
  if (type_ == nullptr) return;
  freeMediaTypeFields(*type_);
  CoTaskMemFree(type_);
}

AM_MEDIA_TYPE** OwnedMediaType::put() {
  if (type_ != nullptr) {
    freeMediaTypeFields(*type_);
    CoTaskMemFree(type_);
    type_ = nullptr;
  }
  return &type_;
}

const VIDEOINFOHEADER* videoInfoOf(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.pbFormat == nullptr ||
      type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

namespace {

std::string trimmed(const char* text, DWORD length, std::size_t capacity) {
  std::string description(text, length < capacity ? length : 0);
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r' ||
                                  description.back() == ' ' || description.back() == '.')) {
    description.pop_back();
  }
  return description;
}

}  // namespace

std::string describeResult(HRESULT result) {
  // The system's own text first; DirectShow's codes (VFW_E_...) have theirs
  // in the media library.
  char text[MAX_ERROR_TEXT_LEN] = {};
  std::string description = trimmed(
      text,
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(result), 0, text, sizeof(text), nullptr),
      sizeof(text));
  if (!description.empty()) return description;
  // Some systems (Wine among them) have no text for these common codes.
  switch (result) {
    case REGDB_E_CLASSNOTREG: return "Class not registered";
    case E_NOINTERFACE: return "No such interface supported";
    case E_POINTER: return "Invalid pointer";
    case E_OUTOFMEMORY: return "Not enough memory";
    case E_NOTIMPL: return "Not implemented";
    case E_FAIL: return "Unspecified error";
    default: break;
  }
  description = trimmed(text, AMGetErrorTextA(result, text, MAX_ERROR_TEXT_LEN), sizeof(text));
  if (!description.empty()) return description;
  char code[32];
  std::snprintf(code, sizeof(code), "Error 0x%08lX", static_cast<unsigned long>(result));
  return code;
}

std::string narrowText(const wchar_t* text, std::size_t maxBytes) {
  if (text == nullptr || maxBytes < 2) return {};
  int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return {};
  std::vector<char> narrow(static_cast<std::size_t>(needed));
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), needed, nullptr, nullptr);
  std::string result(narrow.data());
  if (result.size() > maxBytes - 1) result.resize(maxBytes - 1);
  return result;
}

std::wstring wideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), needed);
  return wide;
}

}  // namespace tessary::directshow
