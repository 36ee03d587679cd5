#pragma once

// Delivers the vote events of this process to the channels' webhooks, on a thread of its own with
// its own io_context, so no request ever waits on the server's threads. Events arrive from the
// core's thread (voteEvent) and webhook changes from the web face's (WebhookRegistry); both are
// posted to the sender's thread, which alone uses its storage handle: it queues each event there
// (bounded per channel), claims the due heads, one per channel, and POSTs each signed. A failed
// attempt is tried again after a growing wait until the event is older than the retry window, then
// given up. Queued events outlive a restart; with storage shared by several processes each event
// goes out from the one process that claimed it. Deliveries are counted in the metrics; drops and
// give-ups, and webhook changes, go to the audit trail.

#include "voteservice/core/clock.h"
#include "voteservice/core/servicemetrics.h"
#include "voteservice/core/voteeventsink.h"
#include "voteservice/core/votestorage.h"
#include "voteservice/webhook/webhookoptions.h"
#include "voteservice/webhook/webhookpost.h"
#include "voteservice/webhook/webhookregistry.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <functional>
#include <optional>
#include <thread>

namespace quorix::service {

class WebhookSender : public VoteEventSink, public WebhookRegistry
{
public:
    // Gets each audit entry on the sender's thread; hands it to the audit trail's own thread.
    using Audit = std::function<void(AuditEntry)>;

    // storage: a handle of the sender's own (or one whose webhook calls no other thread makes).
    // Throws std::runtime_error when options.caFile does not read or holds no CA certificate.
    WebhookSender(VoteStorage& storage, const Clock& clock, WebhookOptions options, ServiceMetrics* metrics,
                  Audit audit);
    ~WebhookSender() override;
    WebhookSender(const WebhookSender&) = delete;
    WebhookSender& operator=(const WebhookSender&) = delete;

    // Before start().
    void setMetrics(ServiceMetrics& metrics) { m_metrics = &metrics; }
    void start();
    // Queues the events posted so far, releases the claims in flight and ends the thread.
    void stop();

    void voteEvent(VoteEvent event) override;

    void put(std::uint32_t channelId, const std::string& url, bool progress, AuditEntry who,
             Done done) override;
    void show(std::uint32_t channelId, Done done) override;
    void remove(std::uint32_t channelId, AuditEntry who, Done done) override;

private:
    struct InFlight
    {
        WebhookEvent event;
        std::int64_t startedAtUnix = 0;
    };

    // The channel's own webhook, else the default one; nullopt when it has none.
    std::optional<WebhookConfig> webhookOf(std::uint32_t channelId) const;
    void queue(const VoteEvent& event);
    // Claims and sends due events while fewer than maxInFlight are out.
    void pump();
    void deliver(const WebhookEvent& event);
    void settle(const WebhookEvent& event, const WebhookPost::Outcome& outcome);
    void giveUp(const WebhookEvent& event, int status, const std::string& reason);
    void audit(const char* action, std::uint32_t channelId, std::uint32_t result);
    // Audits a change the web API asked for in who's name: result 0 for a success, else the status.
    void auditChange(AuditEntry who, const char* action, std::uint32_t channelId, int status);
    void poll();
    // Runs work on the sender's thread; a storage failure there is logged and leaves the rest to
    // the next poll.
    void guarded(const char* what, const std::function<void()>& work);

    VoteStorage& m_storage;
    const Clock& m_clock;
    WebhookOptions m_options;
    ServiceMetrics* m_metrics;
    Audit m_audit;
    boost::asio::io_context m_io{1};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    boost::asio::ssl::context m_tls;
    boost::asio::steady_timer m_poll;
    std::vector<InFlight> m_inFlight;
    std::thread m_thread;
    bool m_stopping = false;
};

} // namespace quorix::service
