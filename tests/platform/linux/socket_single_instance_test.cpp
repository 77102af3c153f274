// The single-instance lock in a directory of its own: one holder at a time, the hand-over to
// the running instance, leftovers of a crashed holder, and directories or files that another
// user could have planted.
#include "platform/linux/socket_single_instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace velk {
namespace {

namespace fs = std::filesystem;

class SingleInstanceTest : public ::testing::Test {
  protected:
    SingleInstanceTest() {
        std::string pattern = (fs::temp_directory_path() / "velkinstXXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    ~SingleInstanceTest() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(SingleInstanceTest, TheLockTableNamesTheHolderWithoutTouchingTheLock) {
    EXPECT_EQ(SocketSingleInstance::LockHolder(dir.string(), "Lock"), 0);  // no file
    SocketSingleInstance holder(dir.string(), "Lock");
    ASSERT_EQ(holder.Acquire([] {}), InstanceLock::Acquired) << holder.Problem();
    EXPECT_EQ(SocketSingleInstance::LockHolder(dir.string(), "Lock"), ::getpid());
    EXPECT_EQ(SocketSingleInstance::LockHolder(dir.string(), "Other"), 0);
    // Asking took nothing: a second start still finds the lock held, and its holder free.
    SocketSingleInstance second(dir.string(), "Lock");
    EXPECT_EQ(second.Acquire([] {}), InstanceLock::AlreadyRunning);
    holder.Release();
    EXPECT_EQ(SocketSingleInstance::LockHolder(dir.string(), "Lock"), 0);
    // A lock file left behind unlocked names no holder.
    std::ofstream(dir / "Stale.lock") << "";
    EXPECT_EQ(SocketSingleInstance::LockHolder(dir.string(), "Stale"), 0);
}

TEST_F(SingleInstanceTest, OneHolderAtATimeAndASecondStartReachesIt) {
    std::atomic<int> shown{0};
    SocketSingleInstance first(dir.string(), "Lock");
    ASSERT_EQ(first.Acquire([&] { ++shown; }), InstanceLock::Acquired) << first.Problem();
    SocketSingleInstance second(dir.string(), "Lock");
    EXPECT_EQ(second.Acquire([] {}), InstanceLock::AlreadyRunning);
    EXPECT_TRUE(second.NotifyRunningInstance());
    EXPECT_EQ(shown.load(), 1);
    // A holder that is stopping answers no more but keeps the lock until it lets it go.
    first.StopAnswering();
    EXPECT_FALSE(second.NotifyRunningInstance());
    EXPECT_EQ(second.Acquire([] {}), InstanceLock::AlreadyRunning);
    first.Release();
    EXPECT_FALSE(second.NotifyRunningInstance());  // nobody listens any more
    EXPECT_EQ(second.Acquire([] {}), InstanceLock::Acquired);
}

TEST_F(SingleInstanceTest, ANameTooLongForASocketPathStillHandsOver) {
    const std::string name(120, 'n');
    std::atomic<int> shown{0};
    SocketSingleInstance first(dir.string(), name);
    ASSERT_EQ(first.Acquire([&] { ++shown; }), InstanceLock::Acquired) << first.Problem();
    SocketSingleInstance second(dir.string(), name);
    EXPECT_EQ(second.Acquire([] {}), InstanceLock::AlreadyRunning);
    EXPECT_TRUE(second.NotifyRunningInstance());
    EXPECT_EQ(shown.load(), 1);
}

TEST_F(SingleInstanceTest, LeftoversOfACrashedHolderDoNotBlockAStart) {
    std::ofstream(dir / "Lock.lock") << "";
    std::ofstream(dir / "Lock.socket") << "";
    SocketSingleInstance instance(dir.string(), "Lock");
    EXPECT_EQ(instance.Acquire([] {}), InstanceLock::Acquired) << instance.Problem();
    EXPECT_EQ(fs::status(dir / "Lock.socket").permissions(), static_cast<fs::perms>(0600));
}

TEST_F(SingleInstanceTest, ADirectoryOthersCanWriteToOrALinkedLockIsRefused) {
    fs::create_directory(dir / "open");
    fs::permissions(dir / "open", static_cast<fs::perms>(0777));
    SocketSingleInstance inOpen((dir / "open").string(), "Lock");
    EXPECT_EQ(inOpen.Acquire([] {}), InstanceLock::Failed);
    EXPECT_NE(inOpen.Problem().find("not a directory of this user's own"), std::string::npos);
    EXPECT_FALSE(inOpen.NotifyRunningInstance());

    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    SocketSingleInstance throughLink((dir / "link").string(), "Lock");
    EXPECT_EQ(throughLink.Acquire([] {}), InstanceLock::Failed);

    std::ofstream(dir / "elsewhere") << "";
    fs::create_symlink(dir / "elsewhere", dir / "Linked.lock");
    SocketSingleInstance linkedLock(dir.string(), "Linked");
    EXPECT_EQ(linkedLock.Acquire([] {}), InstanceLock::Failed);

    if (::geteuid() == 0) {
        fs::create_directory(dir / "foreign");
        ASSERT_EQ(::chown((dir / "foreign").c_str(), 65534, 65534), 0);
        SocketSingleInstance foreign((dir / "foreign").string(), "Lock");
        EXPECT_EQ(foreign.Acquire([] {}), InstanceLock::Failed);
    }
}

TEST(SingleInstanceDirectory, SystemServiceUsesRunVelkopcOthersTheirRuntimeDirectory) {
    EXPECT_EQ(SocketSingleInstance::InstanceDirectory(true), "/run/velkopc");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime ? runtime : "";
    ::setenv("XDG_RUNTIME_DIR", fs::temp_directory_path().c_str(), 1);
    EXPECT_EQ(SocketSingleInstance::InstanceDirectory(false), fs::temp_directory_path().string());
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SocketSingleInstance::InstanceDirectory(false),
              ::geteuid() == 0 ? "/run/velkopc" : "/run/user/" + std::to_string(::geteuid()));
    if (runtime) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace velk
