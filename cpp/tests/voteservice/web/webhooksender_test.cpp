// The webhook sender against a receiver of the test's own: what a failing receiver gets (retries,
// then the give-up after the retry window, audited and counted), a full queue (the oldest after the
// head dropped, audited), the progress a webhook did not ask for, and certificate checks: a receiver
// over TLS gets the event only when its certificate is signed by a CA the sender trusts, names the
// URL's host and is in date; any other is a failed attempt, tried again and in the end given up.

#include "tests/support/servicetestsupport.h"
#include "tests/support/testcertificates.h"
#include "tests/support/webhooktestreceiver.h"
#include "voteservice/webhook/webhooksender.h"
#include "voteservice/webhook/webhooksignature.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

namespace quorix::service::test {
namespace {

// Read by the sender's thread while the test moves it.
class SharedClock : public Clock
{
public:
    std::int64_t steadyMs() const override { return m_unix * 1000; }
    std::int64_t unixSeconds() const override { return m_unix; }
    void advanceSeconds(std::int64_t seconds) { m_unix += seconds; }

private:
    std::atomic<std::int64_t> m_unix{1800000000};
};

class WebhookSenderTest : public ::testing::Test
{
protected:
    void start(const std::string& url, std::size_t queueLimit = 1000, bool allowHttp = true)
    {
        storage.setWebhook(10, {url, "secret-of-ten", false});
        WebhookOptions options;
        options.allowHttp = allowHttp;
        options.queueLimit = queueLimit;
        options.caFile = caFile;
        sender = std::make_unique<WebhookSender>(storage, clock, options, &metrics, [this](AuditEntry entry) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_audits.push_back(entry.action + " " + std::to_string(entry.result));
        });
        sender->start();
    }
    void TearDown() override { sender.reset(); }

    void send(VoteEventKind kind, std::uint32_t voteId)
    {
        SharedOpenVote vote;
        vote.record = normalVote("song", 2, 1, 1);
        vote.record.voteId = voteId;
        vote.jiFangId = 7;
        sender->voteEvent({kind, {10, 20}, voteId, 7, clock.unixSeconds(), vote});
    }
    double count(const char* outcome) const
    {
        const std::string series = std::string("quorix_webhook_events_total{outcome=\"") + outcome + "\"}";
        return metricSample(metrics.exposition(), series).value_or(0);
    }
    std::vector<std::string> audits()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_audits;
    }
    // Polls until the condition holds (the sender retries from its once-a-second poll).
    static bool eventually(const std::function<bool()>& condition, int seconds = 10)
    {
        for (int i = 0; i < seconds * 100 && !condition(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return condition();
    }
    static std::string typeOf(const WebhookTestReceiver::Got& got)
    {
        return nlohmann::json::parse(got.body)["type"];
    }

    MemoryVoteStorage storage;
    SharedClock clock;
    ServiceMetrics metrics{0};
    std::string caFile; // for the senders start() makes
    WebhookTestReceiver receiver;
    std::unique_ptr<WebhookSender> sender;

private:
    std::mutex m_mutex;
    std::vector<std::string> m_audits;
};

TEST_F(WebhookSenderTest, AFailingReceiverGetsRetriesUntilTheWindowEndsThenTheEventIsGivenUp)
{
    receiver.status = 500;
    start(receiver.url());
    send(VoteEventKind::Progress, 3); // not asked for
    send(VoteEventKind::Begin, 3);
    ASSERT_TRUE(eventually([&] { return count("failed") == 1; }));
    clock.advanceSeconds(1);
    ASSERT_TRUE(eventually([&] { return count("failed") == 2; })) << "tried again after a second";
    clock.advanceSeconds(3600);
    ASSERT_TRUE(eventually([&] { return count("given_up") == 1; }));
    EXPECT_EQ(audits(), std::vector<std::string>{"webhook.giveup 500"});

    receiver.status = 200;
    send(VoteEventKind::End, 3);
    ASSERT_TRUE(eventually([&] { return count("delivered") == 1; }));
    const std::vector<WebhookTestReceiver::Got> got = receiver.got();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(typeOf(got[0]), "vote.begin");
    EXPECT_EQ(typeOf(got[3]), "vote.end");
    for (const WebhookTestReceiver::Got& each : got)
        EXPECT_EQ(each.signature,
                  WebhookSignature::sign("secret-of-ten", std::stoll(each.timestamp), each.body));
    EXPECT_EQ(storage.webhookQueueLength(10), 0u);
}

TEST_F(WebhookSenderTest, AFullQueueDropsTheOldestAfterTheHeadAndSaysSo)
{
    receiver.status = 500;
    start(receiver.url(), 2);
    send(VoteEventKind::Begin, 1);
    ASSERT_TRUE(eventually([&] { return count("failed") == 1; }));
    send(VoteEventKind::End, 1);
    send(VoteEventKind::Close, 1); // drops the end
    send(VoteEventKind::Begin, 2); // drops the close
    ASSERT_TRUE(eventually([&] { return count("dropped") == 2; }));
    EXPECT_EQ(audits(), (std::vector<std::string>{"webhook.drop 0", "webhook.drop 0"}));

    receiver.status = 200;
    clock.advanceSeconds(1);
    ASSERT_TRUE(eventually([&] { return count("delivered") == 2; }));
    const std::vector<WebhookTestReceiver::Got> got = receiver.got();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(nlohmann::json::parse(got[1].body)["voteId"], 1);
    EXPECT_EQ(nlohmann::json::parse(got[2].body)["voteId"], 2);
    EXPECT_EQ(typeOf(got[2]), "vote.begin");
}

TEST_F(WebhookSenderTest, HttpsNeedsATlsPeerAndPlainHttpAnOption)
{
    start(receiver.url("https"));
    send(VoteEventKind::Begin, 1);
    // The receiver reads the TLS hello as a request that does not parse and hangs up.
    ASSERT_TRUE(eventually([&] { return count("failed") == 1; })) << "no TLS peer, no delivery";
    EXPECT_EQ(count("delivered"), 0);
    sender.reset();

    storage.setWebhook(10, {receiver.url(), "secret-of-ten", false});
    start(receiver.url(), 1000, false);
    send(VoteEventKind::Begin, 2);
    clock.advanceSeconds(1); // the first event's retry is due
    ASSERT_TRUE(eventually([&] { return count("given_up") == 2; })) << "http:// is not allowed";
    EXPECT_EQ(audits(), (std::vector<std::string>{"webhook.giveup 0", "webhook.giveup 0"}));
    EXPECT_EQ(receiver.got().size(), 0u);
}

TEST_F(WebhookSenderTest, HttpsDeliversOnlyToACertificateTheTrustNamesAndThatIsInDate)
{
    TestCertificates certificates("webhook-tls");
    certificates.issue("elsewhere", "DNS:elsewhere.example,IP:127.0.0.2");
    certificates.issue("expired", "IP:127.0.0.1,DNS:localhost", -1);
    certificates.selfSign("self", "IP:127.0.0.1,DNS:localhost");
    const std::string ca = certificates.path("ca.pem");
    const struct
    {
        const char* what;
        std::string certificate; // the receiver's, with its key
        std::string host;        // of the URL
        std::string address;     // the receiver listens on
        std::string trusted;     // --webhook-ca-file
        bool delivered;
        std::string serverName; // the SNI the receiver got
    } rows[] = {
        {"signed by the trusted CA, for the address", "server", "127.0.0.1", "127.0.0.1", ca, true, ""},
        {"signed by the trusted CA, for the name", "server", "localhost", "127.0.0.1", ca, true, "localhost"},
        {"signed by the trusted CA, for the IPv6 address", "server", "[::1]", "::1", ca, true, ""},
        {"for other names than the address", "elsewhere", "127.0.0.1", "127.0.0.1", ca, false, ""},
        {"for other names than the name", "elsewhere", "localhost", "127.0.0.1", ca, false, ""},
        {"signed by a CA the sender was not given", "server", "localhost", "127.0.0.1", "", false, ""},
        {"self-signed", "self", "localhost", "127.0.0.1", ca, false, ""},
        {"expired", "expired", "localhost", "127.0.0.1", ca, false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WebhookTestReceiver tlsReceiver(certificates.path(row.certificate + ".pem"),
                                        certificates.path(row.certificate + ".key"), row.address);
        caFile = row.trusted;
        const double delivered = count("delivered"), failed = count("failed"), givenUp = count("given_up");
        start(tlsReceiver.url("https", row.host), 1000, false);
        send(VoteEventKind::Begin, 1);
        if (row.delivered) {
            ASSERT_TRUE(eventually([&] { return count("delivered") == delivered + 1; }));
            const std::vector<WebhookTestReceiver::Got> got = tlsReceiver.got();
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].serverName, row.serverName);
            EXPECT_EQ(got[0].signature,
                      WebhookSignature::sign("secret-of-ten", std::stoll(got[0].timestamp), got[0].body));
        } else {
            ASSERT_TRUE(eventually([&] { return count("failed") == failed + 1; })) << "a failed attempt";
            clock.advanceSeconds(3600);
            ASSERT_TRUE(eventually([&] { return count("given_up") == givenUp + 1; })) << "tried again";
            EXPECT_EQ(audits().back(), "webhook.giveup 0");
            EXPECT_EQ(count("delivered"), delivered);
            EXPECT_EQ(tlsReceiver.got().size(), 0u);
        }
        EXPECT_EQ(storage.webhookQueueLength(10), 0u);
        sender.reset();
    }
}

TEST_F(WebhookSenderTest, ACaFileWithoutCertificatesStopsTheSenderFromStarting)
{
    TestCertificates certificates("webhook-ca");
    caFile = certificates.path("server.key");
    EXPECT_THROW(start(receiver.url("https")), std::runtime_error);
    caFile = certificates.path("missing.pem");
    EXPECT_THROW(start(receiver.url("https")), std::runtime_error);
}

} // namespace
} // namespace quorix::service::test
