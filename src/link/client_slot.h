// The one client seat shared by the TCP link and the WebSocket link: whoever
// holds it is the client; the other kind waits until it is free again.
//
// Its mutex guards only the holder and is never held while calling out, so
// either link may claim or free the seat from any of its threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace tessary {

// kFile: the zones file, which holds the seat for as long as the program runs.
enum class ClientKind : std::uint8_t { kNone, kTcp, kWeb, kFile };

// One client's time at the seat.
struct SeatTurn {
  std::uint64_t number = 0;  // counts every claim; 0 before the first
  ClientKind holder = ClientKind::kNone;
  std::chrono::steady_clock::time_point since;  // when the seat was taken
};

class ClientSlot {
 public:
  // Takes the seat when it is free; false when another client holds it.
  bool tryClaim(ClientKind kind);
  // Waits until the seat is free and takes it; false, without the seat, once
  // `cancelled` answers true after a wake().
  bool waitToClaim(ClientKind kind, const std::function<bool()>& cancelled);
  // Frees the seat if `kind` holds it.
  void release(ClientKind kind);
  ClientKind holder() const;
  // The current turn; holder kNone while the seat is free.
  SeatTurn turn() const;
  // Makes every waitToClaim look at its `cancelled` again.
  void wake();

 private:
  void take(ClientKind kind);  // mutex_ held

  mutable std::mutex mutex_;
  std::condition_variable freed_;
  ClientKind holder_ = ClientKind::kNone;  // guarded by mutex_
  SeatTurn turn_;                          // guarded by mutex_
};

}  // namespace tessary
