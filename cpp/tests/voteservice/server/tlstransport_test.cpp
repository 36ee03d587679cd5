#include "voteservice/web/httplistener.h"
#include "voteservice/core/memoryvotestorage.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/core/systemclock.h"
#include "tests/support/tcptestclient.h"
#include "tests/support/testcertificates.h"
#include "voteservice/server/tlsservercontext.h"
#include "voteservice/server/voteserver.h"

#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>

#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace quorix::service::test {
namespace {

namespace ssl = asio::ssl;
namespace fs = std::filesystem;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;

// quorix-voted's server and web face with TLS on their own thread, on free loopback ports.
class TlsServer
{
public:
    TlsServer(const TestCertificates& certificates, ServerOptions options = {})
    {
        std::string error;
        options.tls =
            TlsServerContext::load(certificates.path("server.pem"), certificates.path("server.key"), error);
        EXPECT_TRUE(options.tls) << error;
        options.host = "127.0.0.1";
        options.port = 0;
        m_server = std::make_unique<VoteServer>(m_io, options, m_clock, m_storage);
        EXPECT_TRUE(m_server->listen(error)) << error;
        port = m_server->port();
        m_web = std::make_unique<HttpListener>(m_io, *m_server, m_clock, WebLimits(), WebAccess());
        m_web->setTls(options.tls);
        EXPECT_TRUE(m_web->listen("127.0.0.1", 0, error)) << error;
        webPort = m_web->port();
        m_thread = std::thread([this] { m_io.run(); });
    }
    // SIGHUP's work, on the server's thread: the new context also goes to the web face.
    bool reload()
    {
        std::promise<bool> reloaded;
        asio::post(m_io, [&] {
            const bool read = m_server->reloadCredentials();
            m_web->setTls(m_server->tls());
            reloaded.set_value(read);
        });
        return reloaded.get_future().get();
    }
    ~TlsServer()
    {
        asio::post(m_io, [this] {
            m_web->stop();
            m_server->stop();
        });
        m_thread.join();
    }

    std::uint16_t port = 0;
    std::uint16_t webPort = 0;

private:
    asio::io_context m_io;
    SystemClock m_clock;
    MemoryVoteStorage m_storage;
    std::unique_ptr<VoteServer> m_server;
    std::unique_ptr<HttpListener> m_web;
    std::thread m_thread;
};

// A TLS client connection that trusts only the test CA; reads give up after three seconds.
void connectTls(ssl::stream<asio::ip::tcp::socket>& stream, std::uint16_t port)
{
    stream.set_verify_mode(ssl::verify_peer);
    stream.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
    const timeval timeout{3, 0};
    ::setsockopt(stream.next_layer().native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    stream.handshake(ssl::stream_base::client);
}

// A host connection over TLS that trusts only the test CA; reads give up after three seconds.
class TlsTestClient
{
public:
    TlsTestClient(const TestCertificates& certificates, std::uint16_t port)
        : m_context(ssl::context::tls_client), m_stream(m_io, m_context)
    {
        m_context.load_verify_file(certificates.path("ca.pem"));
        m_stream.set_verify_mode(ssl::verify_peer);
        m_stream.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        const timeval timeout{3, 0};
        ::setsockopt(m_stream.next_layer().native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout,
                     sizeof timeout);
        m_stream.handshake(ssl::stream_base::client);
    }

    // Each piece goes out as a TLS record of its own.
    void sendInPieces(const std::string& bytes, std::size_t piece)
    {
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            asio::write(m_stream, asio::buffer(bytes.data() + at, std::min(piece, bytes.size() - at)));
    }
    void sendFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload,
                   std::size_t piece = 65536)
    {
        const std::string frame = mpak::encodeFrame(maxType, minType, payload);
        const auto length = static_cast<std::uint32_t>(frame.size());
        const char prefix[4] = {char(length), char(length >> 8), char(length >> 16), char(length >> 24)};
        sendInPieces(std::string(prefix, 4) + frame, piece);
    }
    std::optional<mpak::ServiceFrame> readFrame()
    {
        unsigned char prefix[4];
        boost::system::error_code ec;
        asio::read(m_stream, asio::buffer(prefix), ec);
        if (ec)
            return std::nullopt;
        std::string frame(prefix[0] | prefix[1] << 8 | prefix[2] << 16 | std::size_t(prefix[3]) << 24, '\0');
        asio::read(m_stream, asio::buffer(frame), ec);
        if (ec)
            return std::nullopt;
        return mpak::decodeFrame(frame);
    }
    template <class Message> std::optional<Message> waitFor(std::uint32_t minType)
    {
        while (const auto frame = readFrame()) {
            Message message;
            if (frame->maxType == 2500 && frame->minType == minType && mpak::decode(frame->payload, message))
                return message;
        }
        return std::nullopt;
    }
    std::optional<std::uint32_t> hello(const SessionIdentity& id, std::size_t piece = 65536)
    {
        const PHello hello{id.uid, id.imid, id.nick, id.role, id.channelId, id.subChannelId, {}};
        sendFrame(kControlMajorType, kControlHello, mpak::encode(hello), piece);
        const auto frame = readFrame();
        PWelcome welcome;
        if (!frame || frame->minType != kControlWelcome || !mpak::decode(frame->payload, welcome))
            return std::nullopt;
        return welcome.result;
    }

private:
    asio::io_context m_io;
    ssl::context m_context;
    ssl::stream<asio::ip::tcp::socket> m_stream;
};

TEST(TlsTransportTest, FramesCrossTlsRecordsIntactBothWays)
{
    TestCertificates certificates;
    ServerOptions options;
    options.socketSendBuffer = 8 * 1024;
    TlsServer server(certificates, options);
    TlsTestClient manager(certificates, server.port);
    // One byte a record: the server puts the HELLO together from 60-odd reads.
    ASSERT_EQ(manager.hello(identity(1, 255), 1), std::optional<std::uint32_t>(kWelcomeAccepted));
    TlsTestClient viewer(certificates, server.port);
    ASSERT_EQ(viewer.hello(identity(2, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));

    // Each list push is larger than the last; the later ones span several TLS records.
    VoteInfo large = normalVote("large", 10, 1, 1);
    large.auxText2.assign(3000, 'x');
    constexpr std::size_t kVotes = 8;
    for (std::size_t i = 0; i < kVotes; ++i) {
        manager.sendFrame(2500, VOTE_SYSTEM_CREATE_VOTE_REQ, mpak::encode(PCreateVoteReq{10, 20, large, {}}));
        ASSERT_TRUE(manager.waitFor<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES));
    }
    for (std::size_t i = 1; i <= kVotes; ++i) {
        const auto list = viewer.waitFor<PBroadcastChannelVote>(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE);
        ASSERT_TRUE(list) << "push " << i;
        ASSERT_EQ(list->votes.size(), i);
        EXPECT_EQ(list->votes.back().auxText2, large.auxText2);
    }
}

TEST(TlsTransportTest, ConnectionsWithoutAHandshakeCloseAndOthersAreServed)
{
    TestCertificates certificates;
    ServerOptions options;
    options.helloTimeoutMs = 300;
    TlsServer server(certificates, options);
    TcpTestClient plainHello;
    ASSERT_TRUE(plainHello.connect(server.port));
    TcpTestClient silent;
    ASSERT_TRUE(silent.connect(server.port));

    // Plain bytes fail the handshake at once; a client that never starts one meets the HELLO timeout.
    EXPECT_FALSE(plainHello.hello(identity(1, 0)));
    EXPECT_TRUE(plainHello.closedWithin());
    EXPECT_TRUE(silent.closedWithin(3000));
    TlsTestClient served(certificates, server.port);
    EXPECT_EQ(served.hello(identity(2, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));
}

// "STATUS BODY"; hsts, when given, gets the answer's Strict-Transport-Security.
std::string httpsGet(ssl::context& context, std::uint16_t port, const std::string& target,
                     std::string* hsts = nullptr)
{
    asio::io_context io;
    ssl::stream<asio::ip::tcp::socket> stream(io, context);
    connectTls(stream, port);
    http::request<http::empty_body> request{http::verb::get, target, 11};
    request.set(http::field::host, "127.0.0.1");
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    if (hsts)
        *hsts = std::string(response[http::field::strict_transport_security]);
    return std::to_string(response.result_int()) + " " + response.body();
}

TEST(TlsTransportTest, TheWebFaceServesHttpsAndWss)
{
    TestCertificates certificates;
    TlsServer server(certificates);
    ssl::context context(ssl::context::tls_client);
    context.load_verify_file(certificates.path("ca.pem"));
    std::string hsts;
    EXPECT_EQ(httpsGet(context, server.webPort, "/healthz", &hsts), "200 {\"status\":\"ok\"}");
    EXPECT_EQ(hsts, "max-age=31536000");
    EXPECT_EQ(httpsGet(context, server.webPort, "/api/v1/nothing", &hsts).substr(0, 3), "404");
    EXPECT_EQ(hsts, "max-age=31536000");

    asio::io_context io;
    websocket::stream<ssl::stream<asio::ip::tcp::socket>> events(io, context);
    connectTls(events.next_layer(), server.webPort);
    events.handshake("127.0.0.1", "/api/v1/channels/10/events?uid=5&sub=20");
    beast::flat_buffer message;
    events.read(message);
    EXPECT_NE(beast::buffers_to_string(message.data()).find("\"type\":\"snapshot\""), std::string::npos);
    events.close(websocket::close_code::normal);

    // A viewer's held answer leaves in one gathered write with the broadcast that counts it; over
    // TLS both arrive intact.
    TlsTestClient manager(certificates, server.port);
    ASSERT_EQ(manager.hello(identity(1, 255)), std::optional<std::uint32_t>(kWelcomeAccepted));
    manager.sendFrame(2500, VOTE_SYSTEM_CREATE_VOTE_REQ,
                      mpak::encode(PCreateVoteReq{10, 20, normalVote("Song", 3, 1, 1), {}}));
    const auto created = manager.waitFor<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    ASSERT_TRUE(created);
    manager.sendFrame(2500, VOTE_SYSTEM_START_VOTE_REQ,
                      mpak::encode(PStartVoteReq{10, 20, created->voteId, 1, {}}));
    ASSERT_TRUE(manager.waitFor<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES));
    websocket::stream<ssl::stream<asio::ip::tcp::socket>> viewer(io, context);
    connectTls(viewer.next_layer(), server.webPort);
    viewer.handshake("127.0.0.1", "/api/v1/session?uid=2&channel=10&sub=20");
    const auto nextType = [&viewer, &message] {
        message.consume(message.size());
        viewer.read(message);
        return nlohmann::json::parse(beast::buffers_to_string(message.data()), nullptr, false)
            .value("type", "");
    };
    EXPECT_EQ(nextType(), "vote");
    viewer.write(
        asio::buffer(R"({"type":"vote","voteId":)" + std::to_string(created->voteId) + R"(,"optionId":0})"));
    EXPECT_EQ(nextType(), "result");
    EXPECT_EQ(nextType(), "vote");
    viewer.close(websocket::close_code::normal);

    // Plain HTTP to the port is a failed handshake: closed without an answer, and nothing else changes.
    TcpTestClient plain;
    ASSERT_TRUE(plain.connect(server.webPort));
    ASSERT_TRUE(plain.sendRaw("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    EXPECT_TRUE(plain.closedWithin());
    EXPECT_EQ(httpsGet(context, server.webPort, "/healthz"), "200 {\"status\":\"ok\"}");
}

// A reload serves the certificate and key the files now hold to new connections; files that do not
// parse keep the old ones; connections already open are untouched.
TEST(TlsTransportTest, AReloadServesTheNewCertificateToNewConnections)
{
    TestCertificates first, second("tls-next");
    const std::string certificate = first.path("served.pem"), key = first.path("served.key");
    const auto serve = [&](const TestCertificates& from) {
        fs::copy_file(from.path("server.pem"), certificate, fs::copy_options::overwrite_existing);
        fs::copy_file(from.path("server.key"), key, fs::copy_options::overwrite_existing);
    };
    serve(first);
    ServerOptions options;
    options.tlsCertificateFile = certificate;
    options.tlsKeyFile = key;
    TlsServer server(first, options);
    TlsTestClient open(first, server.port);
    ASSERT_EQ(open.hello(identity(1, 255)), std::optional<std::uint32_t>(kWelcomeAccepted));

    std::ofstream(certificate) << "not a certificate\n";
    EXPECT_FALSE(server.reload());
    EXPECT_NO_THROW(TlsTestClient(first, server.port)) << "the old certificate is still served";

    serve(second);
    EXPECT_TRUE(server.reload());
    TlsTestClient renewed(second, server.port);
    EXPECT_EQ(renewed.hello(identity(2, 0)), std::optional<std::uint32_t>(kWelcomeAccepted));
    EXPECT_THROW(TlsTestClient(first, server.port), boost::system::system_error);
    ssl::context web(ssl::context::tls_client);
    web.load_verify_file(second.path("ca.pem"));
    EXPECT_EQ(httpsGet(web, server.webPort, "/healthz"), "200 {\"status\":\"ok\"}");
    open.sendFrame(2500, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
                   mpak::encode(PQueryVoteHisRecordReq{10, 20, {}}));
    EXPECT_TRUE(open.waitFor<PQueryVoteHisRecordRes>(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES));
}

TEST(TlsServerContextTest, UnusableFilesAreRefusedWithAReason)
{
    TestCertificates certificates;
    std::ofstream(certificates.folder / "text.pem") << "not a certificate\n";
    struct Case
    {
        std::string certificate;
        std::string key;
        std::string reason;
    };
    const Case cases[] = {
        {"missing.pem", "server.key", "cannot read the TLS certificate file"},
        {"server.pem", "missing.key", "cannot read the TLS key file"},
        {"text.pem", "server.key", "holds no usable certificate"},
        {"server.pem", "text.pem", "holds no usable private key"},
        {"server.pem", "locked.key", "holds no usable private key"},
        {"server.pem", "ca.key", "does not belong to the certificate"},
        {"ca.pem", "server.key", "does not belong to the certificate"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(
            TlsServerContext::load(certificates.path(c.certificate), certificates.path(c.key), error))
            << c.certificate << " " << c.key;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.certificate << " " << c.key << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(
        TlsServerContext::load(certificates.path("server.pem"), certificates.path("server.key"), error))
        << error;
}

} // namespace
} // namespace quorix::service::test
