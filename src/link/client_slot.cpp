#include "link/client_slot.h"

namespace tessary {

bool ClientSlot::tryClaim(ClientKind kind) {
  std::lock_guard lock(mutex_);
  if (holder_ != ClientKind::kNone) return false;
  take(kind);
  return true;
}

bool ClientSlot::waitToClaim(ClientKind kind, const std::function<bool()>& cancelled) {
  std::unique_lock lock(mutex_);
  freed_.wait(lock, [&] { return holder_ == ClientKind::kNone || cancelled(); });
  if (holder_ != ClientKind::kNone) return false;
  take(kind);
  return true;
}

void ClientSlot::take(ClientKind kind) {
  holder_ = kind;
  turn_.number += 1;
  turn_.since = std::chrono::steady_clock::now();
}

void ClientSlot::release(ClientKind kind) {
  {
    std::lock_guard lock(mutex_);
    if (holder_ != kind) return;
    holder_ = ClientKind::kNone;
  }
  freed_.notify_all();
}

ClientKind ClientSlot::holder() const {
  std::lock_guard lock(mutex_);
  return holder_;
}

SeatTurn ClientSlot::turn() const {
  std::lock_guard lock(mutex_);
  SeatTurn turn = turn_;
  turn.holder = holder_;
  return turn;
}

void ClientSlot::wake() {
  { std::lock_guard lock(mutex_); }
  freed_.notify_all();
}

}  // namespace tessary
