#pragma once
// The client's sink objects for the DA server, exported on the client's own connection:
// VELK.OPC.IOPCDataCallback for a group's data changes and completions, and
// VELK.OPC.IOPCShutdown for the server's request to disconnect. Their handlers run on the
// bus loop (BusSession::Run).
#include <sdbus-c++/sdbus-c++.h>

#include <functional>
#include <memory>
#include <string>

#include "tools/client/bus/bus_session.h"
#include "tools/client/bus/da_records.h"

namespace velk::client {

inline constexpr const char* kDataCallbackInterface = "VELK.OPC.IOPCDataCallback";
inline constexpr const char* kShutdownInterface = "VELK.OPC.IOPCShutdown";

class DataCallbackSink {
  public:
    using Handler = std::function<void(const DataChange&)>;

    // onDataChange gets the update cycle's changes and refreshes; read completions go to
    // onReadComplete when given. Write and cancel completions are answered and dropped.
    DataCallbackSink(BusSession& session, Handler onDataChange, Handler onReadComplete = {});
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::unique_ptr<sdbus::IObject> object_;
};

class ShutdownSink {
  public:
    ShutdownSink(BusSession& session, std::function<void(const std::string& reason)> onRequest);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::unique_ptr<sdbus::IObject> object_;
};

}  // namespace velk::client
