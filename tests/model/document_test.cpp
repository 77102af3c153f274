#include <gtest/gtest.h>

#include <map>

#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/user_condition_file.h"
#include "platform/file_reader.h"
#include "tests/model/document_test_doubles.h"
#include "tests/support/fake_clock.h"
#include "tests/support/lock_probe.h"

namespace velk {
namespace {

using namespace velk::testing;

class MapFileReader final : public IFileReader {
  public:
    FileReadResult ReadAll(const std::string& path, std::string& bytes) override {
        auto it = files.find(path);
        if (it == files.end()) return FileReadResult::CannotOpen;
        bytes = it->second;
        return FileReadResult::Ok;
    }
    std::map<std::string, std::string> files;
};

class DocumentTest : public ::testing::Test {
  protected:
    DocumentTest() { doc = MakeDocument(); }

    // A document over the fixture's doubles; with ownTables it loads the user conditions
    // into condition tables of its own instead of the fixture's.
    std::unique_ptr<CDoc> MakeDocument(ModelSettings settings = {}, bool ownTables = false) {
        CDocServices services;
        services.ui = &ui;
        services.admin = &admin;
        services.counts = &counts;
        services.storage = &storage;
        services.clock = &clock;
        services.monitor = &monitor;
        services.lifecycle = &lifecycle;
        services.eventSpace = ownTables ? nullptr : &space;
        services.files = &files;
        services.conditionDirectories = {"/opt/velk", "/etc/velkopc"};
        auto d = std::make_unique<CDoc>(services, settings);
        d->OnNewDocument();
        d->AddObserver(&views);
        return d;
    }

    // New Device with the dialog renaming it (or keeping the default with an empty name).
    bool AddDevice(const std::string& name = "") {
        ui.deviceAnswers.push_back([name](DeviceDialogValues& v) {
            if (!name.empty()) v.name = name;
            return true;
        });
        return doc->AddDevice();
    }
    bool AddGroup(const std::string& name) {
        ui.groupNames.push_back(name);
        return doc->AddGroup("", false);
    }
    // New Tag on the selection with the sheet setting name, kind and address.
    OModbusTag* AddTag(const std::string& name, std::int32_t kind = kOutputCoil,
                       std::uint16_t address = 0, std::uint16_t alarmFlags = 0) {
        auto finalName = std::make_shared<std::string>();
        ui.tagSheet = [=](OModbusTag& tag) {
            if (!name.empty()) tag.name = name;
            tag.locationKind = kind;
            tag.address = address;
            tag.alarm->enableFlags = alarmFlags;
            *finalName = tag.name;
            return true;
        };
        if (!doc->AddTag()) return nullptr;
        return doc->selection->FindOwnTag(*finalName);
    }

    ScriptedUi ui;
    FakeAdmin admin;
    FakeCounts counts;
    FakeStorage storage;
    FakeClock clock;
    FakeMonitor monitor;
    FakeLifecycle lifecycle;
    AeEventSpace space;
    MapFileReader files;
    RecordingObserver views;
    std::unique_ptr<CDoc> doc;
};

// --- new, open, save, user conditions --------------------------------------------------

TEST_F(DocumentTest, NewConfigurationHasSixteenDefaultPorts) {
    ASSERT_EQ(doc->portList.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        const OPort& port = *doc->portList[i];
        EXPECT_EQ(port.name, "COM" + std::to_string(i + 1));
        EXPECT_EQ(port.baudRate, 57600u);
        EXPECT_EQ(port.dataBits, 8);
        EXPECT_EQ(port.stopBits, 0);
        EXPECT_EQ(port.parity, 2);
        EXPECT_EQ(port.flowControl, 0);
        EXPECT_EQ(port.enabled, 1);
    }
    EXPECT_EQ(doc->nextDeviceNumber, 1);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(doc->Devices().empty());
}

TEST_F(DocumentTest, NewAndOpenAreRefusedWhileClientsHoldTheServer) {
    AddDevice();
    ui.messages.clear();
    counts.comLocks = 1;
    EXPECT_FALSE(doc->OnNewDocument());
    EXPECT_FALSE(doc->OnOpenDocument("/x.vlk"));
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{
                  "Cannot change files while OPC Clients are connected to this server.",
                  "Cannot change files while OPC Clients are connected to this server."}));
    EXPECT_EQ(doc->Devices().size(), 1u);
    EXPECT_TRUE(storage.loadedPaths.empty());
}

TEST_F(DocumentTest, NewClearsTheTreeAndTellsTheViews) {
    AddDevice();
    AddTag("A");
    doc->lastCsvPath = "/tmp/a.csv";
    views.hints.clear();
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_TRUE(doc->Devices().empty());
    EXPECT_TRUE(doc->documentTagList.empty());
    EXPECT_EQ(doc->selection, nullptr);
    EXPECT_EQ(doc->nextDeviceNumber, 1);
    EXPECT_EQ(doc->lastCsvPath, "");
    EXPECT_EQ(views.hints, (std::vector<int>{kHintCleared}));
    EXPECT_EQ(lifecycle.stopped, (std::vector<std::string>{"Device1"}));
}

TEST_F(DocumentTest, OpenSelectsTheFirstDeviceAndRebuildsTheViews) {
    storage.builder = [](CDoc& d) {
        d.AddDefaultPorts();
        auto device = std::make_unique<ODevice>();
        device->name = "PLC";
        auto tag = std::make_unique<OModbusTag>();
        tag->name = "Alarm";
        tag->locationKind = kEventSignal;
        device->tagList.push_back(std::move(tag));
        d.rootGroup.subgroupList.push_back(std::move(device));
        d.LinkLoadedTree();
        return true;
    };
    views.hints.clear();
    ASSERT_TRUE(doc->OnOpenDocument("/cfg/a.vlk"));
    EXPECT_EQ(views.hints, (std::vector<int>{kHintCleared, kHintRebuild}));
    ASSERT_EQ(doc->Devices().size(), 1u);
    ODevice* device = doc->Devices().front();
    EXPECT_EQ(doc->selection, device);
    EXPECT_EQ(device->parent, &doc->rootGroup);
    EXPECT_EQ(doc->PathName(), "/cfg/a.vlk");
    EXPECT_FALSE(doc->IsModified());
    OModbusTag* tag = doc->FindTag("plc.alarm", ".");
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->device, device);
    EXPECT_EQ(device->eventSignalScanList, (TagList{tag}));
}

TEST_F(DocumentTest, FailedOpenResetsAsNewAndTellsTheUser) {
    AddDevice();
    storage.builder = [](CDoc& d) {
        auto device = std::make_unique<ODevice>();
        d.rootGroup.subgroupList.push_back(std::move(device));  // read before the failure
        return false;
    };
    doc->lastResPath = "/tmp/plc.res";
    doc->csvFilterIndex = 2;
    EXPECT_FALSE(doc->OnOpenDocument("/bad.vlk"));
    EXPECT_EQ(ui.messages.back(), "Unexpected file format.");
    EXPECT_EQ(doc->lastResPath, "");
    EXPECT_EQ(doc->csvFilterIndex, 0);
    EXPECT_TRUE(doc->Devices().empty());
    EXPECT_EQ(doc->portList.size(), 16u);
    EXPECT_EQ(doc->PathName(), "");
}

TEST_F(DocumentTest, SaveFailureKeepsTheDocumentModified) {
    AddDevice();
    storage.saveSucceeds = false;
    EXPECT_FALSE(doc->OnSaveDocument("/ro/a.vlk"));
    EXPECT_EQ(ui.messages.back(), "Access to /ro/a.vlk was denied.");
    EXPECT_TRUE(doc->IsModified());
    storage.saveSucceeds = true;
    EXPECT_TRUE(doc->OnSaveDocument("/rw/a.vlk"));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->PathName(), "/rw/a.vlk");
}

TEST_F(DocumentTest, MissingUserConditionFileIsReportedOnceAtCreation) {
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Unable to open user condition file."}));
    EXPECT_EQ(space.Conditions().size(), 4u);
}

TEST_F(DocumentTest, UserConditionFileIsLoadedFromTheFirstDirectoryThatHasIt) {
    files.files["/etc/velkopc/AE_Cond.INI"] = "[Door]\nOpen\nShut\n";
    ui.messages.clear();
    auto second = MakeDocument();
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(space.Conditions().size(), 5u);
    EXPECT_EQ(space.SubconditionNames(4), (std::vector<std::string>{"Open", "Shut"}));
}

// Two servers' models in one process (a redundant pair under test): each document has its
// own condition tables and locks, and its devices, made or loaded, take the document's.
TEST_F(DocumentTest, TwoDocumentsSideBySideKeepTheirConditionTablesAndLocks) {
    files.files["/opt/velk/AE_Cond.INI"] = "[Door]\nOpen\nShut\n";
    std::unique_ptr<CDoc> first = MakeDocument({}, true);
    files.files.clear();
    std::unique_ptr<CDoc> second = MakeDocument({}, true);
    EXPECT_EQ(first->EventSpace().FindCondition("Door"), 4);
    EXPECT_EQ(second->EventSpace().FindCondition("Door"), -1);
    EXPECT_EQ(space.FindCondition("Door"), -1);

    ui.deviceAnswers.push_back([](DeviceDialogValues&) { return true; });
    ASSERT_TRUE(first->AddDevice());
    auto loaded = std::make_unique<ODevice>();
    ODevice& secondDevice = *loaded;
    second->rootGroup.subgroupList.push_back(std::move(loaded));
    second->LinkLoadedTree();
    ODevice& firstDevice = *first->Devices().front();

    // While one document's tree and tag data are held (its import, say), the other's
    // acquisition and servers go on.
    std::lock_guard tree(first->Locks().tree);
    std::lock_guard data(first->Locks().tagData);
    EXPECT_FALSE(FreeForOthers(firstDevice.Locks().tagData));
    EXPECT_TRUE(FreeForOthers(secondDevice.Locks().tagData));
    EXPECT_TRUE(FreeForOthers(second->Locks().tree));
}

// --- devices --------------------------------------------------------------------------

TEST_F(DocumentTest, DeviceNumbersAndDuplicates) {
    ASSERT_TRUE(AddDevice());
    EXPECT_EQ(ui.shownDeviceNames.back(), "Device1");
    EXPECT_FALSE(AddDevice("device1"));  // case ignored
    EXPECT_EQ(ui.messages.back(), "Device Already Exist!");
    EXPECT_EQ(doc->selection, nullptr);
    ASSERT_TRUE(AddDevice());
    EXPECT_EQ(ui.shownDeviceNames.back(), "Device2");  // the number was given back
    ui.acceptDialogs = false;
    EXPECT_FALSE(doc->AddDevice());  // cancelled Device3 consumes its number
    ui.acceptDialogs = true;
    ASSERT_TRUE(AddDevice());
    EXPECT_EQ(ui.shownDeviceNames.back(), "Device4");
    EXPECT_EQ(doc->Devices().size(), 3u);
}

TEST_F(DocumentTest, DevicesAreInsertedInNameOrderAndBoundToPorts) {
    doc->portList[2]->enabled = 0;
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.name = "Mixer";
        v.params.primaryPortName = "COM2";
        v.params.secondaryPortName = "COM9";
        return true;
    });
    ASSERT_TRUE(doc->AddDevice());
    AddDevice("alpha");
    AddDevice("Zeta");
    std::vector<std::string> names;
    for (ODevice* d : doc->Devices()) names.push_back(d->name);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Mixer", "Zeta"}));
    EXPECT_EQ(ui.offeredPorts.size(), 15u);  // COM3 is disabled
    ODevice* mixer = doc->FindDevice("MIXER");
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->params.primaryPort, doc->portList[1].get());
    EXPECT_EQ(mixer->params.secondaryPort, doc->portList[8].get());
    // Added, then shown as the selection: the tag list must follow it.
    ASSERT_GE(views.hints.size(), 2u);
    EXPECT_EQ(std::vector<int>(views.hints.end() - 2, views.hints.end()),
              (std::vector<int>{kHintItemAdded, kHintTagListChanged}));
    EXPECT_EQ(views.items[views.items.size() - 2], doc->FindDevice("Zeta"));
    EXPECT_EQ(doc->selection, doc->FindDevice("Zeta"));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(DocumentTest, PortBindingTakesTheLastPortOfTheNameAndAllowsTheSamePortTwice) {
    auto twin = std::make_unique<OPort>(5);  // a second "COM5"
    OPort* last = twin.get();
    doc->portList.push_back(std::move(twin));
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.params.primaryPortName = v.params.secondaryPortName = "COM5";
        return true;
    });
    ASSERT_TRUE(doc->AddDevice());
    ODevice* device = doc->Devices().front();
    EXPECT_EQ(device->params.primaryPort, last);
    EXPECT_EQ(device->params.secondaryPort, last);
    // A name without a port keeps the previous reference.
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.params.primaryPortName = "COM99";
        return true;
    });
    ASSERT_TRUE(doc->EditDeviceProperties(*device));
    EXPECT_EQ(device->params.primaryPort, last);
}

TEST_F(DocumentTest, BatchFlagSilencesTheViewsDuringImports) {
    AddDevice();
    views.hints.clear();
    doc->batchFlag = true;
    ASSERT_TRUE(doc->AddGroup("Imported", true));
    doc->selection = doc->Devices().front();
    ASSERT_NE(AddTag("T"), nullptr);
    EXPECT_TRUE(views.hints.empty());
    EXPECT_TRUE(doc->IsModified());
    doc->batchFlag = false;
    doc->RemoveObserver(&views);
    ASSERT_NE(AddTag("U"), nullptr);
    EXPECT_TRUE(views.hints.empty());
}

TEST_F(DocumentTest, EditingNeedsAnAdministrator) {
    admin.admin = false;
    EXPECT_FALSE(AddDevice());
    EXPECT_TRUE(ui.shownDeviceNames.empty());
    admin.admin = true;
    AddDevice();
    admin.admin = false;
    EXPECT_FALSE(AddGroup("G"));
    EXPECT_FALSE(doc->AddTag());
    EXPECT_FALSE(doc->DeleteSelection());
    EXPECT_EQ(doc->Devices().size(), 1u);
}

TEST_F(DocumentTest, DevicePropertiesCopyTheDialogValues) {
    AddDevice();
    ODevice* device = doc->Devices().front();
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.name = "Renamed";
        v.params.slaveAddress = 7;
        v.params.primaryPortName = "COM4";
        v.simulationEnabled = 1;
        return true;
    });
    ASSERT_TRUE(doc->EditSelectionProperties());
    EXPECT_EQ(device->name, "Renamed");
    EXPECT_EQ(device->params.slaveAddress, 7);
    EXPECT_EQ(device->params.primaryPort, doc->portList[3].get());
    EXPECT_EQ(device->simulationEnabled, 1);
    EXPECT_EQ(views.hints.back(), kHintItemChanged);
}

// --- groups ---------------------------------------------------------------------------

TEST_F(DocumentTest, GroupNamingRules) {
    AddDevice();
    ODevice* device = doc->Devices().front();
    EXPECT_FALSE(AddGroup("A.B"));
    EXPECT_EQ(ui.messages.back(), "Group's Name does not accept Dots!");
    EXPECT_EQ(ui.shownGroupNames.back(), "Group");

    ASSERT_TRUE(AddGroup("G2"));
    EXPECT_EQ(doc->selection, device->FindSubgroup("G2"));  // the first subgroup as well
    EXPECT_EQ(views.hints.back(), kHintTagListChanged);
    doc->selection = device;
    ASSERT_TRUE(AddGroup("G1"));
    OTagGroup* g1 = device->FindSubgroup("g1");
    EXPECT_EQ(doc->selection, g1);
    EXPECT_EQ(g1->description, "desc of G1");
    EXPECT_EQ(device->subgroupList.front().get(), g1);  // name order

    doc->selection = device;
    EXPECT_FALSE(AddGroup("g2"));
    EXPECT_EQ(ui.messages.back(), "Group Already Exist!");
    EXPECT_EQ(doc->selection, device->FindSubgroup("G2"));
}

TEST_F(DocumentTest, DelimiterSettingDecidesWhichNamesAreRefused) {
    doc = MakeDocument(ModelSettings{"/", 1});
    AddDevice();
    EXPECT_TRUE(AddGroup("A.B"));
    EXPECT_FALSE(AddGroup("C/D"));

    doc = MakeDocument(ModelSettings{"", 1});
    AddDevice();
    EXPECT_FALSE(AddGroup("Plain"));
    EXPECT_EQ(AddTag("Plain"), nullptr);
    EXPECT_EQ(ui.messages.back(), "Tag Name does not Accept Dots!");
}

TEST_F(DocumentTest, SilentGroupsSkipTheDialogAndItsTests) {
    AddDevice();
    ODevice* device = doc->Devices().front();
    ASSERT_TRUE(doc->AddGroup("X.Y", true));
    EXPECT_TRUE(ui.shownGroupNames.empty());
    const std::size_t messages = ui.messages.size();
    doc->selection = device;
    EXPECT_FALSE(doc->AddGroup("x.y", true));
    EXPECT_EQ(ui.messages.size(), messages);  // no message in silent mode
    EXPECT_EQ(doc->selection, device->FindSubgroup("X.Y"));
}

TEST_F(DocumentTest, GroupPropertiesAreNotTestedAgainstSiblings) {
    AddDevice();
    AddGroup("A");
    doc->selection = doc->Devices().front();
    AddGroup("B");
    OTagGroup* b = doc->selection;
    ui.groupNames.push_back("A");
    ASSERT_TRUE(doc->EditSelectionProperties());
    EXPECT_EQ(b->name, "A");
    EXPECT_EQ(views.hints.back(), kHintItemChanged);
}

// --- tags -----------------------------------------------------------------------------

TEST_F(DocumentTest, TagDefaultNamesAndRefusals) {
    AddDevice();
    ODevice* device = doc->Devices().front();
    ASSERT_NE(AddTag(""), nullptr);
    EXPECT_EQ(ui.shownTagNames.back(), "Tag1");
    EXPECT_EQ(AddTag("tag1"), nullptr);
    EXPECT_EQ(ui.messages.back(), "Tag Already Exist!");
    EXPECT_EQ(AddTag("a.b"), nullptr);
    EXPECT_EQ(ui.messages.back(), "Tag Name does not Accept Dots!");
    ui.acceptDialogs = false;
    ui.tagSheet = nullptr;
    EXPECT_FALSE(doc->AddTag());
    ui.acceptDialogs = true;
    ASSERT_NE(AddTag(""), nullptr);
    EXPECT_EQ(ui.shownTagNames.back(), "Tag2");  // refusals and Cancel gave numbers back
    EXPECT_EQ(device->nextTagNumber, 3);
    EXPECT_EQ(doc->documentTagList.size(), 2u);
}

TEST_F(DocumentTest, NewTagJoinsItsGroupTheDocumentListAndTheScanLists) {
    AddDevice();
    AddGroup("G");
    OTagGroup* g = doc->Devices().front()->FindSubgroup("G");
    doc->selection = g;
    OModbusTag* signal = AddTag("Sig", kEventSignal, 4);
    OModbusTag* alarmed = AddTag("Hot", kHoldingRegister, 2, 4);
    OModbusTag* plain = AddTag("Cold", kHoldingRegister, 1);
    ASSERT_TRUE(signal && alarmed && plain);
    ODevice* device = doc->Devices().front();
    EXPECT_EQ(signal->group, g);
    EXPECT_EQ(signal->device, device);
    EXPECT_EQ(doc->documentTagList, (std::vector<OModbusTag*>{signal, alarmed, plain}));
    EXPECT_EQ(device->eventSignalScanList, (TagList{signal}));
    EXPECT_EQ(device->alarmScanList, (TagList{alarmed}));
    // Name order in the group.
    EXPECT_EQ(g->tagList[0]->name, "Cold");
    EXPECT_EQ(g->tagList[2]->name, "Sig");
    EXPECT_EQ(views.hints.back(), kHintTagListChanged);
}

TEST_F(DocumentTest, RefusedTagLeavesTheScanListsTheSheetFilled) {
    AddDevice();
    AddTag("T", kEventSignal);
    ODevice* device = doc->Devices().front();
    ui.tagSheet = [device](OModbusTag& tag) {
        tag.name = "t";
        tag.locationKind = kEventSignal;
        device->UpdateScanLists(&tag);  // the sheet's apply lists the tag
        return true;
    };
    EXPECT_FALSE(doc->AddTag());
    EXPECT_EQ(device->eventSignalScanList.size(), 1u);
    EXPECT_EQ(device->eventSignalScanList.front()->name, "T");
}

TEST_F(DocumentTest, FindTagResolvesPathsIgnoringCase) {
    AddDevice("DEV1");
    OModbusTag* own = AddTag("Tag1");
    AddGroup("g1");
    doc->selection = doc->Devices().front()->FindSubgroup("g1");
    OModbusTag* inGroup = AddTag("TAG1");
    ODevice* found = nullptr;
    EXPECT_EQ(doc->FindTag("Dev1.G1.Tag1", ".", &found), inGroup);
    EXPECT_EQ(found, doc->Devices().front());
    EXPECT_EQ(doc->FindTag("Dev1.Tag1", "."), own);
    EXPECT_EQ(doc->FindTag("Dev1.G1", "."), nullptr);
    EXPECT_EQ(doc->FindTag(".Dev1.Tag1", "."), nullptr);
    EXPECT_EQ(doc->FindTag("Dev1", "."), nullptr);
    EXPECT_EQ(doc->FindTag("Dev2.Tag1", "."), nullptr);
    EXPECT_EQ(doc->FindTag("Dev1.G2.Tag1", "."), nullptr);
    EXPECT_EQ(doc->FindTagById(inGroup->id), inGroup);
}

TEST_F(DocumentTest, DeviceNameWithTheDelimiterHidesItsTags) {
    AddDevice("A.B");
    AddTag("T");
    EXPECT_EQ(doc->FindTag("A.B.T", "."), nullptr);
}

TEST_F(DocumentTest, PathsUseTheAreaDelimiterButItemIdsUseDots) {
    doc = MakeDocument(ModelSettings{"-", 1});
    AddDevice("D");
    AddGroup("G");
    doc->selection = doc->Devices().front()->FindSubgroup("G");
    OModbusTag* level = AddTag("Level");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetFullPath("-"), "D-G-Level");
    EXPECT_EQ(level->group->GetAreaPath("-"), "D-G");
    EXPECT_EQ(doc->Devices().front()->GetAreaPath("-"), "D");
    EXPECT_EQ(doc->FindTag("D.G.Level", "."), level);
    EXPECT_EQ(doc->FindTag("D-G-Level", "-"), level);
}

// --- paste ----------------------------------------------------------------------------

std::vector<std::unique_ptr<OModbusTag>> Clipboard(
    std::initializer_list<std::pair<std::string, std::int32_t>> tags) {
    std::vector<std::unique_ptr<OModbusTag>> list;
    for (const auto& [name, kind] : tags) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->locationKind = kind;
        list.push_back(std::move(tag));
    }
    return list;
}

TEST_F(DocumentTest, PasteAddsNewTagsAndAsksForClashes) {
    AddDevice();
    OModbusTag* existing = AddTag("B", kOutputCoil, 3);
    ODevice* device = doc->Devices().front();
    ui.copyChoices.push_back({CopyTagChoice::Rename, "b"});  // still a clash: asked again
    ui.copyChoices.push_back({CopyTagChoice::Rename, "B2"});
    ASSERT_TRUE(doc->PasteTags(Clipboard({{"A", kOutputCoil}, {"B", kEventSignal}})));
    EXPECT_EQ(ui.copyQuestions, (std::vector<std::string>{"B", "b"}));
    ASSERT_EQ(device->tagList.size(), 3u);
    EXPECT_EQ(device->tagList[0]->name, "A");
    EXPECT_EQ(device->tagList[2]->name, "B2");
    EXPECT_EQ(device->FindOwnTag("B"), existing);
    OModbusTag* b2 = device->FindOwnTag("B2");
    EXPECT_EQ(b2->group, device);
    EXPECT_EQ(device->eventSignalScanList, (TagList{b2}));
    EXPECT_EQ(doc->documentTagList.size(), 3u);
    EXPECT_EQ(views.hints.back(), kHintTagListChanged);
}

TEST_F(DocumentTest, PasteOverwriteKeepsTheTagAndFollowsItsNewConfiguration) {
    AddDevice();
    OModbusTag* existing = AddTag("X", kOutputCoil, 3, 0);
    ODevice* device = doc->Devices().front();
    const std::uint32_t id = existing->id;
    auto clip = Clipboard({{"x", kEventSignal}});
    clip[0]->alarm->enableFlags = 2;
    clip[0]->description = "pasted";
    ui.copyChoices.push_back({CopyTagChoice::Overwrite, ""});
    ASSERT_TRUE(doc->PasteTags(std::move(clip)));
    ASSERT_EQ(device->tagList.size(), 1u);
    EXPECT_EQ(device->tagList[0].get(), existing);
    EXPECT_EQ(existing->id, id);
    EXPECT_EQ(existing->description, "pasted");
    EXPECT_EQ(existing->group, device);
    EXPECT_EQ(doc->documentTagList, (std::vector<OModbusTag*>{existing}));
    // The scan lists follow the overwritten location and alarm.
    EXPECT_EQ(device->eventSignalScanList, (TagList{existing}));
    EXPECT_EQ(device->alarmScanList, (TagList{existing}));

    auto back = Clipboard({{"X", kOutputCoil}});
    ui.copyChoices.push_back({CopyTagChoice::Overwrite, ""});
    doc->PasteTags(std::move(back));
    EXPECT_TRUE(device->eventSignalScanList.empty());
    EXPECT_TRUE(device->alarmScanList.empty());
}

TEST_F(DocumentTest, PasteSkipAndCancel) {
    AddDevice();
    AddTag("A");
    AddTag("C");
    ODevice* device = doc->Devices().front();
    ui.copyChoices.push_back({CopyTagChoice::Skip, ""});
    ui.copyChoices.push_back({CopyTagChoice::Cancel, ""});
    doc->PasteTags(Clipboard({{"A", 1}, {"B", 1}, {"C", 1}, {"D", 1}}));
    std::vector<std::string> names;
    for (const auto& t : device->tagList) names.push_back(t->name);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "C"}));  // D came after Cancel
    EXPECT_EQ(doc->documentTagList.size(), 3u);
}

// --- deletion -------------------------------------------------------------------------

TEST_F(DocumentTest, DeleteSelectionRules) {
    AddDevice("A");
    AddDevice("B");
    AddTag("T", kEventSignal);
    ODevice* b = doc->FindDevice("B");
    b->useCount = 1;
    EXPECT_FALSE(doc->DeleteSelection());
    b->useCount = 0;
    counts.clients = 1;
    EXPECT_FALSE(doc->DeleteSelection());
    counts.clients = 0;
    views.hints.clear();
    ASSERT_TRUE(doc->DeleteSelection());
    EXPECT_EQ(doc->selection, doc->FindDevice("A"));  // the device before it
    EXPECT_EQ(doc->Devices().size(), 1u);
    EXPECT_TRUE(doc->documentTagList.empty());
    EXPECT_EQ(lifecycle.stopped, (std::vector<std::string>{"B"}));
    EXPECT_EQ(views.hints, (std::vector<int>{kHintRebuild}));
    ASSERT_TRUE(doc->DeleteSelection());
    EXPECT_EQ(doc->selection, nullptr);
}

TEST_F(DocumentTest, DeletingAGroupTakesItsTagsOutOfEveryList) {
    AddDevice();
    ODevice* device = doc->Devices().front();
    OModbusTag* kept = AddTag("Kept", kEventSignal, 1);
    AddGroup("G");
    doc->selection = device->FindSubgroup("G");
    AddTag("Gone", kEventSignal, 0, 1);
    AddGroup("Inner");
    doc->selection = device->FindSubgroup("G");
    AddGroup("Other");
    doc->selection = device->FindSubgroup("G")->FindSubgroup("Inner");
    AddTag("Deep", kHoldingRegister, 0, 8);
    doc->selection = device->FindSubgroup("G");
    ASSERT_TRUE(doc->DeleteSelection());
    EXPECT_EQ(doc->selection, nullptr);
    EXPECT_EQ(device->FindSubgroup("G"), nullptr);
    EXPECT_EQ(doc->documentTagList, (std::vector<OModbusTag*>{kept}));
    EXPECT_EQ(device->eventSignalScanList, (TagList{kept}));
    EXPECT_TRUE(device->alarmScanList.empty());
    EXPECT_TRUE(lifecycle.stopped.empty());  // a group is not a device
}

TEST_F(DocumentTest, DeleteTagsSparesTagsThatOpcItemsUse) {
    AddDevice();
    OModbusTag* a = AddTag("A", kEventSignal);
    OModbusTag* b = AddTag("B", kOutputCoil, 0, 1);
    OModbusTag* used = AddTag("C");
    used->opcReferenceCount = 1;
    ODevice* device = doc->Devices().front();
    ASSERT_TRUE(doc->DeleteTags({a, b, used}));
    EXPECT_EQ(doc->documentTagList, (std::vector<OModbusTag*>{used}));
    EXPECT_TRUE(device->eventSignalScanList.empty());
    EXPECT_TRUE(device->alarmScanList.empty());
    ASSERT_EQ(device->tagList.size(), 1u);
    counts.clients = 1;
    used->opcReferenceCount = 0;
    EXPECT_FALSE(doc->DeleteTags({used}));
}

// --- monitor and ports ----------------------------------------------------------------

TEST_F(DocumentTest, MonitorNeedsADeviceAndTracksItsThread) {
    doc->ToggleMonitor();
    EXPECT_EQ(monitor.starts, 0);
    AddDevice();
    doc->ToggleMonitor();
    EXPECT_EQ(monitor.starts, 1);
    EXPECT_TRUE(monitor.sawRunningFlag);
    EXPECT_TRUE(doc->IsMonitorRunning());
    EXPECT_TRUE(ui.timerRunning);
    views.hints.clear();
    doc->ToggleMonitor();
    EXPECT_FALSE(doc->IsMonitorRunning());
    EXPECT_EQ(monitor.joins, 1);
    EXPECT_FALSE(ui.timerRunning);
    EXPECT_EQ(views.hints, (std::vector<int>{kHintTagListChanged}));

    monitor.startSucceeds = false;
    doc->ToggleMonitor();
    EXPECT_FALSE(doc->IsMonitorRunning());  // a thread that did not start is not running
    EXPECT_FALSE(ui.timerRunning);
}

TEST_F(DocumentTest, NewDocumentStopsTheMonitorAndDeletionWaitsForIt) {
    AddDevice();
    doc->ToggleMonitor();
    counts.clients = 0;
    EXPECT_FALSE(doc->DeleteSelection());  // refused while the monitor runs
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_FALSE(doc->IsMonitorRunning());
    EXPECT_EQ(monitor.joins, 1);
}

TEST_F(DocumentTest, AddingATagPausesARunningMonitor) {
    AddDevice();
    doc->ToggleMonitor();
    counts.clients = 1;
    ASSERT_NE(AddTag("T"), nullptr);
    EXPECT_EQ(monitor.joins, 1);
    EXPECT_EQ(monitor.starts, 2);
    EXPECT_TRUE(doc->IsMonitorRunning());
    doc->StopMonitor();
    // With OPC clients but no monitor, adding a tag starts no monitor.
    ASSERT_NE(AddTag("U"), nullptr);
    EXPECT_EQ(monitor.starts, 2);
}

TEST_F(DocumentTest, PortDialogValuesStayWritten) {
    ui.portEdit = [](const std::vector<OPort*>& ports, OPort* fixed) {
        EXPECT_EQ(fixed, nullptr);
        ports[0]->settingsChanged = false;
        ports[0]->enabled = 0;
        EXPECT_TRUE(ports[0]->ApplyDialogValues(5, 7, 2, 1, 2));
        EXPECT_FALSE(ports[1]->ApplyDialogValues(10, 8, 0, 0, 0));
    };
    ASSERT_TRUE(doc->EditPorts());
    const OPort& com1 = *doc->portList[0];
    EXPECT_EQ(com1.baudRate, 9600u);
    EXPECT_EQ(com1.dataBits, 7);
    EXPECT_EQ(com1.stopBits, 2);
    EXPECT_EQ(com1.parity, 1);
    EXPECT_EQ(com1.flowControl, 2);
    EXPECT_EQ(com1.enabled, 1);
    EXPECT_TRUE(com1.settingsChanged);
    EXPECT_EQ(doc->portList[1]->baudRate, 57600u);
}

TEST_F(DocumentTest, DeviceAlarmsAreFoundByTheirCookie) {
    AddDevice();
    ODevice* device = doc->Devices().front();
    ODevice* owner = nullptr;
    EXPECT_EQ(doc->FindDeviceAlarmById(device->communicationAlarms[3].id, &owner),
              &device->communicationAlarms[3]);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(doc->FindDeviceAlarmById(0), nullptr);
}

}  // namespace
}  // namespace velk

namespace velk {
namespace {

TEST_F(DocumentTest, TheDeviceDialogsCommunicationAlarmsReachTheDevice) {
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.commAlarms[2].enableFlags = ODeviceAlarm::kCommFailureBit;
        v.commAlarms[2].failurePriority = 1000;
        v.commAlarms[2].failureText = "communication failure";
        return true;
    });
    ASSERT_TRUE(doc->AddDevice());
    ODevice& device = *doc->Devices().front();
    EXPECT_EQ(device.communicationAlarms[2].failurePriority, 1000);
    EXPECT_EQ(device.communicationAlarms[2].failureText, "communication failure");
    // The dialog opens with what the device holds, and Cancel leaves it.
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        EXPECT_EQ(v.commAlarms[2].enableFlags, ODeviceAlarm::kCommFailureBit);
        v.commAlarms[2].failurePriority = 5;
        return false;
    });
    EXPECT_FALSE(doc->EditDeviceProperties(device));
    EXPECT_EQ(device.communicationAlarms[2].failurePriority, 1000);
}

}  // namespace
}  // namespace velk
