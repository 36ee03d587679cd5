// The webhook sender against a receiver of the test's own: what a failing receiver gets (retries,
// then the give-up after the retry window, audited and counted), a full queue (the oldest after the
// head dropped, audited), the progress a webhook did not ask for, and certificate checks.

#include "tests/support/servicetestsupport.h"
#include "voteservice/webhook/webhooksender.h"
#include "voteservice/webhook/webhooksignature.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

namespace quorix::service::test {
namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;

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

// Answers every POST with `status`, one connection at a time, and keeps what it got.
class Receiver
{
public:
    struct Got
    {
        std::string timestamp, signature, body;
    };

    Receiver() : m_acceptor(m_io, {asio::ip::make_address("127.0.0.1"), 0})
    {
        m_thread = std::thread([this] { serve(); });
    }
    ~Receiver()
    {
        m_stopping = true;
        boost::system::error_code ignored;
        asio::ip::tcp::socket wake(m_io);
        wake.connect(m_acceptor.local_endpoint(), ignored);
        m_thread.join();
    }
    std::string url(const char* scheme = "http") const
    {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_acceptor.local_endpoint().port()) +
               "/hook";
    }
    std::vector<Got> got() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_got;
    }
    std::atomic<int> status{200};

private:
    void serve()
    {
        while (!m_stopping) {
            asio::ip::tcp::socket socket(m_io);
            boost::system::error_code ec;
            m_acceptor.accept(socket, ec);
            boost::beast::flat_buffer buffer;
            http::request<http::string_body> request;
            if (ec || m_stopping || (http::read(socket, buffer, request, ec), ec))
                continue;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_got.push_back({std::string(request["X-Quorix-Timestamp"]),
                                 std::string(request["X-Quorix-Signature"]), request.body()});
            }
            http::response<http::string_body> response(static_cast<http::status>(status.load()), 11);
            response.body() = std::string(64 * 1024, 'x'); // beyond what the sender reads
            response.prepare_payload();
            http::write(socket, response, ec);
        }
    }

    asio::io_context m_io;
    asio::ip::tcp::acceptor m_acceptor;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<Got> m_got;
    std::thread m_thread;
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
    static std::string typeOf(const Receiver::Got& got) { return nlohmann::json::parse(got.body)["type"]; }

    MemoryVoteStorage storage;
    SharedClock clock;
    ServiceMetrics metrics{0};
    Receiver receiver;
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
    const std::vector<Receiver::Got> got = receiver.got();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(typeOf(got[0]), "vote.begin");
    EXPECT_EQ(typeOf(got[3]), "vote.end");
    for (const Receiver::Got& each : got)
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
    const std::vector<Receiver::Got> got = receiver.got();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(nlohmann::json::parse(got[1].body)["voteId"], 1);
    EXPECT_EQ(nlohmann::json::parse(got[2].body)["voteId"], 2);
    EXPECT_EQ(typeOf(got[2]), "vote.begin");
}

TEST_F(WebhookSenderTest, HttpsNeedsATlsPeerAndPlainHttpAnOption)
{
    start(receiver.url("https"));
    send(VoteEventKind::Begin, 1);
    // The receiver waits for a request line that never comes: the handshake ends with the timeout.
    ASSERT_TRUE(eventually([&] { return count("failed") == 1; }, 15)) << "no TLS peer, no delivery";
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

} // namespace
} // namespace quorix::service::test
