#pragma once
// What went out of use during a bus callback (an object's method table, a sink call's proxy,
// the factory of a withdrawn class): the bus library still touches it on its way out of the
// callback, so it is kept here until the bus loop has left the callback and clears it. Also
// the last home of a held call's method table, which must outlive the sending of its answer.
// Used on the bus loop thread only (or the owner's thread while no loop runs).
#include <memory>
#include <vector>

namespace velk {

class BusGraveyard {
  public:
    void Bury(std::shared_ptr<void> remains) {
        if (remains) buried_.push_back(std::move(remains));
    }
    // Outside every bus callback only.
    void Clear() {
        std::vector<std::shared_ptr<void>> ending;
        ending.swap(buried_);
    }

  private:
    std::vector<std::shared_ptr<void>> buried_;
};

}  // namespace velk
