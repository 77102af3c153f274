#include "sparkplug/bd_seq_store.h"

#include <gtest/gtest.h>

#include "tests/model/config_file_memory_access.h"

namespace velk::sparkplug {
namespace {

TEST(BdSeqStoreTest, EachSessionTakesTheNextNumberAcrossRestarts) {
    testing::MemoryDocumentFileAccess files;
    EXPECT_EQ(BdSeqStore(files, "/var/lib/velk").TakeNext(), 0u);
    // A restarted server reads what the last one kept.
    for (unsigned expected = 1; expected <= 255; ++expected) {
        ASSERT_EQ(BdSeqStore(files, "/var/lib/velk").TakeNext(), expected);
    }
    BdSeqStore store(files, "/var/lib/velk");
    EXPECT_EQ(store.TakeNext(), 0u);  // after 255
    EXPECT_EQ(store.TakeNext(), 1u);
    EXPECT_EQ(files.files.at("/var/lib/velk/sparkplug_bdseq"), "1\n");
    EXPECT_EQ(files.files.size(), 1u);  // no new file left behind
}

TEST(BdSeqStoreTest, ARecordThatIsNoNumberStartsAgainAtZero) {
    for (const char* record : {"", "256\n", "-1\n", "12x\n", "1234\n"}) {
        SCOPED_TRACE(record);
        testing::MemoryDocumentFileAccess files;
        files.files["d/sparkplug_bdseq"] = record;
        EXPECT_EQ(BdSeqStore(files, "d").TakeNext(), 0u);
    }
    testing::MemoryDocumentFileAccess files;
    files.files["d/sparkplug_bdseq"] = "41\r\n";
    files.files["d/sparkplug_bdseq.new"] = "9";  // a crash between write and rename
    EXPECT_EQ(BdSeqStore(files, "d").TakeNext(), 42u);
    EXPECT_EQ(files.files.at("d/sparkplug_bdseq"), "42\n");
}

TEST(BdSeqStoreTest, AFailedWriteKeepsTheLastNumberAndStillGivesTheNext) {
    testing::MemoryDocumentFileAccess files;
    files.files["d/sparkplug_bdseq"] = "7\n";
    files.replaceError = FileError::kDiskFull;
    BdSeqStore store(files, "d");
    EXPECT_EQ(store.TakeNext(), 8u);
    EXPECT_EQ(files.files.at("d/sparkplug_bdseq"), "7\n");
    EXPECT_EQ(files.files.count("d/sparkplug_bdseq.new"), 0u);
    // The process's next session does not repeat it.
    EXPECT_EQ(store.TakeNext(), 9u);
}

}  // namespace
}  // namespace velk::sparkplug
