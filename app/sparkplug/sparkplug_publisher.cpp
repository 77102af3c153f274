#include "app/sparkplug/sparkplug_publisher.h"

#include <algorithm>
#include <mutex>

#include "app/sparkplug/plant_sampler.h"
#include "core/trace_file.h"
#include "model/c_doc.h"
#include "model/document_services.h"
#include "opc/update_timing.h"
#include "sparkplug/broker_connection.h"

namespace velk {
namespace {

// A broker client's event, posted to the publisher's thread.
constexpr std::uint32_t WM_SPARKPLUG_MQTT_EVENT = WM_USER + 0x0530;

struct EventPayload final : MessagePayload {
    explicit EventPayload(MqttEvent e) : event(std::move(e)) {}
    MqttEvent event;
};

// The layout of the document's tree now; empty without a document. Takes TreeLock and
// TagDataLock.
std::unique_ptr<sparkplug::MetricLayout> BuildLayout(CDoc* document) {
    auto layout = std::make_unique<sparkplug::MetricLayout>();
    if (document == nullptr) return layout;
    std::lock_guard tree(document->Locks().tree);
    std::lock_guard data(document->Locks().tagData);
    *layout = sparkplug::MetricLayout::Build(document->rootGroup);
    return layout;
}

}  // namespace

// What the thread uses, kept with it: a thread left running after a stop goes on with it.
struct SparkplugPublisher::Session {
    Session(const SparkplugOptions& o, const SparkplugServices& s, std::unique_ptr<IMqttClient> c,
            CDoc& d)
        : services(s),
          document(d),
          options(o),
          client(std::move(c)),
          connection(*client, o.client.serverUrl, s.clock),
          sampler(s.tagIO, d),
          bdSeqs(s.documentFiles, o.storeDirectory),
          spool(s.files, s.reader, o.storeDirectory, o.storeLimitBytes),
          layout(std::make_unique<sparkplug::MetricLayout>()),
          node(o.node, *layout, connection, sampler, bdSeqs, spool, s.clock) {
        connection.Attach(node);
    }

    SparkplugServices services;
    CDoc& document;
    SparkplugOptions options;
    std::unique_ptr<IMqttClient> client;
    sparkplug::BrokerConnection connection;
    PlantSampler sampler;
    sparkplug::BdSeqStore bdSeqs;
    sparkplug::Spool spool;
    std::unique_ptr<sparkplug::MetricLayout> layout;
    sparkplug::EdgeNode node;
};

SparkplugPublisher::SparkplugPublisher(SparkplugServices services)
    : services_(std::move(services)) {}

SparkplugPublisher::~SparkplugPublisher() { Stop(); }

bool SparkplugPublisher::Start(const SparkplugOptions& options) {
    if (thread_ || abandoned_) return false;
    CDoc* document = services_.document();
    if (document == nullptr) return false;
    SparkplugOptions o = options;
    std::string error;
    if (!o.passwordFile.empty() && !ReadPasswordFile(o.passwordFile, o.client.password, error)) {
        Trace("Sparkplug: not started: " + error);
        return false;
    }
    if (services_.makeDirectory && !services_.makeDirectory(o.storeDirectory)) {
        Trace("Sparkplug: not started: the store directory " + o.storeDirectory +
              " cannot be made");
        return false;
    }
    auto thread = std::make_unique<WorkerThread>("Sparkplug");
    WorkerThread* target = thread.get();
    auto client = services_.makeClient(
        o.client,
        [target](MqttEvent event) {
            target->Post(WM_SPARKPLUG_MQTT_EVENT, 0,
                         std::make_unique<EventPayload>(std::move(event)));
        },
        error);
    if (!client) {
        Trace("Sparkplug: not started: " + error);
        return false;
    }
    session_ = std::make_unique<Session>(o, services_, std::move(client), *document);
    session_->spool.Open();
    thread_ = std::move(thread);
    Session& session = *session_;
    if (!thread_->Start([&session](MessageQueue& queue) { return Run(queue, session); })) {
        // The client first: its sink posts to the thread's queue until it is gone.
        session_.reset();
        thread_.reset();
        return false;
    }
    return true;
}

int SparkplugPublisher::Run(MessageQueue& queue, Session& s) {
    const SparkplugServices& services = s.services;
    services.clients.AddClient();
    CDoc* document = &s.document;
    ModelLocks& locks = document->Locks();
    const auto rate = static_cast<std::uint32_t>(s.options.publishPeriod.count());
    Trace("Sparkplug: publishing as " + s.options.node.groupId + "/" + s.options.node.edgeNodeId +
          " to " + s.options.client.serverUrl);
    const auto check = [&] {
        // The tree as the node publishes it; a changed one is born again.
        std::lock_guard tree(locks.tree);
        auto fresh = BuildLayout(document);
        s.sampler.Confirm();
        if (SameLayout(*fresh, *s.layout)) return;
        for (const auto& skipped : fresh->Skipped()) Trace("Sparkplug: not published: " + skipped);
        s.sampler.SetLayout(*fresh);
        s.node.SetLayout(*fresh);
        s.layout = std::move(fresh);
    };
    check();
    s.node.Start();
    UpdatePeriods periods;
    bool quit = false;
    while (!quit) {
        const std::uint32_t t0 = services.clock.TickCount();
        check();
        s.sampler.SetPeriodStart(periods.Begin(rate, t0));
        s.connection.Poll();
        s.node.Tick();  // holds the tree per device
        const std::uint32_t wait = periods.WaitAfter(rate, t0, services.clock.TickCount());
        const std::uint32_t end = services.clock.TickCount() + wait;
        for (;;) {
            const auto left = static_cast<std::int32_t>(end - services.clock.TickCount());
            if (left <= 0) break;
            std::uint32_t timeout = static_cast<std::uint32_t>(left);
            if (const auto retry = s.connection.Poll()) timeout = std::min(timeout, *retry);
            queue.WaitFor(std::chrono::milliseconds(timeout));
            Message message;
            while (!quit && queue.Peek(message)) {
                if (message.id == WM_QUIT) {
                    quit = true;
                } else if (auto* payload = message.PayloadAs<EventPayload>()) {
                    s.connection.OnEvent(payload->event);
                }
            }
            if (quit) break;
        }
    }
    s.node.Stop();
    Trace("Sparkplug: stopped");
    services.clients.RemoveClient();
    return 0;
}

namespace {

// What stops have left running, for the rest of the process: never destroyed, since their
// threads still use them, and reachable, so that a leak check does not report them.
void KeepForTheProcess(void* object) {
    static std::mutex lock;
    static auto* kept = new std::vector<void*>;
    const std::lock_guard<std::mutex> hold(lock);
    kept->push_back(object);
}

}  // namespace

void SparkplugPublisher::Stop(std::chrono::milliseconds wait) {
    if (!thread_) return;
    thread_->PostQuit();
    if (!thread_->Join(wait)) {
        Trace("Sparkplug: the publisher did not stop within " + std::to_string(wait.count()) +
              " ms; it is left to end on its own");
        abandoned_ = true;
        // The thread goes on with its session, and the client's sink posts to its queue:
        // neither may be destroyed under it.
        KeepForTheProcess(session_.release());
        KeepForTheProcess(thread_.release());
        return;
    }
    session_.reset();
    thread_.reset();
}

}  // namespace velk
