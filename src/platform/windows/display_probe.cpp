#include "common/display_probe.h"

#include <windows.h>

namespace tessary {

bool displayAvailable() {
  // A service's window station has no visible desktop: windows and the tray
  // icon would be made but never seen.
  HWINSTA station = ::GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  if (station == nullptr ||
      !::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace tessary
