#pragma once
// The DA and AE server objects in existence, in creation order, guarded by ServerListLock.
#include <algorithm>
#include <mutex>
#include <vector>

#include "opc/server_objects.h"

namespace velk {

class ServerObjectLists {
  public:
    // ServerListLock: taken before the AE subscription locks; held while device acquisition
    // is started or stopped by client counting.
    std::recursive_mutex& Lock() { return lock_; }

    void AddDA(IDAServerObject* object) { Add(da_, object); }
    bool RemoveDA(IDAServerObject* object) { return Remove(da_, object); }
    void AddAE(IAEServerObject* object) { Add(ae_, object); }
    bool RemoveAE(IAEServerObject* object) { return Remove(ae_, object); }

    // Callers hold Lock() while they walk a list.
    const std::vector<IDAServerObject*>& DA() const { return da_; }
    const std::vector<IAEServerObject*>& AE() const { return ae_; }

  private:
    template <class T>
    void Add(std::vector<T*>& list, T* object) {
        std::lock_guard lock(lock_);
        list.push_back(object);
    }
    template <class T>
    bool Remove(std::vector<T*>& list, T* object) {
        std::lock_guard lock(lock_);
        auto it = std::find(list.begin(), list.end(), object);
        if (it == list.end()) return false;
        list.erase(it);
        return true;
    }

    std::recursive_mutex lock_;
    std::vector<IDAServerObject*> da_;
    std::vector<IAEServerObject*> ae_;
};

}  // namespace velk
