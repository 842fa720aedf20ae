// The platform's socket layer under the name the link tests use.
#pragma once

#ifdef _WIN32
#include "platform/windows/winsock_sockets.h"
namespace tessary::testing {
using PlatformSockets = WinsockSockets;
}
#else
#include "platform/linux/posix_sockets.h"
namespace tessary::testing {
using PlatformSockets = PosixSockets;
}
#endif
