#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/worker_thread.h"

namespace velk {

bool SetCurrentThreadPriority(ThreadPriority priority) {
    int nice = 0;
    switch (priority) {
        case ThreadPriority::Normal:
            nice = 0;
            break;
        case ThreadPriority::AboveNormal:
            nice = -5;
            break;
        case ThreadPriority::BelowNormal:
            nice = 5;
            break;
        case ThreadPriority::Highest:
            nice = -10;
            break;
    }
    // Linux keeps a nice value per thread; raising it needs CAP_SYS_NICE.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    return ::setpriority(PRIO_PROCESS, tid, nice) == 0;
}

void NameCurrentThread(const std::string& name) {
    ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace velk
