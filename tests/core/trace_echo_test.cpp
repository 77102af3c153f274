#include "core/trace_echo.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "tests/support/child_process.h"

namespace velk {
namespace {

using namespace std::chrono_literals;

// A standard output whose reader stops until the test lets it go on.
class HeldWriter {
  public:
    void Write(const std::string& line) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !held_; });
        lines_.push_back(line);
    }
    void Release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = true;
    std::vector<std::string> lines_;
};

TEST(TraceEcho, ABlockedWriterNeverHoldsUpPushAndDroppedLinesAreCountedInTheirPlace) {
    HeldWriter out;
    {
        TraceEcho echo([&out](const std::string& line) { out.Write(line); }, 4);
        for (int i = 1; i <= 10; ++i) echo.Push(std::to_string(i));  // returns while held
        out.Release();
        ASSERT_TRUE(testing::WaitUntil([&] { return out.Lines().size() == 5; }, 20s));
        echo.Push("11");
        echo.Push("12");
    }  // the destructor writes what waits
    EXPECT_EQ(out.Lines(), (std::vector<std::string>{"1", "2", "3", "4", TraceEcho::DroppedText(6),
                                                     "11", "12"}));
}

}  // namespace
}  // namespace velk
