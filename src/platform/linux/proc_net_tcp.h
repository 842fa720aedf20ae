// The machine's TCP connections as the kernel lists them under /proc, and the
// process that holds a given socket.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/window_search.h"

namespace tessary {

// Parses the text of /proc/net/tcp or /proc/net/tcp6 (IPv4 and IPv6 rows
// have the same columns). A row's owner is the socket's inode, 0 for sockets
// that no process holds (closed ones waiting out the close). The heading and
// any line that does not parse are skipped.
std::vector<ConnectionRow> parseProcNetTcp(std::string_view text);

// The rows of /proc/net/tcp followed by those of /proc/net/tcp6, under
// `procRoot`; files that cannot be read add nothing.
std::vector<ConnectionRow> readTcpConnections(const std::string& procRoot = "/proc");

// The process with an open descriptor on the socket with inode `inode`, or
// -1. Processes whose descriptors we may not read are passed over.
pid_t findSocketOwner(std::uint64_t inode, const std::string& procRoot = "/proc");

// The process at the other end of our link listening on `linkPort`, or -1.
pid_t findClientProcess(std::uint16_t linkPort, const std::string& procRoot = "/proc");

}  // namespace tessary
