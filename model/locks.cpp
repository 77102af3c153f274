#include "model/locks.h"

namespace velk {

std::recursive_mutex& TreeLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::recursive_mutex& TagDataLock() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace velk
