#pragma once
// The server's registration records in the machine-wide settings store, below
// HKEY_LOCAL_MACHINE\Software\Classes, laid out as the Windows registry holds a local COM
// server's: AppIDs, the DA and AE classes with their ProgIDs, the type library, the OPC
// vendor key and the OPC component categories. "Register" writes them, "Unregister" removes
// the server's own records and keeps the shared category descriptions.
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace velk {

inline constexpr std::string_view kClassesKey = "HKEY_LOCAL_MACHINE\\Software\\Classes";

// The server's own identities. The DA class's AppID is its CLSID, and the AE class's too.
inline constexpr std::string_view kDaServerClsid = "{CEE644A5-6186-4CFC-A2D4-5EDDE4516177}";
inline constexpr std::string_view kAeServerClsid = "{2212A689-C540-445A-B6AC-0F760D0005F6}";
inline constexpr std::string_view kTypeLibraryId = "{190C875A-6557-497F-8ED1-C628918BAF5D}";
inline constexpr std::string_view kDaServerProgId = "VELK.ModbusOPCServer.1";
inline constexpr std::string_view kDaServerIndependentProgId = "VELK.ModbusOPCServer";
inline constexpr std::string_view kAeServerProgId = "VELK.AlarmEventServer.1";
inline constexpr std::string_view kAeServerIndependentProgId = "VELK.AlarmEventServer";
inline constexpr std::string_view kDaServerDescription = "VELK Modbus OPC Server";
inline constexpr std::string_view kAeServerDescription = "VELK Alarm/Event OPC Server";
inline constexpr std::string_view kExecutableName = "VelkOpc.EXE";
inline constexpr std::string_view kVendorName = "VELK";

// The OPC component categories (published identities) and their English descriptions.
inline constexpr std::string_view kCatidOpcDaServer20 = "{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}";
inline constexpr std::string_view kCatidOpcAeServer10 = "{58E13251-AC87-11d1-84D5-00608CB8A7E9}";
inline constexpr std::string_view kOpcDaServer20Description = "OPC Data Access Server Version 2.05";
inline constexpr std::string_view kOpcAeServer10Description = "OPC Event Servers Version 1.0";
inline constexpr std::string_view kCategoryLanguage = "409";

struct RegistrationResult {
    bool ok = true;
    std::string reason;  // what failed, "" on success
};

// Writes every record; the local-server path is the executable. Fails at the first key or
// value that cannot be written, with the store's reason; the OPC vendor keys are skipped
// silently when they cannot be created.
RegistrationResult RegisterServer(ISettingsStore& machineStore, const std::string& executablePath);

// Removes the DA class's "OPC" key tree, both classes' category marks, the AppID entries,
// the class and ProgID registrations and the type library; the category descriptions stay.
// Records that are already missing are not a failure.
RegistrationResult UnregisterServer(ISettingsStore& machineStore);

}  // namespace velk
