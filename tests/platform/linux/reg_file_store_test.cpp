#include "platform/linux/reg_file_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "platform/text.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

constexpr const char* kApp = "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server";
constexpr const char* kTrace = "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile";

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "regstoreXXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> DirectoryEntries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

RegValue Raw(std::uint32_t type, std::string data) { return RegValue{type, std::move(data)}; }

// ---- the rules every settings store keeps, for the file store and the test double ------

template <class Store>
class StoreFactory;

template <>
class StoreFactory<RegFileStore> {
  public:
    std::unique_ptr<ISettingsStore> Make() {
        return std::make_unique<RegFileStore>((dir_.Path() / "settings.reg").string());
    }

  private:
    TempDir dir_;
};

template <>
class StoreFactory<testing::MemorySettingsStore> {
  public:
    std::unique_ptr<ISettingsStore> Make() {
        return std::make_unique<testing::MemorySettingsStore>();
    }
};

template <class Store>
class SettingsStoreContract : public ::testing::Test {
  protected:
    StoreFactory<Store> factory;
    std::unique_ptr<ISettingsStore> store = factory.Make();
};

using StoreTypes = ::testing::Types<RegFileStore, testing::MemorySettingsStore>;
TYPED_TEST_SUITE(SettingsStoreContract, StoreTypes);

TYPED_TEST(SettingsStoreContract, KeysComeWithTheirParentsAndCompareWithoutCase) {
    ISettingsStore& s = *this->store;
    EXPECT_FALSE(s.KeyExists(kApp));
    EXPECT_EQ(s.Problem(), "");
    ASSERT_TRUE(s.CreateKey(kTrace));
    EXPECT_TRUE(s.KeyExists("hkey_local_machine\\SOFTWARE\\velk"));
    EXPECT_TRUE(s.KeyExists(kApp));
    ASSERT_TRUE(s.CreateKey("HKEY_LOCAL_MACHINE\\software\\velk\\vElK a&e opc server\\Redundancy"));
    // The first spelling stays.
    EXPECT_EQ(s.SubKeys("HKEY_LOCAL_MACHINE\\Software"), std::vector<std::string>{"VELK"});
    auto subkeys = s.SubKeys(kApp);
    std::sort(subkeys.begin(), subkeys.end());
    EXPECT_EQ(subkeys, (std::vector<std::string>{"Redundancy", "TraceFile"}));
    EXPECT_TRUE(s.SubKeys(kTrace).empty());
    EXPECT_FALSE(s.CreateKey(""));
}

TYPED_TEST(SettingsStoreContract, ValuesNeedTheirKeyAndNamesCompareWithoutCase) {
    ISettingsStore& s = *this->store;
    EXPECT_FALSE(s.WriteValue(kTrace, "FileSize", RegValue::Dword(1024)));
    ASSERT_TRUE(s.CreateKey(kTrace));
    ASSERT_TRUE(s.WriteValue(kTrace, "FileSize", RegValue::Dword(1024)));
    ASSERT_TRUE(s.WriteValue(kTrace, "FILESIZE", RegValue::Dword(2048)));
    ASSERT_TRUE(s.WriteValue(kTrace, "", RegValue::String("default")));
    EXPECT_EQ(s.ReadValue(kTrace, "filesize"), RegValue::Dword(2048));
    EXPECT_EQ(s.ReadValue(kTrace, ""), RegValue::String("default"));
    EXPECT_EQ(s.ReadValue(kTrace, "FileName"), std::nullopt);
    EXPECT_EQ(s.ReadValue(kApp, "FileSize"), std::nullopt);
    EXPECT_TRUE(s.DeleteValue(kTrace, "FileSize"));
    EXPECT_EQ(s.ReadValue(kTrace, "FileSize"), std::nullopt);
    EXPECT_EQ(s.ReadValue(kTrace, ""), RegValue::String("default"));
}

TYPED_TEST(SettingsStoreContract, DeletingAKeyTakesEverythingBelowIt) {
    ISettingsStore& s = *this->store;
    ASSERT_TRUE(s.CreateKey(kTrace));
    ASSERT_TRUE(s.WriteValue(kTrace, "FileName", RegValue::String("/var/log/velk.txt")));
    ASSERT_TRUE(s.CreateKey("HKEY_LOCAL_MACHINE\\Software\\Other"));
    EXPECT_TRUE(s.DeleteKey("hkey_local_machine\\software\\VELK"));
    EXPECT_FALSE(s.KeyExists(kTrace));
    EXPECT_FALSE(s.KeyExists(kApp));
    EXPECT_EQ(s.ReadValue(kTrace, "FileName"), std::nullopt);
    EXPECT_TRUE(s.KeyExists("HKEY_LOCAL_MACHINE\\Software\\Other"));
    EXPECT_TRUE(s.DeleteKey(kApp));  // already gone
}

// ---- the file store --------------------------------------------------------------------

class RegFileStoreTest : public ::testing::Test {
  protected:
    fs::path File() const { return dir.Path() / "etc" / "velkopc" / "settings.reg"; }
    std::unique_ptr<RegFileStore> Open() { return std::make_unique<RegFileStore>(File().string()); }
    void Write(const std::string& text) {
        fs::create_directories(File().parent_path());
        WriteFile(File(), text);
    }

    TempDir dir;
};

TEST_F(RegFileStoreTest, MissingFileIsAnEmptyStoreUntilAKeyIsCreated) {
    auto store = Open();
    EXPECT_FALSE(store->KeyExists(kApp));
    EXPECT_EQ(store->Problem(), "");
    EXPECT_FALSE(fs::exists(File()));
    ASSERT_TRUE(store->CreateKey(kTrace));  // creates etc/velkopc/ too
    EXPECT_EQ(ReadFile(File()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\n\n");
}

TEST_F(RegFileStoreTest, WritesTheRegistryExportSyntax) {
    auto store = Open();
    ASSERT_TRUE(store->CreateKey(kApp));
    ASSERT_TRUE(store->CreateKey(kTrace));
    ASSERT_TRUE(store->WriteValue(kApp, "FullTagPath", RegValue::Dword(1)));
    ASSERT_TRUE(store->WriteValue(kApp, "AreaDelimiter", RegValue::String(".")));
    ASSERT_TRUE(store->WriteValue(kTrace, "FileSize", RegValue::Dword(0x400)));
    ASSERT_TRUE(store->WriteValue(kTrace, "FileName", RegValue::String("C:\\Log\\\"a\" b.txt")));
    ASSERT_TRUE(store->WriteValue(kTrace, "", RegValue::String("Grüße")));
    ASSERT_TRUE(store->WriteValue(kTrace, "Blob", Raw(REG_BINARY, std::string("\x01\xAB\x00", 3))));
    ASSERT_TRUE(
        store->WriteValue(kTrace, "Big", Raw(REG_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8))));
    EXPECT_EQ(ReadFile(File()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server]\n"
              "\"FullTagPath\"=dword:00000001\n"
              "\"AreaDelimiter\"=\".\"\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\n"
              "\"FileSize\"=dword:00000400\n"
              "\"FileName\"=\"C:\\\\Log\\\\\\\"a\\\" b.txt\"\n"
              "@=\"Grüße\"\n"
              "\"Blob\"=hex:01,ab,00\n"
              "\"Big\"=hex(b):01,00,00,00,00,00,00,80\n\n");
}

TEST_F(RegFileStoreTest, EveryValueComesBackByteForByte) {
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"Plain", RegValue::String("C:\\Program Files\\VELK")},
        {"Unicode", RegValue::String("Ä € 😀 \"quoted\"")},
        {"Empty", RegValue::String("")},
        {"NoTerminator", Raw(REG_SZ, Utf8ToUtf16LeBytes("abc"))},
        {"OddLength", Raw(REG_SZ, std::string("a\0b", 3))},
        {"EmbeddedZero", Raw(REG_SZ, std::string("a\0\0\0b\0\0\0", 8))},
        {"LineBreak", RegValue::String("one\r\ntwo")},
        {"LoneSurrogate", Raw(REG_SZ, std::string("\x00\xD8\x00\x00", 4))},
        {"Dword", RegValue::Dword(0xFFFFFFFF)},
        {"ShortDword", Raw(REG_DWORD, std::string("\x01\x02", 2))},
        {"LongDword", Raw(REG_DWORD, std::string("\x01\x02\x03\x04\x05", 5))},
        {"Binary", Raw(REG_BINARY, std::string(100, '\xA5'))},
        {"EmptyBinary", Raw(REG_BINARY, "")},
        {"Expand", Raw(REG_EXPAND_SZ, Utf8ToUtf16LeBytes("%HOME%") + std::string(2, '\0'))},
        {"Multi", Raw(REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10))},
        {"None", Raw(REG_NONE, "")},
        {"Name with \\ and \"", RegValue::Dword(7)},
    };
    {
        auto store = Open();
        ASSERT_TRUE(store->CreateKey(kApp));
        for (const auto& [name, value] : values) ASSERT_TRUE(store->WriteValue(kApp, name, value));
    }
    const std::string text = ReadFile(File());
    EXPECT_NE(text.find("\"Binary\"=hex:a5,a5"), std::string::npos);
    EXPECT_NE(text.find(",\\\n  a5,"), std::string::npos) << "long data is wrapped";
    EXPECT_NE(text.find("\"NoTerminator\"=hex(1):61,00,62,00,63,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"ShortDword\"=hex(4):01,02\n"), std::string::npos);
    EXPECT_NE(text.find("\"EmptyBinary\"=hex:\n"), std::string::npos);
    for (const auto& line : {std::string("one"), std::string("two")}) {
        EXPECT_EQ(text.find("\n" + line), std::string::npos) << "no raw line break in a text";
    }

    auto reread = Open();
    for (const auto& [name, value] : values) {
        EXPECT_EQ(reread->ReadValue(kApp, name), value) << name;
    }
    EXPECT_EQ(reread->Problem(), "");
}

TEST_F(RegFileStoreTest, ReadsAHandEditedFile) {
    Write(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; written by hand\r\n"
        "[hkey_local_machine\\software\\velk\\VELK A&E OPC Server\\TraceFile]\r\n"
        "\"FileSize\"=dword:400\r\n"
        "  \"FileName\" = \"/var/log/velk opc.txt\"  \r\n"
        "\"Data\"=hex:01,02,\\\r\n"
        "  03,04,\\\n"
        "  05\n"
        "\"Gone\"=dword:00000001\n"
        "\"Gone\"=-\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Removed\\Sub]\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Removed]\n"
        "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server]\n"
        "@=hex(2):25,00,00,00\n");
    auto store = Open();
    EXPECT_EQ(store->Problem(), "");
    EXPECT_EQ(store->ReadValue(kTrace, "filesize"), RegValue::Dword(1024));
    EXPECT_EQ(store->ReadValue(kTrace, "FileName"), RegValue::String("/var/log/velk opc.txt"));
    EXPECT_EQ(store->ReadValue(kTrace, "Data"), Raw(REG_BINARY, "\x01\x02\x03\x04\x05"));
    EXPECT_EQ(store->ReadValue(kTrace, "Gone"), std::nullopt);
    EXPECT_FALSE(store->KeyExists("HKEY_LOCAL_MACHINE\\Software\\Removed"));
    EXPECT_EQ(store->ReadValue(kApp, ""), Raw(REG_EXPAND_SZ, std::string("%\0\0\0", 4)));
    EXPECT_EQ(store->SubKeys("HKEY_LOCAL_MACHINE\\Software\\VELK"),
              std::vector<std::string>{"VELK A&E OPC Server"});
}

struct MalformedCase {
    const char* what;
    std::string text;
    int line;
};

class RegFileStoreMalformedTest : public RegFileStoreTest,
                                  public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(RegFileStoreMalformedTest, ReadsAsEmptyRefusesWritesAndNamesTheLine) {
    const std::string good =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\n"
        "\"FileSize\"=dword:00000400\n";
    const std::string text = GetParam().line == 1 ? GetParam().text : good + GetParam().text;
    Write(text);
    auto store = Open();

    const std::string problem = store->Problem();
    EXPECT_NE(problem.find(File().string()), std::string::npos) << problem;
    EXPECT_NE(problem.find("line " + std::to_string(GetParam().line) + ":"), std::string::npos)
        << problem;
    EXPECT_FALSE(store->KeyExists(kTrace));
    EXPECT_EQ(store->ReadValue(kTrace, "FileSize"), std::nullopt);
    EXPECT_FALSE(store->CreateKey(kApp));
    EXPECT_FALSE(store->WriteValue(kTrace, "FileSize", RegValue::Dword(1)));
    EXPECT_FALSE(store->DeleteKey(kTrace));
    EXPECT_FALSE(store->DeleteValue(kTrace, "FileSize"));
    EXPECT_EQ(ReadFile(File()), text) << "the file is never overwritten";
    EXPECT_EQ(DirectoryEntries(File().parent_path()),
              (std::set<std::string>{"settings.reg", "settings.reg.lock"}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegFileStoreMalformedTest,
    ::testing::Values(MalformedCase{"NoHeader", "[HKEY_LOCAL_MACHINE\\Software]\n", 1},
                      MalformedCase{"OldHeader", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n", 1},
                      MalformedCase{"UnknownEscape", "\"FileName\"=\"C:\\temp\"\n", 5},
                      MalformedCase{"OpenText", "\"FileName\"=\"C:\\\\temp\n", 5},
                      MalformedCase{"BadDword", "\n\"FileSize\"=dword:123456789\n", 6},
                      MalformedCase{"BadHexOnAContinuedLine", "\"Data\"=hex:01,\\\n  0g\n", 5},
                      MalformedCase{"StrayText", "FileSize=1\n", 5},
                      MalformedCase{"EmptyKeyPart", "[HKEY_LOCAL_MACHINE\\\\Software]\n", 5},
                      MalformedCase{"UnclosedKey", "[HKEY_LOCAL_MACHINE\\Software\n", 5},
                      MalformedCase{"NotUtf8", "\"FileName\"=\"caf\xE9\"\n", 5}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(RegFileStoreTest, ValueOutsideAnyKeyIsMalformed) {
    Write("Windows Registry Editor Version 5.00\n\"FileSize\"=dword:00000400\n");
    EXPECT_NE(Open()->Problem().find("line 2:"), std::string::npos);
}

TEST_F(RegFileStoreTest, ARepairedFileIsUsedAgain) {
    Write("Windows Registry Editor Version 5.00\n[broken\n");
    auto store = Open();
    EXPECT_NE(store->Problem(), "");
    Write(
        "Windows Registry Editor Version "
        "5.00\n[HKEY_LOCAL_MACHINE\\Software\\VELK]\n\"A\"=dword:2\n");
    EXPECT_EQ(store->Problem(), "");
    EXPECT_EQ(store->ReadValue("HKEY_LOCAL_MACHINE\\Software\\VELK", "A"), RegValue::Dword(2));
    EXPECT_TRUE(store->WriteValue("HKEY_LOCAL_MACHINE\\Software\\VELK", "B", RegValue::Dword(3)));
}

TEST_F(RegFileStoreTest, ChangesReplaceTheFileInsteadOfRewritingIt) {
    auto store = Open();
    ASSERT_TRUE(store->CreateKey(kTrace));
    ASSERT_TRUE(store->WriteValue(kTrace, "FileSize", RegValue::Dword(1024)));
    ::chmod(File().c_str(), 0640);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(File().c_str(), 12345, 23456), 0);  // another owner
    }
    const std::string before = ReadFile(File());
    std::ifstream reader(File(), std::ios::binary);  // a reader holding the old file open
    struct stat old {};
    ASSERT_EQ(::stat(File().c_str(), &old), 0);

    ASSERT_TRUE(store->WriteValue(kTrace, "FileName", RegValue::String(std::string(5000, 'x'))));

    std::stringstream seen;
    seen << reader.rdbuf();
    EXPECT_EQ(seen.str(), before) << "the old file stays whole for its readers";
    struct stat now {};
    ASSERT_EQ(::stat(File().c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old.st_ino);
    EXPECT_EQ(now.st_mode & 07777, 0640u) << "the file keeps its permissions";
    EXPECT_EQ(now.st_uid, old.st_uid);
    EXPECT_EQ(now.st_gid, old.st_gid);
    EXPECT_EQ(DirectoryEntries(File().parent_path()),
              (std::set<std::string>{"settings.reg", "settings.reg.lock"}));

    // Writing what is already there leaves the file alone.
    ASSERT_TRUE(store->WriteValue(kTrace, "FileSize", RegValue::Dword(1024)));
    ASSERT_TRUE(store->CreateKey(kTrace));
    struct stat same {};
    ASSERT_EQ(::stat(File().c_str(), &same), 0);
    EXPECT_EQ(same.st_ino, now.st_ino);
}

TEST_F(RegFileStoreTest, ALinkedStoreKeepsItsLink) {
    const fs::path real = dir.Path() / "shared" / "real.reg";
    fs::create_directories(real.parent_path());
    fs::create_directories(File().parent_path());
    fs::create_symlink(real, File());
    auto store = Open();
    ASSERT_TRUE(store->CreateKey(kTrace));
    ASSERT_TRUE(store->WriteValue(kTrace, "FileSize", RegValue::Dword(7)));
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_NE(ReadFile(real).find("\"FileSize\"=dword:00000007"), std::string::npos);
    EXPECT_EQ(Open()->ReadValue(kTrace, "FileSize"), RegValue::Dword(7));
}

TEST_F(RegFileStoreTest, AnotherWritersChangesAreSeenAndKept) {
    auto first = Open();
    auto second = Open();
    ASSERT_TRUE(first->CreateKey(kTrace));
    EXPECT_TRUE(second->KeyExists(kTrace));  // second had no file before: its view is refreshed
    ASSERT_TRUE(first->WriteValue(kTrace, "FileSize", RegValue::Dword(1)));
    ASSERT_TRUE(second->WriteValue(kTrace, "FileName", RegValue::String("b")));
    ASSERT_TRUE(first->WriteValue(kTrace, "Third", RegValue::Dword(3)));
    auto fresh = Open();
    EXPECT_EQ(fresh->ReadValue(kTrace, "FileSize"), RegValue::Dword(1));
    EXPECT_EQ(fresh->ReadValue(kTrace, "FileName"), RegValue::String("b"));
    EXPECT_EQ(fresh->ReadValue(kTrace, "Third"), RegValue::Dword(3));
    EXPECT_EQ(second->ReadValue(kTrace, "Third"), RegValue::Dword(3));
}

TEST_F(RegFileStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kValues = 40;
    const auto child = [&](int process) {
        RegFileStore store(File().string());
        const std::string key = std::string(kApp) + "\\P" + std::to_string(process);
        bool ok = store.CreateKey(key);
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "V" + std::to_string(i);
            ok = store.WriteValue(key, name, RegValue::Dword(process * 1000 + i)) && ok;
            ok = store.WriteValue(kApp, "P" + std::to_string(process) + name,
                                  RegValue::String(std::to_string(i))) &&
                 ok;
        }
        ::_exit(ok ? 0 : 1);
    };
    Open()->CreateKey(kApp);
    std::vector<pid_t> children;
    for (int process = 1; process <= 2; ++process) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) child(process);
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto store = Open();
    EXPECT_EQ(store->Problem(), "");
    for (int process = 1; process <= 2; ++process) {
        const std::string key = std::string(kApp) + "\\P" + std::to_string(process);
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "V" + std::to_string(i);
            EXPECT_EQ(store->ReadValue(key, name), RegValue::Dword(process * 1000 + i))
                << key << name;
            EXPECT_EQ(store->ReadValue(kApp, "P" + std::to_string(process) + name),
                      RegValue::String(std::to_string(i)));
        }
    }
}

TEST_F(RegFileStoreTest, AStoreThatCannotBeWrittenSaysWhy) {
    WriteFile(dir.Path() / "plainfile", "x");
    RegFileStore store((dir.Path() / "plainfile" / "settings.reg").string());
    EXPECT_FALSE(store.CreateKey(kApp));
    EXPECT_NE(store.Problem().find("plainfile"), std::string::npos) << store.Problem();
    EXPECT_FALSE(store.KeyExists(kApp));
}

// Each case must be refused at once: a FIFO that nobody writes would block a reader for ever.
struct UnusableCase {
    const char* what;
    std::function<void(const fs::path& file)> make;
    const char* problem;
};

class RegFileStoreUnusableTest : public RegFileStoreTest,
                                 public ::testing::WithParamInterface<UnusableCase> {};

TEST_P(RegFileStoreUnusableTest, IsRefusedAtOnceAndLeftAlone) {
    fs::create_directories(File().parent_path());
    GetParam().make(File());
    const auto before = fs::symlink_status(File()).type();
    auto store = Open();
    EXPECT_NE(store->Problem().find(GetParam().problem), std::string::npos) << store->Problem();
    EXPECT_FALSE(store->KeyExists(kTrace));
    EXPECT_FALSE(store->CreateKey(kTrace));
    EXPECT_FALSE(store->WriteValue(kTrace, "FileSize", RegValue::Dword(1)));
    EXPECT_EQ(fs::symlink_status(File()).type(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RegFileStoreUnusableTest,
    ::testing::Values(
        UnusableCase{"Fifo", [](const fs::path& f) { ::mkfifo(f.c_str(), 0644); },
                     "not a regular file"},
        UnusableCase{"Directory", [](const fs::path& f) { fs::create_directory(f); },
                     "not a regular file"},
        UnusableCase{"HugeFile",
                     [](const fs::path& f) {
                         WriteFile(f, "Windows Registry Editor Version 5.00\n");
                         fs::resize_file(f, RegFileStore::kMaxStoreBytes + 1);  // sparse
                     },
                     "larger than 64 MB"},
        UnusableCase{"HugeValue",
                     [](const fs::path& f) {
                         std::string bytes;
                         for (std::size_t i = 0; i <= kMaxRegValueBytes; ++i) bytes += "00,";
                         bytes.pop_back();
                         WriteFile(f, std::string("Windows Registry Editor Version 5.00\n\n[") +
                                          kTrace + "]\n\"Big\"=hex:" + bytes + "\n");
                     },
                     "line 4: the value is larger than 1 MB"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(RegFileStoreTest, ValuesLargerThanTheStoreReadsAreNotWritten) {
    auto store = Open();
    ASSERT_TRUE(store->CreateKey(kApp));
    EXPECT_FALSE(
        store->WriteValue(kApp, "Big", Raw(REG_BINARY, std::string(kMaxRegValueBytes + 1, 'x'))));
    EXPECT_TRUE(
        store->WriteValue(kApp, "Max", Raw(REG_BINARY, std::string(kMaxRegValueBytes, 'x'))));
    EXPECT_EQ(Open()->ReadValue(kApp, "Max")->data.size(), kMaxRegValueBytes);
}

TEST_F(RegFileStoreTest, AnEditInPlaceIsSeenAtTheNextRead) {
    const std::string text =
        std::string("Windows Registry Editor Version 5.00\n[") + kTrace + "]\n";
    Write(text + "\"FileSize\"=dword:00000001\n");
    auto store = Open();
    ASSERT_EQ(store->ReadValue(kTrace, "FileSize"), RegValue::Dword(1));
    // Same inode, same size, and most likely the same tick of the file system's clock.
    std::ofstream(File(), std::ios::binary | std::ios::in | std::ios::out)
        << text + "\"FileSize\"=dword:00000002\n";
    EXPECT_EQ(store->ReadValue(kTrace, "FileSize"), RegValue::Dword(2));
}

TEST_F(RegFileStoreTest, FilesAndDirectoriesGetTheirModesWhateverTheUmask) {
    const mode_t previous = ::umask(0);
    auto store = Open();
    const bool created = store->CreateKey(kTrace);
    ::umask(previous);
    ASSERT_TRUE(created);
    EXPECT_EQ(fs::status(File()).permissions(), static_cast<fs::perms>(0644));
    EXPECT_EQ(fs::status(File().parent_path()).permissions(), static_cast<fs::perms>(0755));
    EXPECT_EQ(fs::status(File().parent_path().parent_path()).permissions(),
              static_cast<fs::perms>(0755));
    EXPECT_EQ(fs::status(File().string() + ".lock").permissions(), static_cast<fs::perms>(0644));
}

TEST_F(RegFileStoreTest, NamesThatCannotStandInTheFileAreRefused) {
    auto store = Open();
    ASSERT_TRUE(store->CreateKey(kApp));
    EXPECT_FALSE(store->WriteValue(kApp, "two\nlines", RegValue::Dword(1)));
    EXPECT_FALSE(store->CreateKey(std::string(kApp) + "\\bad\nkey"));
    EXPECT_FALSE(store->CreateKey(std::string(kApp) + "\\\\empty"));
    EXPECT_EQ(Open()->Problem(), "");
}

}  // namespace
}  // namespace velk
