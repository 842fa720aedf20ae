#include "link/client_slot.h"

namespace tessary {

bool ClientSlot::tryClaim(ClientKind kind) {
  std::lock_guard lock(mutex_);
  if (holder_ != ClientKind::kNone) return false;
  holder_ = kind;
  return true;
}

bool ClientSlot::waitToClaim(ClientKind kind, const std::function<bool()>& cancelled) {
  std::unique_lock lock(mutex_);
  freed_.wait(lock, [&] { return holder_ == ClientKind::kNone || cancelled(); });
  if (holder_ != ClientKind::kNone) return false;
  holder_ = kind;
  return true;
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

void ClientSlot::wake() {
  { std::lock_guard lock(mutex_); }
  freed_.notify_all();
}

}  // namespace tessary
