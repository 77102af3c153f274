#pragma once
// Whether another thread could take a lock right now: the lock tests ask it while the
// thread under test holds (or should not hold) the lock.
#include <future>
#include <mutex>

namespace velk::testing {

inline bool FreeForOthers(std::recursive_mutex& lock) {
    return std::async(std::launch::async,
                      [&lock] {
                          if (!lock.try_lock()) return false;
                          lock.unlock();
                          return true;
                      })
        .get();
}

}  // namespace velk::testing
