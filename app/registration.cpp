#include "app/registration.h"

#include <filesystem>
#include <initializer_list>

namespace velk {
namespace {

constexpr std::string_view kInteractiveUser = "Interactive User";
constexpr std::string_view kTypeLibraryVersion = "1.0";
constexpr std::string_view kTypeLibraryName = "VelkOpc 1.0 Type Library";

std::string ClassesPath(std::initializer_list<std::string_view> parts) {
    std::string path(kClassesKey);
    for (const auto part : parts) {
        path += '\\';
        path += part;
    }
    return path;
}

std::string Reason(ISettingsStore& store, const std::string& what) {
    const std::string problem = store.Problem();
    return problem.empty() ? what : what + " (" + problem + ")";
}

// Writes records in order and remembers the first failure.
class RecordWriter {
  public:
    explicit RecordWriter(ISettingsStore& store) : store_(store) {}

    // Creates the key and writes its text values ("" names the default value).
    void Key(const std::string& path,
             std::initializer_list<std::pair<std::string_view, std::string_view>> values = {}) {
        if (!result_.ok) return;
        if (!store_.CreateKey(path)) {
            Fail("cannot create the key " + path);
            return;
        }
        for (const auto& [name, text] : values) {
            if (!store_.WriteValue(path, name, RegValue::String(text))) {
                Fail("cannot write the value \"" + std::string(name) + "\" of " + path);
                return;
            }
        }
    }

    // A key whose failure does not fail the registration.
    void OptionalKey(const std::string& path, std::string_view defaultValue) {
        if (result_.ok && store_.CreateKey(path)) {
            store_.WriteValue(path, "", RegValue::String(defaultValue));
        }
    }

    void Remove(const std::string& path) {
        if (result_.ok && !store_.DeleteKey(path)) Fail("cannot remove the key " + path);
    }

    RegistrationResult Result() const { return result_; }

  private:
    void Fail(const std::string& what) { result_ = {false, Reason(store_, what)}; }

    ISettingsStore& store_;
    RegistrationResult result_;
};

void WriteAppIds(RecordWriter& w) {
    w.Key(ClassesPath({"AppID", kDaServerClsid}),
          {{"", kDaServerDescription}, {"RunAs", kInteractiveUser}});
    w.Key(ClassesPath({"AppID", kAeServerClsid}),
          {{"", kAeServerDescription}, {"RunAs", kInteractiveUser}});
    w.Key(ClassesPath({"AppID", kExecutableName}), {{"AppID", kDaServerClsid}});
}

void WriteClass(RecordWriter& w, std::string_view clsid, std::string_view description,
                std::string_view progId, std::string_view independentProgId,
                const std::string& executablePath) {
    w.Key(ClassesPath({"CLSID", clsid}), {{"", description}, {"AppID", clsid}});
    w.Key(ClassesPath({"CLSID", clsid, "ProgID"}), {{"", progId}});
    w.Key(ClassesPath({"CLSID", clsid, "VersionIndependentProgID"}), {{"", independentProgId}});
    w.Key(ClassesPath({"CLSID", clsid, "LocalServer32"}), {{"", executablePath}});
    w.Key(ClassesPath({"CLSID", clsid, "TypeLib"}), {{"", kTypeLibraryId}});
    w.Key(ClassesPath({progId}), {{"", description}});
    w.Key(ClassesPath({progId, "CLSID"}), {{"", clsid}});
    w.Key(ClassesPath({independentProgId}), {{"", description}});
    w.Key(ClassesPath({independentProgId, "CLSID"}), {{"", clsid}});
    w.Key(ClassesPath({independentProgId, "CurVer"}), {{"", progId}});
}

void WriteTypeLibrary(RecordWriter& w, const std::string& executablePath) {
    const std::string folder = std::filesystem::path(executablePath).parent_path().string();
    w.Key(ClassesPath({"TypeLib", kTypeLibraryId, kTypeLibraryVersion}), {{"", kTypeLibraryName}});
    w.Key(ClassesPath({"TypeLib", kTypeLibraryId, kTypeLibraryVersion, "0", "win32"}),
          {{"", executablePath}});
    w.Key(ClassesPath({"TypeLib", kTypeLibraryId, kTypeLibraryVersion, "FLAGS"}), {{"", "0"}});
    w.Key(ClassesPath({"TypeLib", kTypeLibraryId, kTypeLibraryVersion, "HELPDIR"}), {{"", folder}});
}

void WriteCategory(RecordWriter& w, std::string_view catid, std::string_view description,
                   std::string_view clsid) {
    w.Key(ClassesPath({"Component Categories", catid}), {{kCategoryLanguage, description}});
    w.Key(ClassesPath({"CLSID", clsid, "Implemented Categories", catid}));
}

}  // namespace

RegistrationResult RegisterServer(ISettingsStore& store, const std::string& executablePath) {
    RecordWriter w(store);
    WriteAppIds(w);
    WriteClass(w, kDaServerClsid, kDaServerDescription, kDaServerProgId, kDaServerIndependentProgId,
               executablePath);
    w.OptionalKey(ClassesPath({kDaServerIndependentProgId, "OPC"}), "");
    w.OptionalKey(ClassesPath({kDaServerIndependentProgId, "OPC", "Vendor"}), kVendorName);
    WriteClass(w, kAeServerClsid, kAeServerDescription, kAeServerProgId, kAeServerIndependentProgId,
               executablePath);
    WriteTypeLibrary(w, executablePath);
    WriteCategory(w, kCatidOpcDaServer20, kOpcDaServer20Description, kDaServerClsid);
    WriteCategory(w, kCatidOpcAeServer10, kOpcAeServer10Description, kAeServerClsid);
    return w.Result();
}

RegistrationResult UnregisterServer(ISettingsStore& store) {
    RecordWriter w(store);
    w.Remove(ClassesPath({kDaServerIndependentProgId, "OPC"}));
    w.Remove(ClassesPath({"CLSID", kDaServerClsid, "Implemented Categories", kCatidOpcDaServer20}));
    w.Remove(ClassesPath({"CLSID", kAeServerClsid, "Implemented Categories", kCatidOpcAeServer10}));
    w.Remove(ClassesPath({"AppID", kDaServerClsid}));
    w.Remove(ClassesPath({"AppID", kAeServerClsid}));
    w.Remove(ClassesPath({"AppID", kExecutableName}));
    for (const auto clsid : {kDaServerClsid, kAeServerClsid})
        w.Remove(ClassesPath({"CLSID", clsid}));
    for (const auto progId : {kDaServerProgId, kDaServerIndependentProgId, kAeServerProgId,
                              kAeServerIndependentProgId}) {
        w.Remove(ClassesPath({progId}));
    }
    w.Remove(ClassesPath({"TypeLib", kTypeLibraryId}));
    return w.Result();
}

}  // namespace velk
