#pragma once
// The client's own AE server object (an instance of VELK.AlarmEventServer) with its
// subscriptions and area browsers. Every method is one bus call; a failure throws
// BusCallError. Objects are released when their C++ objects go.
#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/client/bus/bus_session.h"
#include "tools/client/bus/bus_value_codec.h"

namespace velk::client {

inline constexpr const char* kAeBusName = "VELK.AlarmEventServer";
inline constexpr const char* kAeFactoryPath = "/VELK/AlarmEventServer";
inline constexpr const char* kEventSinkInterface = "VELK.OPC.IOPCEventSink";

struct AeCategory {
    std::uint32_t id = 0;
    std::string description;
};
struct AeAttribute {
    std::uint32_t id = 0;
    std::string description;
    std::uint16_t type = 0;
};
struct AeAckEntry {
    std::string source;
    std::string condition;
    std::uint64_t activeTime = 0;
    std::uint32_t cookie = 0;
};

// A bus object of the AE server that the client releases when it is done with it.
class AeObject {
  public:
    AeObject(BusSession& session, std::string path);
    ~AeObject();
    AeObject(const AeObject&) = delete;
    AeObject& operator=(const AeObject&) = delete;

    const std::string& Path() const { return path_; }
    sdbus::IProxy& Proxy() { return *proxy_; }
    void Release();
    // Forgets the object without a call (the server has gone).
    void Abandon() { proxy_.reset(); }
    std::uint32_t Advise(const std::string& sinkInterface, const std::string& sinkPath);
    void Unadvise(const std::string& sinkInterface, std::uint32_t cookie);

  private:
    std::string path_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

class AeSubscription : public AeObject {
  public:
    using AeObject::AeObject;
    // S_OK or S_FALSE (sources are not filtered by the server).
    std::int32_t SetFilter(std::uint32_t eventTypes, const std::vector<std::uint32_t>& categories,
                           std::uint32_t low, std::uint32_t high,
                           const std::vector<std::string>& areas);
    void Refresh(std::uint32_t cookie);
};

class AeAreaBrowser : public AeObject {
  public:
    using AeObject::AeObject;
    void ChangeBrowsePosition(std::uint32_t direction, const std::string& text);
    std::vector<std::string> Browse(std::uint32_t browseType, const std::string& filter);
    std::string QualifiedAreaName(const std::string& area);
    std::string QualifiedSourceName(const std::string& source);
};

struct AeSubscriptionCreated {
    std::unique_ptr<AeSubscription> subscription;
    std::int32_t result = 0;
    std::uint32_t revisedBufferTime = 0;
    std::uint32_t revisedMaxSize = 0;
};

class AeServer {
  public:
    // Creates the instance; ClientFailure (kExitNoServer) when the server is not running.
    explicit AeServer(BusSession& session);

    BusSession& Session() { return session_; }
    AeObject& Object() { return *instance_; }

    std::vector<AeCategory> QueryEventCategories(std::uint32_t eventTypes);
    std::vector<std::string> QueryConditionNames(std::uint32_t category);
    std::vector<std::string> QuerySubConditionNames(const std::string& condition);
    std::vector<AeAttribute> QueryEventAttributes(std::uint32_t category);
    AeSubscriptionCreated CreateEventSubscription(bool active, std::uint32_t bufferTime,
                                                  std::uint32_t maxSize, std::uint32_t handle);
    std::unique_ptr<AeAreaBrowser> CreateAreaBrowser();
    std::vector<std::int32_t> AckCondition(const std::string& acknowledger,
                                           const std::string& comment,
                                           const std::vector<AeAckEntry>& entries);

  private:
    BusSession& session_;
    std::unique_ptr<AeObject> instance_;
};

}  // namespace velk::client
