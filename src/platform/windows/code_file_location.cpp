#include "platform/windows/code_file_location.h"

#include <windows.h>
#include <shlobj.h>

#include "link/login_code_file.h"
#include "platform/windows/wide_text.h"

namespace tessary {

std::string windowsCodeFilePath() {
  std::wstring folder;
  PWSTR known = nullptr;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known)) && known != nullptr) {
    folder = known;
  }
  ::CoTaskMemFree(known);
  if (folder.empty()) {
    if (const wchar_t* appData = ::_wgetenv(L"APPDATA"); appData != nullptr) folder = appData;
  }
  if (folder.empty()) return {};
  return utf8FromWide(folder) + "\\" + std::string(LoginCodeFile::kFileName);
}

}  // namespace tessary
