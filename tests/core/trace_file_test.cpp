#include "core/trace_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

#include "opc/opc_result.h"
#include "platform/linux/posix_file_system.h"
#include "platform/text.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_file_system.h"

namespace velk {
namespace {

using testing::FakeClock;
using testing::MemoryFileSystem;

std::string Utf16(const std::string& utf8) { return Utf8ToUtf16LeBytes(utf8); }

class TraceFileTest : public ::testing::Test {
  protected:
    TraceFileTest() : trace(clock, files) {
        trace.SetFileName("/log/opc.txt");
        trace.SetSizeLimit(0);
    }
    std::string Text(const std::string& path = "/log/opc.txt") {
        return Utf16LeBytesToUtf8(files.Content(path));
    }
    FakeClock clock;  // 2015-03-07 14:05:09.123, local = UTC
    MemoryFileSystem files;
    TraceFile trace;
};

TEST_F(TraceFileTest, WritesTheFourLineFormsInUtf16WithCrLf) {
    ASSERT_TRUE(trace.OpenTrace());
    EXPECT_TRUE(trace.Trace("Velk Modbus OPC Server started"));
    EXPECT_TRUE(trace.TraceResult("Count", 5, false));
    EXPECT_TRUE(trace.TraceResult("Count", -7, false));
    EXPECT_TRUE(trace.TraceResult("Called IOPCSyncIO::Read", 0, true));
    EXPECT_TRUE(trace.TraceResult("Called IOPCServer::AddGroup",
                                  static_cast<std::int32_t>(0x80004005u), true));
    EXPECT_TRUE(trace.TraceResult("X", static_cast<std::int32_t>(0x80040205u), true));
    EXPECT_TRUE(trace.TraceResult("Y", static_cast<std::int32_t>(0x80040200u), true));
    EXPECT_TRUE(trace.TraceResult("Z", static_cast<std::int32_t>(0x8123ABCDu), true));

    const std::string expected =
        "2015.03.07 14:05:09.123> Velk Modbus OPC Server started\r\n"
        "2015.03.07 14:05:09.123> Count 5\r\n"
        "2015.03.07 14:05:09.123> Count -7\r\n"
        "2015.03.07 14:05:09.123> Called IOPCSyncIO::Read, return code: 0\r\n"
        "2015.03.07 14:05:09.123> Called IOPCServer::AddGroup, return code: 0x80004005 "
        "(Unspecified error)\r\n"
        "2015.03.07 14:05:09.123> X, return code: 0x80040205 (IDispatch error #5)\r\n"
        "2015.03.07 14:05:09.123> Y, return code: 0x80040200 (Unknown error 0x80040200)\r\n"
        "2015.03.07 14:05:09.123> Z, return code: 0x8123abcd (Unknown error 0x8123ABCD)\r\n";
    EXPECT_EQ(files.Content("/log/opc.txt"), Utf16(expected));  // no byte-order mark
}

TEST_F(TraceFileTest, AnEchoThatBlocksHoldsUpNoOtherThreadThatTraces) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};
    trace.SetEcho([&](const std::string&) {
        if (calls++ == 0) {
            entered.set_value();
            released.wait();  // standard output that nobody reads
        }
    });
    ASSERT_TRUE(trace.OpenTrace());
    std::thread blocked([&] { trace.Trace("first"); });
    entered.get_future().wait();
    auto second = std::async(std::launch::async, [&] { return trace.Trace("second"); });
    const bool finished = second.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release.set_value();
    blocked.join();
    EXPECT_TRUE(finished) << "a trace call waited for another thread's echo";
    EXPECT_TRUE(second.get());
    EXPECT_NE(Text().find("> second\r\n"), std::string::npos);
    EXPECT_EQ(calls.load(), 2);
}

TEST_F(TraceFileTest, StampIsLocalTimeToTheMillisecond) {
    FakeClock eastern(FakeClock::kDefaultStart, -300);
    TraceFile local(eastern, files);
    local.SetFileName("/log/local.txt");
    local.OpenTrace();
    local.Trace("x");
    EXPECT_EQ(Text("/log/local.txt"), "2015.03.07 09:05:09.123> x\r\n");
}

TEST_F(TraceFileTest, NoFileNameOrFailedOpenMakesEveryCallAQuietFalse) {
    TraceFile unnamed(clock, files);
    EXPECT_FALSE(unnamed.OpenTrace());
    EXPECT_FALSE(unnamed.Trace("nothing"));
    EXPECT_EQ(files.FileCount(), 0u);

    files.failOpen = true;
    EXPECT_FALSE(trace.OpenTrace());
    EXPECT_FALSE(trace.Trace("nothing"));
    EXPECT_FALSE(trace.TraceResult("nothing", 1, true));
}

TEST_F(TraceFileTest, LimitZeroNeverRotates) {
    files.SetContent("/log/opc.txt", std::string(5 * 1024 * 1024, 'x'));
    trace.OpenTrace();
    trace.Trace("line");
    EXPECT_EQ(files.FileCount(), 1u);
}

TEST_F(TraceFileTest, RotatesBeforeTheLineOnceTheFileReachesTheLimitInWholeKilobytes) {
    trace.SetSizeLimit(1);
    files.SetContent("/log/opc.txt", std::string(1023, 'a'));
    trace.OpenTrace();
    trace.Trace("first");  // 1023 bytes: 0 KB, below the limit
    EXPECT_EQ(files.FileCount(), 1u);
    clock.Advance(1000);
    trace.Trace("second");  // now over 1024 bytes: rotated first
    EXPECT_EQ(files.FileCount(), 2u);
    EXPECT_EQ(Text(), "2015.03.07 14:05:10.123> second\r\n");
    const std::string rotated = files.Content("/log/201503071405.txt");
    EXPECT_EQ(rotated.substr(0, 1023), std::string(1023, 'a'));
    EXPECT_EQ(Utf16LeBytesToUtf8(rotated.substr(1023 + 1)).size() > 0, true);
}

TEST_F(TraceFileTest, LaterRotationsOfAMinuteAddACounterAndKeepTheLimit) {
    trace.SetSizeLimit(1);
    files.SetContent("/log/opc.txt", std::string(2048, 'a'));
    trace.OpenTrace();
    trace.Trace("one");  // rotated to 201503071405.txt
    files.SetContent("/log/opc.txt", std::string(2048, 'b'));
    trace.Trace("two");  // same minute: 201503071405-1.txt
    files.SetContent("/log/opc.txt", std::string(2048, 'c'));
    trace.Trace("three");
    EXPECT_EQ(files.Content("/log/201503071405.txt"), std::string(2048, 'a'));
    EXPECT_EQ(files.Content("/log/201503071405-1.txt").substr(0, 2048), std::string(2048, 'b'));
    EXPECT_EQ(files.Content("/log/201503071405-2.txt").substr(0, 2048), std::string(2048, 'c'));
    EXPECT_EQ(Text(), "2015.03.07 14:05:09.123> three\r\n");
}

TEST_F(TraceFileTest, AFailedRenameAppendsToTheOldFileAndTriesAgainAtTheNextLine) {
    trace.SetSizeLimit(1);
    files.SetContent("/log/opc.txt", std::string(2048, 'a'));
    trace.OpenTrace();
    files.failRename = true;
    trace.Trace("one");
    EXPECT_EQ(files.FileCount(), 1u);
    EXPECT_EQ(Utf16LeBytesToUtf8(files.Content("/log/opc.txt").substr(2048)),
              "2015.03.07 14:05:09.123> one\r\n");
    files.failRename = false;
    trace.Trace("two");
    EXPECT_EQ(Text(), "2015.03.07 14:05:09.123> two\r\n");
}

TEST_F(TraceFileTest, OnlyTheNewestRotatedFilesAreKept) {
    trace.SetSizeLimit(1);
    trace.SetRotatedFileLimit(3);
    for (const char* name : {"201503071300.txt", "201503071400.txt", "201503071404-2.txt",
                             "201503071404-10.txt", "201503071200.log", "notes.txt"}) {
        files.SetContent(std::string("/log/") + name, "old");
    }
    files.SetContent("/log/opc.txt", std::string(2048, 'a'));
    trace.OpenTrace();
    trace.Trace("one");
    std::vector<std::string> names = files.ListDirectory("/log");
    std::sort(names.begin(), names.end());
    // The counter orders numerically: -10 is newer than -2. Other names stay.
    EXPECT_EQ(names, (std::vector<std::string>{"201503071200.log", "201503071404-10.txt",
                                               "201503071404-2.txt", "201503071405.txt",
                                               "notes.txt", "opc.txt"}));
    trace.SetRotatedFileLimit(0);  // keeps all
    files.SetContent("/log/opc.txt", std::string(2048, 'b'));
    trace.Trace("two");
    EXPECT_EQ(files.ListDirectory("/log").size(), 7u);
}

TEST_F(TraceFileTest, FailedReopenAfterRotationStopsTracingForGood) {
    trace.SetSizeLimit(1);
    files.SetContent("/log/opc.txt", std::string(2048, 'a'));
    std::vector<std::string> lost;
    trace.SetLossReport([&](const std::string& name) { lost.push_back(name); });
    trace.OpenTrace();
    files.failOpen = true;
    EXPECT_FALSE(trace.Trace("dropped"));
    files.failOpen = false;
    EXPECT_FALSE(trace.Trace("still closed"));
    EXPECT_FALSE(trace.IsOpen());
    EXPECT_EQ(lost, std::vector<std::string>{"/log/opc.txt"});  // told once
}

TEST_F(TraceFileTest, RenamedSettingTakesEffectAtTheNextRotation) {
    trace.SetSizeLimit(1);
    trace.OpenTrace();
    trace.SetFileName("/log/new.log");
    trace.Trace("to the old file");
    EXPECT_NE(Text().find("to the old file"), std::string::npos);
    files.SetContent("/log/opc.txt", std::string(2048, 'a'));
    trace.Trace("after rotation");
    // The rotation renames the file under its new name's rule and reopens the new name.
    EXPECT_NE(Text("/log/new.log").find("after rotation"), std::string::npos);
}

TEST(RotatedTraceName, KeepsDirectoryAndExtension) {
    LocalTime t{2015, 3, 7, 14, 5, 9, 123, 6};
    EXPECT_EQ(RotatedTraceName("/var/log/opc.txt", t), "/var/log/201503071405.txt");
    EXPECT_EQ(RotatedTraceName("/var/log/opc", t), "/var/log/201503071405");
    EXPECT_EQ(RotatedTraceName("/var/log.d/opc", t), "/var/log.d/201503071405");
    EXPECT_EQ(RotatedTraceName("opc.trace.txt", t), "201503071405.txt");
    EXPECT_EQ(RotatedTraceName("/var/log/opc.txt", t, 12), "/var/log/201503071405-12.txt");
}

TEST(ResultText, KnownCodesAndGenericForms) {
    EXPECT_EQ(ResultText(E_INVALIDARG), "The parameter is incorrect.");
    EXPECT_EQ(ResultText(OPC_E_BADRIGHTS), "The item's access rights do not allow the operation.");
    EXPECT_EQ(ResultText(MakeResult(0x8004FFFFu)), "IDispatch error #65023");
    EXPECT_EQ(ResultText(MakeResult(0x00000123u)), "Unknown error 0x123");
    EXPECT_EQ(SystemErrorText(2), "No such file or directory");
    EXPECT_EQ(SystemErrorText(0), "");
}

class TraceFileOnDiskTest : public ::testing::Test {
  protected:
    TraceFileOnDiskTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velktraceXXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    ~TraceFileOnDiskTest() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    FakeClock clock;  // one minute for the whole test
    PosixFileSystem files;
};

TEST_F(TraceFileOnDiskTest, DrivenPastItsSizeManyTimesInOneMinuteItStaysWithinItsBounds) {
    const mode_t previous = ::umask(0);
    TraceFile trace(clock, files);
    trace.SetFileName((dir / "opc.txt").string());
    trace.SetSizeLimit(1);
    trace.SetRotatedFileLimit(4);
    const bool opened = trace.OpenTrace();
    for (int i = 0; opened && i < 400; ++i) trace.Trace("line " + std::to_string(i));
    ::umask(previous);
    ASSERT_TRUE(opened);
    std::vector<int> counters;  // of the rotated files: "201503071405-<n>.txt"
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        // The limit plus the one line written before the check.
        EXPECT_LT(entry.file_size(), 1024u + 128u) << entry.path();
        EXPECT_EQ(entry.status().permissions(), static_cast<std::filesystem::perms>(0644));
        const std::string name = entry.path().filename();
        if (name != "opc.txt") counters.push_back(std::stoi(name.substr(13)));
    }
    std::sort(counters.begin(), counters.end());
    // Over twenty rotations in the minute; the four newest are kept.
    ASSERT_EQ(counters.size(), 4u);
    EXPECT_GT(counters.front(), 20);
    EXPECT_EQ(counters.back() - counters.front(), 3);
}

TEST_F(TraceFileOnDiskTest, ALinkAtTheTraceFileNameIsNotWrittenThrough) {
    std::ofstream(dir / "target") << "precious";
    std::filesystem::create_symlink(dir / "target", dir / "opc.txt");
    TraceFile trace(clock, files);
    trace.SetFileName((dir / "opc.txt").string());
    EXPECT_FALSE(trace.OpenTrace());
    EXPECT_FALSE(trace.Trace("line"));
    EXPECT_EQ(std::filesystem::file_size(dir / "target"), 8u);
}

TEST(TraceFileOnDisk, LinesFromManyThreadsNeverInterleave) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("velk_trace_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    FakeClock clock;
    PosixFileSystem files;
    TraceFile trace(clock, files);
    trace.SetFileName((dir / "opc.txt").string());
    trace.SetSizeLimit(0);
    ASSERT_TRUE(trace.OpenTrace());
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&trace, t] {
            for (int i = 0; i < 500; ++i)
                trace.Trace("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& w : writers) w.join();
    trace.CloseTrace();
    std::ifstream in(dir / "opc.txt", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::istringstream lines(Utf16LeBytesToUtf8(bytes.str()));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.substr(0, 25), "2015.03.07 14:05:09.123> ");
        ASSERT_EQ(line.back(), '\r');
        ++count;
    }
    EXPECT_EQ(count, 2000);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velk
