// Names for clang's thread-safety analysis (-Wthread-safety), and the mutex
// and scoped lock it understands: guarded state says which lock guards it,
// and the compiler checks every access holds that lock. Other compilers see
// plain code.
//
//   Mutex mutex_;
//   int count_ TESSARY_GUARDED_BY(mutex_) = 0;
//   void add() { MutexLock lock(mutex_); ++count_; }
//
// Waiting on a condition: use ConditionVariable with the Mutex itself, in a
// loop written out inside the lock's scope (a predicate lambda is analysed on
// its own and would not know the lock is held).
#pragma once

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define TESSARY_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TESSARY_THREAD_ANNOTATION(x)
#endif

#define TESSARY_CAPABILITY(name) TESSARY_THREAD_ANNOTATION(capability(name))
#define TESSARY_SCOPED_CAPABILITY TESSARY_THREAD_ANNOTATION(scoped_lockable)
#define TESSARY_GUARDED_BY(lock) TESSARY_THREAD_ANNOTATION(guarded_by(lock))
#define TESSARY_PT_GUARDED_BY(lock) TESSARY_THREAD_ANNOTATION(pt_guarded_by(lock))
#define TESSARY_REQUIRES(...) TESSARY_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define TESSARY_ACQUIRE(...) TESSARY_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TESSARY_RELEASE(...) TESSARY_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TESSARY_TRY_ACQUIRE(...) TESSARY_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TESSARY_EXCLUDES(...) TESSARY_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define TESSARY_ACQUIRED_BEFORE(...) TESSARY_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define TESSARY_NO_THREAD_SAFETY_ANALYSIS TESSARY_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace tessary {

// std::mutex, visible to the analysis.
class TESSARY_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() TESSARY_ACQUIRE() { mutex_.lock(); }
  void unlock() TESSARY_RELEASE() { mutex_.unlock(); }
  bool try_lock() TESSARY_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class TESSARY_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) TESSARY_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() TESSARY_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// Waits with a Mutex held by the caller: wait(mutex) releases it while
// blocked and holds it again on return.
using ConditionVariable = std::condition_variable_any;

}  // namespace tessary
