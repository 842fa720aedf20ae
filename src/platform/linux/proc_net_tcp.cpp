#include "platform/linux/proc_net_tcp.h"

#include <dirent.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>

namespace tessary {
namespace {

constexpr unsigned kTcpEstablished = 1;  // the kernel's TCP_ESTABLISHED

// Column positions in a /proc/net/tcp line.
constexpr std::size_t kLocalColumn = 1;
constexpr std::size_t kRemoteColumn = 2;
constexpr std::size_t kStateColumn = 3;
constexpr std::size_t kInodeColumn = 9;
constexpr std::size_t kColumnsNeeded = kInodeColumn + 1;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits off at most `out.size()` whitespace-separated words; returns how many.
std::size_t splitWords(std::string_view line, std::span<std::string_view> out) {
  std::size_t count = 0;
  std::size_t i = 0;
  while (count < out.size()) {
    while (i < line.size() && isSpace(line[i])) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !isSpace(line[i])) ++i;
    out[count++] = line.substr(start, i - start);
  }
  return count;
}

template <typename Number>
bool parseWhole(std::string_view text, Number& value, int base) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  return error == std::errc{} && stop == end;
}

bool isHex(std::string_view text) {
  for (char c : text) {
    const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!digit) return false;
  }
  return true;
}

// "0100007F:0868" or a 32-digit IPv6 address with its port; the address is
// checked for shape only, the port is hexadecimal in host order.
bool parseEndpointPort(std::string_view endpoint, std::uint16_t& port) {
  const std::size_t colon = endpoint.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view address = endpoint.substr(0, colon);
  const std::string_view portText = endpoint.substr(colon + 1);
  if ((address.size() != 8 && address.size() != 32) || !isHex(address)) return false;
  if (portText.size() > 4) return false;
  return parseWhole(portText, port, 16);
}

bool parseRow(std::string_view line, ConnectionRow& row) {
  std::array<std::string_view, kColumnsNeeded> words;
  if (splitWords(line, words) < kColumnsNeeded) return false;
  unsigned state = 0;
  if (!parseEndpointPort(words[kLocalColumn], row.localPort) ||
      !parseEndpointPort(words[kRemoteColumn], row.remotePort) ||
      words[kStateColumn].size() > 2 || !parseWhole(words[kStateColumn], state, 16) ||
      !parseWhole(words[kInodeColumn], row.owner, 10)) {
    return false;
  }
  row.established = state == kTcpEstablished;
  return true;
}

std::string readWholeFile(const std::string& path) {
  // Files under /proc report a size of 0, so read until the end.
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool isProcessId(const char* name, pid_t& pid) {
  return parseWhole(std::string_view(name), pid, 10) && pid > 0;
}

bool holdsSocket(const std::string& fdDirectory, std::string_view wanted) {
  DirHandle dir(opendir(fdDirectory.c_str()));
  if (!dir) return false;  // gone, or not ours to read
  const int dirFd = dirfd(dir.get());
  std::array<char, 64> target;
  while (const dirent* entry = readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    const ssize_t length = readlinkat(dirFd, entry->d_name, target.data(), target.size());
    if (length > 0 && std::string_view(target.data(), static_cast<std::size_t>(length)) == wanted) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<ConnectionRow> parseProcNetTcp(std::string_view text) {
  std::vector<ConnectionRow> rows;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ConnectionRow row;
    if (parseRow(line, row)) rows.push_back(row);
  }
  return rows;
}

std::vector<ConnectionRow> readTcpConnections(const std::string& procRoot) {
  std::vector<ConnectionRow> rows = parseProcNetTcp(readWholeFile(procRoot + "/net/tcp"));
  const std::vector<ConnectionRow> rows6 = parseProcNetTcp(readWholeFile(procRoot + "/net/tcp6"));
  rows.insert(rows.end(), rows6.begin(), rows6.end());
  return rows;
}

pid_t findSocketOwner(std::uint64_t inode, const std::string& procRoot) {
  if (inode == 0) return -1;
  const std::string wanted = "socket:[" + std::to_string(inode) + "]";
  DirHandle proc(opendir(procRoot.c_str()));
  if (!proc) return -1;
  while (const dirent* entry = readdir(proc.get())) {
    pid_t pid = 0;
    if (!isProcessId(entry->d_name, pid)) continue;
    if (holdsSocket(procRoot + "/" + entry->d_name + "/fd", wanted)) return pid;
  }
  return -1;
}

pid_t findClientProcess(std::uint16_t linkPort, const std::string& procRoot) {
  const std::vector<ConnectionRow> rows = acceptedClientRows(readTcpConnections(procRoot), linkPort);
  const int index = findClientRow(rows, linkPort);
  if (index < 0) return -1;
  return findSocketOwner(rows[static_cast<std::size_t>(index)].owner, procRoot);
}

}  // namespace tessary
