#include "platform/dbus/bus_object_registry.h"

namespace velk {
namespace {

bool IsAtOrBelow(const std::string& path, const std::string& root) {
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

}  // namespace

BusObjectRegistry::BusObjectRegistry(sdbus::IConnection& connection, IModuleLock& moduleLock,
                                     BusGraveyard& graveyard, Dispatch dispatch, Release release,
                                     Report report)
    : connection_(connection),
      moduleLock_(moduleLock),
      graveyard_(graveyard),
      dispatch_(std::move(dispatch)),
      release_(std::move(release)),
      report_(std::move(report)) {}

BusObjectRegistry::~BusObjectRegistry() { RetireOwnedBy(nullptr); }

bool BusObjectRegistry::Export(const std::string& path, const std::string& owner,
                               std::unique_ptr<IBusObject> object, bool holdsModuleLock) {
    auto record = std::make_unique<Record>();
    record->entry.owner = owner;
    std::vector<BusInterface> interfaces = object->Interfaces();
    record->entry.object = std::move(object);
    std::vector<std::string> names{std::string(kObjectInterface)};
    for (const BusInterface& interface : interfaces) names.push_back(interface.name);
    interfaces.push_back(ObjectInterface(names));
    try {
        record->entry.exported = sdbus::createObject(connection_, path);
        for (const BusInterface& interface : interfaces) {
            for (const BusMethod& method : interface.methods) {
                record->entry.exported->registerMethod(
                    interface.name, method.name, method.inputSignature, method.inputNames,
                    method.outputSignature, method.outputNames,
                    [this, path, method](sdbus::MethodCall call) {
                        dispatch_(path, method, call);
                    });
            }
        }
        record->entry.exported->finishRegistration();
    } catch (const sdbus::Error& error) {
        if (report_) report_("cannot export " + path + ": " + error.getMessage());
        Withdraw(*record, nullptr);
        return false;
    }
    record->holdsModuleLock = holdsModuleLock;
    if (holdsModuleLock) moduleLock_.Lock();
    objects_[path] = std::move(record);
    return true;
}

const BusObjectRegistry::Entry* BusObjectRegistry::Find(const std::string& path) const {
    auto found = objects_.find(path);
    return found == objects_.end() ? nullptr : &found->second->entry;
}

bool BusObjectRegistry::Retire(const std::string& root, const std::string& owner,
                               std::vector<std::shared_ptr<IBusObject>>* ended) {
    auto found = objects_.find(root);
    if (found == objects_.end() || found->second->entry.owner != owner) return false;
    std::vector<std::string> doomed;
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        if (IsAtOrBelow(it->first, root)) doomed.push_back(it->first);
    }
    for (const std::string& path : doomed) RetireRecord(path, ended);
    return true;
}

void BusObjectRegistry::RetireOwnedBy(const std::string* owner) {
    std::vector<std::string> doomed;
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        if (owner == nullptr || it->second->entry.owner == *owner) doomed.push_back(it->first);
    }
    for (const std::string& path : doomed) RetireRecord(path, nullptr);
}

std::size_t BusObjectRegistry::Count(const std::string* owner) const {
    if (owner == nullptr) return objects_.size();
    std::size_t count = 0;
    for (const auto& [path, record] : objects_) count += record->entry.owner == *owner ? 1 : 0;
    return count;
}

void BusObjectRegistry::RetireRecord(const std::string& path,
                                     std::vector<std::shared_ptr<IBusObject>>* ended) {
    auto found = objects_.find(path);
    if (found == objects_.end()) return;
    std::unique_ptr<Record> record = std::move(found->second);
    objects_.erase(found);
    if (record->holdsModuleLock) moduleLock_.Unlock();
    Withdraw(*record, ended);
}

void BusObjectRegistry::Withdraw(Record& record, std::vector<std::shared_ptr<IBusObject>>* ended) {
    graveyard_.Bury(std::move(record.entry.exported));
    if (ended != nullptr) {
        if (record.entry.object) ended->push_back(std::move(record.entry.object));
    } else if (release_) {
        release_(std::move(record.entry.object));
    }
}

// The host's own interface on every object: the interface query and the release.
BusInterface BusObjectRegistry::ObjectInterface(std::vector<std::string> names) {
    BusInterface interface {
        std::string(kObjectInterface), {}
    };
    interface.methods.push_back(
        {"QueryInterface", "s", {"interface"}, "", {}, [names](BusCall& call) {
             const std::string& wanted = *call.arguments[0].Text();
             for (const std::string& name : names) {
                 if (name == wanted) return BusReply::Ok();
             }
             return BusReply::Fail(E_NOINTERFACE, wanted);
         }});
    interface.methods.push_back({"GetInterfaces", "", {}, "as", {"interfaces"}, [names](BusCall&) {
                                     return BusReply::Ok({BusValue::StringArray(names)});
                                 }});
    interface.methods.push_back({"Release", "", {}, "", {}, [](BusCall& call) {
                                     call.scope.RemoveObject(call.scope.ObjectPath());
                                     return BusReply::Ok();
                                 }});
    return interface;
}

}  // namespace velk
