#pragma once
// The Sparkplug B publisher: the edge node on a thread of its own ("Sparkplug"), ticking at
// the publish period on the update grid. It counts as a client for the device threads from
// its start to its end. Each tick takes TreeLock around the layout check, then the node holds
// it per device (the reads and messages of one controller), so that tree edits, the GUI and
// the DA and UA servers wait for one controller at most; a destroyed object of the tree makes
// the layout be checked again before anything more is read. The broker client's events are
// posted to the thread, never run under a lock of ours.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/sparkplug/sparkplug_options.h"
#include "opc/tag_io.h"
#include "platform/worker_thread.h"

namespace velk {

class CDoc;
class IClientCounter;
class IClock;
class IDocumentFileAccess;
class IFileReader;
class IFileSystem;

struct SparkplugServices {
    IClock& clock;
    IClientCounter& clients;
    ITagIO& tagIO;
    IFileSystem& files;  // the store directory's spool
    IFileReader& reader;
    IDocumentFileAccess& documentFiles;  // its bdSeq file
    std::function<CDoc*()> document;
    // Makes the store directory when it is missing; false when it cannot.
    std::function<bool(const std::string&)> makeDirectory;
    // The broker client; the platform's Paho client unless a test gives another.
    std::function<std::unique_ptr<IMqttClient>(const MqttClientSettings&, IMqttClient::EventSink,
                                               std::string&)>
        makeClient;
};

class SparkplugPublisher {
  public:
    explicit SparkplugPublisher(SparkplugServices services);
    ~SparkplugPublisher();
    SparkplugPublisher(const SparkplugPublisher&) = delete;
    SparkplugPublisher& operator=(const SparkplugPublisher&) = delete;

    // Starts the thread; false (traced) when the password, the store or the client cannot be
    // had, or it runs already.
    bool Start(const SparkplugOptions& options);
    // The orderly stop: the node's NDEATH, the end of the session, the thread joined. A
    // thread that has not ended within the wait (a controller's read or a broker that does
    // not answer) is left to end on its own with what it uses (traced), so that the
    // server's shutdown goes on.
    void Stop(std::chrono::milliseconds wait = std::chrono::milliseconds(5000));
    bool IsRunning() const { return thread_ != nullptr; }
    // True once a stop has left the thread running: the process must end without destroying
    // what the thread may still use (the document, the tag I/O, the client counter).
    bool Abandoned() const { return abandoned_; }

  private:
    struct Session;
    static int Run(MessageQueue& queue, Session& session);

    SparkplugServices services_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<WorkerThread> thread_;
    bool abandoned_ = false;
};

}  // namespace velk
