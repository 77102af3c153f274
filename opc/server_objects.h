#pragma once
// The DA and AE server objects as the application object sees them, and the registry where
// they announce themselves.
#include <cstddef>
#include <string>

namespace velk {

class BEvent;

// A DA server object as the application sees it.
class IDAServerObject {
  public:
    virtual ~IDAServerObject() = default;
    // Asks the object's client to disconnect; 0 on success.
    virtual int RequestClientShutdown(const std::string& reason) = 0;
    // The object's groups, for the server statistics.
    virtual std::size_t GroupCount() const = 0;
};

// An AE server object as the application sees it.
class IAEServerObject {
  public:
    virtual ~IAEServerObject() = default;
    virtual int RequestClientShutdown(const std::string& reason) = 0;
    // Takes one alarm record for the object's subscriptions (copies it; never keeps it).
    virtual void DistributeEvent(const BEvent& event) = 0;
    // The object's subscriptions, for the server statistics.
    virtual std::size_t SubscriptionCount() const = 0;
};

// Where server objects announce themselves: each joins its list under ServerListLock and
// counts as a client until it leaves (the application object implements it).
class IServerObjectRegistry {
  public:
    virtual ~IServerObjectRegistry() = default;
    virtual void AddDAServer(IDAServerObject* server) = 0;
    virtual void RemoveDAServer(IDAServerObject* server) = 0;
    virtual void AddAEServer(IAEServerObject* server) = 0;
    virtual void RemoveAEServer(IAEServerObject* server) = 0;
};

}  // namespace velk
