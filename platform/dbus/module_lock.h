#pragma once
// The module lock count that the bus host keeps up: one lock per outstanding client
// reference. The application object implements it on its main loop.
namespace velk {

// The module lock count of the object host: a lock per outstanding client reference; the
// application object keeps the count on its main loop (WM_MODULE_LOCK).
class IModuleLock {
  public:
    virtual ~IModuleLock() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

}  // namespace velk
