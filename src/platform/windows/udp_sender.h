// OSC's UDP datagrams on Winsock 2.
#pragma once

#include "link/datagram_sender.h"

namespace tessary {

// A DatagramSenderFactory: a non-blocking IPv4 UDP socket connected to the
// destination, so each send is one call.
std::unique_ptr<DatagramSender> openUdpSender(const std::string& host, std::uint16_t port,
                                              std::string& error);

}  // namespace tessary
