#include "voteservice/webhook/webhooksender.h"

#include "voteservice/core/servicelog.h"
#include "voteservice/webhook/webhookpayload.h"
#include "voteservice/webhook/webhooksignature.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace quorix::service {

namespace asio = boost::asio;

namespace {

constexpr std::chrono::seconds kPollPeriod{1};

WebhookRegistry::Answer refusal(int status, std::string error, std::string field = {})
{
    WebhookRegistry::Answer answer;
    answer.status = status;
    answer.error = std::move(error);
    answer.field = std::move(field);
    return answer;
}

} // namespace

WebhookSender::WebhookSender(VoteStorage& storage, const Clock& clock, WebhookOptions options,
                             ServiceMetrics* metrics, Audit audit)
    : m_storage(storage), m_clock(clock), m_options(std::move(options)), m_metrics(metrics),
      m_audit(std::move(audit)), m_work(asio::make_work_guard(m_io)), m_tls(asio::ssl::context::tls_client),
      m_poll(m_io)
{
    m_tls.set_default_verify_paths();
    if (!m_options.caFile.empty()) {
        if (!std::ifstream(m_options.caFile))
            throw std::runtime_error("cannot read " + m_options.caFile);
        boost::system::error_code ec;
        m_tls.load_verify_file(m_options.caFile, ec);
        if (ec)
            throw std::runtime_error(m_options.caFile + " holds no CA certificate (" + ec.message() + ")");
    }
    m_tls.set_verify_mode(asio::ssl::verify_peer);
    SSL_CTX_set_min_proto_version(m_tls.native_handle(), TLS1_2_VERSION);
}

WebhookSender::~WebhookSender()
{
    stop();
}

void WebhookSender::start()
{
    asio::post(m_io, [this] { poll(); });
    m_thread = std::thread([this] {
        // Nothing the sender meets ends the process: a handler that throws is logged, the rest run.
        for (;;) {
            try {
                m_io.run();
                return;
            } catch (const std::exception& e) {
                ServiceLog::line(ServiceLog::Priority::Error, std::string("webhooks: ") + e.what());
            }
        }
    });
}

void WebhookSender::stop()
{
    if (!m_thread.joinable())
        return;
    asio::post(m_io, [this] {
        m_stopping = true;
        m_poll.cancel();
        // The events out now go again after the restart, at once rather than once their claim ends.
        guarded("release", [this] {
            for (const InFlight& out : m_inFlight)
                m_storage.retryWebhookEvent(out.event, m_clock.unixSeconds());
            m_storage.commit();
        });
        m_inFlight.clear();
        m_io.stop();
    });
    m_thread.join();
}

void WebhookSender::guarded(const char* what, const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        ServiceLog::line(ServiceLog::Priority::Warning, std::string("webhooks: ") + what + ": " + e.what());
    }
}

void WebhookSender::voteEvent(VoteEvent event)
{
    asio::post(m_io, [this, event = std::move(event)] {
        guarded("queue", [&] { queue(event); });
        pump();
    });
}

std::optional<WebhookConfig> WebhookSender::webhookOf(std::uint32_t channelId) const
{
    if (std::optional<WebhookConfig> own = m_storage.findWebhook(channelId))
        return own;
    if (m_options.defaultUrl.empty())
        return std::nullopt;
    return WebhookConfig{m_options.defaultUrl, m_options.defaultSecret, false};
}

void WebhookSender::queue(const VoteEvent& event)
{
    const std::optional<WebhookConfig> webhook = webhookOf(event.place.channelId);
    const bool progress = event.kind == VoteEventKind::Progress;
    if (!webhook || (progress && !webhook->progress))
        return;
    WebhookEvent queued;
    queued.channelId = event.place.channelId;
    queued.body = WebhookPayload::body(event, m_options.broadcastHz);
    queued.createdAtUnix = m_clock.unixSeconds();
    queued.replaceable = progress;
    queued.subChannelId = event.place.subChannelId;
    const std::size_t dropped =
        m_storage.queueWebhookEvent(queued, m_options.queueLimit, m_clock.unixSeconds());
    m_storage.commit();
    if (dropped == 0)
        return;
    if (m_metrics)
        m_metrics->webhookOutcome(WebhookOutcome::Dropped);
    audit("webhook.drop", event.place.channelId, 0);
}

void WebhookSender::pump()
{
    while (!m_stopping && m_inFlight.size() < m_options.maxInFlight) {
        std::optional<WebhookEvent> due;
        guarded("claim", [&] {
            due = m_storage.claimWebhookEvent(m_clock.unixSeconds(), m_options.leaseSeconds);
            m_storage.commit();
        });
        if (!due)
            return;
        deliver(*due);
    }
}

void WebhookSender::deliver(const WebhookEvent& event)
{
    std::optional<WebhookConfig> webhook;
    guarded("find", [&] { webhook = webhookOf(event.channelId); });
    if (!webhook)
        return giveUp(event, 0, "the channel has no webhook");
    if (event.body.empty())
        return giveUp(event, 0, "the stored event does not read");
    std::string reason;
    const std::optional<WebhookUrl> url = WebhookUrl::parse(webhook->url, m_options.allowHttp, reason);
    if (!url)
        return giveUp(event, 0, reason);
    const std::int64_t now = m_clock.unixSeconds();
    const WebhookPost::Headers headers = {
        {"X-Quorix-Timestamp", std::to_string(now)},
        {"X-Quorix-Signature", WebhookSignature::sign(webhook->secret, now, event.body)},
        {"X-Quorix-Delivery", std::to_string(event.id)},
    };
    m_inFlight.push_back({event, now});
    WebhookPost::send(m_io, m_tls, *url, headers, event.body, m_options.timeout,
                      [this, event](WebhookPost::Outcome outcome) {
                          m_inFlight.erase(std::remove_if(m_inFlight.begin(), m_inFlight.end(),
                                                          [&](const InFlight& out) {
                                                              return out.event.id == event.id &&
                                                                     out.event.channelId == event.channelId;
                                                          }),
                                           m_inFlight.end());
                          guarded("settle", [&] { settle(event, outcome); });
                          pump();
                      });
}

void WebhookSender::settle(const WebhookEvent& event, const WebhookPost::Outcome& outcome)
{
    const std::int64_t now = m_clock.unixSeconds();
    if (outcome.delivered()) {
        m_storage.finishWebhookEvent(event);
        m_storage.commit();
        if (m_metrics)
            m_metrics->webhookOutcome(WebhookOutcome::Delivered);
        return;
    }
    const std::string reason =
        outcome.status != 0 ? "answered " + std::to_string(outcome.status) : outcome.error;
    if (now - event.createdAtUnix >= m_options.retryWindowSeconds)
        return giveUp(event, outcome.status, reason);
    m_storage.retryWebhookEvent(event, now + m_options.retryDelaySeconds(event.attempts));
    m_storage.commit();
    if (m_metrics)
        m_metrics->webhookOutcome(WebhookOutcome::Failed);
    ServiceLog::line(ServiceLog::Priority::Info, "webhook of channel " + std::to_string(event.channelId) +
                                                     ": " + reason + ", trying again");
}

void WebhookSender::giveUp(const WebhookEvent& event, int status, const std::string& reason)
{
    guarded("give up", [&] {
        m_storage.finishWebhookEvent(event);
        m_storage.commit();
    });
    if (m_metrics)
        m_metrics->webhookOutcome(WebhookOutcome::GivenUp);
    audit("webhook.giveup", event.channelId, static_cast<std::uint32_t>(status));
    ServiceLog::line(ServiceLog::Priority::Warning, "webhook of channel " + std::to_string(event.channelId) +
                                                        ": event " + std::to_string(event.id) +
                                                        " given up (" + reason + ")");
}

void WebhookSender::audit(const char* action, std::uint32_t channelId, std::uint32_t result)
{
    if (!m_audit)
        return;
    AuditEntry entry;
    entry.unixSeconds = m_clock.unixSeconds();
    entry.action = action;
    entry.result = result;
    entry.channelId = channelId;
    entry.transport = "webhook";
    m_audit(std::move(entry));
}

void WebhookSender::auditChange(AuditEntry who, const char* action, std::uint32_t channelId, int status)
{
    if (!m_audit)
        return;
    who.unixSeconds = m_clock.unixSeconds();
    who.action = action;
    who.result = status < 300 ? 0 : static_cast<std::uint32_t>(status);
    who.channelId = channelId;
    m_audit(std::move(who));
}

void WebhookSender::poll()
{
    if (m_stopping)
        return;
    pump();
    m_poll.expires_after(kPollPeriod);
    m_poll.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            poll();
    });
}

// ---- the web API's changes ----------------------------------------------------------------------

void WebhookSender::put(std::uint32_t channelId, const std::string& url, bool progress, AuditEntry who,
                        Done done)
{
    asio::post(m_io, [this, channelId, url, progress, who = std::move(who),
                      done = std::move(done)]() mutable {
        std::string reason;
        if (!WebhookUrl::parse(url, m_options.allowHttp, reason))
            return done(refusal(400, reason, "url"));
        Answer answer = refusal(503, "the webhook could not be stored");
        guarded("store", [&] {
            std::optional<WebhookConfig> webhook = m_storage.findWebhook(channelId);
            const bool created = !webhook;
            if (created)
                webhook = WebhookConfig{url, WebhookSignature::newSecret(), progress};
            if (webhook->secret.empty())
                return;
            webhook->url = url;
            webhook->progress = progress;
            m_storage.setWebhook(channelId, *webhook);
            if (!m_storage.commit())
                return;
            answer =
                Answer{created ? 201 : 200, {}, {}, url, progress, created ? webhook->secret : std::string()};
        });
        auditChange(std::move(who), "webhook.set", channelId, answer.status);
        done(std::move(answer));
    });
}

void WebhookSender::show(std::uint32_t channelId, Done done)
{
    asio::post(m_io, [this, channelId, done = std::move(done)] {
        Answer answer = refusal(503, "the webhook could not be read");
        guarded("read", [&] {
            const std::optional<WebhookConfig> webhook = m_storage.findWebhook(channelId);
            answer = webhook ? Answer{200, {}, {}, webhook->url, webhook->progress, {}}
                             : refusal(404, "the channel has no webhook");
        });
        done(std::move(answer));
    });
}

void WebhookSender::remove(std::uint32_t channelId, AuditEntry who, Done done)
{
    asio::post(m_io, [this, channelId, who = std::move(who), done = std::move(done)]() mutable {
        Answer answer = refusal(503, "the webhook could not be removed");
        guarded("remove", [&] {
            const bool removed = m_storage.removeWebhook(channelId);
            if (m_storage.commit())
                answer =
                    removed ? Answer{204, {}, {}, {}, false, {}} : refusal(404, "the channel has no webhook");
        });
        auditChange(std::move(who), "webhook.remove", channelId, answer.status);
        done(std::move(answer));
    });
}

} // namespace quorix::service
