#pragma once

// A client of the web face for the tests: HTTP requests, a WebSocket and an SSE stream over
// loopback, each operation bounded by a timeout (its own io_context, run only while it waits).

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service::test {

struct HttpReply
{
    int status = 0; // 0: no answer
    std::string contentType;
    std::string allow;
    std::string contentLength;
    std::string body;
    std::map<std::string, std::string> headers; // names in lower case
    nlohmann::json json() const;
};

class WebTestClient
{
public:
    static constexpr std::chrono::milliseconds kTimeout{3000};

    // To 127.0.0.1:port, from another loopback address when `from` is given (per-address limits).
    explicit WebTestClient(std::uint16_t port, std::string from = {}) : m_port(port), m_from(std::move(from))
    {}

    // One request on a fresh connection (or on the kept one after keepOpen()).
    HttpReply request(const std::string& method, const std::string& target,
                      const std::map<std::string, std::string>& headers = {}, const std::string& body = {});
    // Connects now and keeps the connection for the following requests.
    bool keepOpen();

    // WebSocket: the upgrade on a fresh connection; false when refused (the status in refusedStatus).
    bool openWebSocket(const std::string& target, const std::map<std::string, std::string>& headers = {});
    bool sendText(const std::string& text);
    // The next message, or nullopt on timeout or when the socket ended (closeCode then set).
    std::optional<nlohmann::json> readMessage(std::chrono::milliseconds timeout = kTimeout);
    // Reads until a message whose "type" is type arrives.
    std::optional<nlohmann::json> waitForType(const std::string& type,
                                              std::chrono::milliseconds timeout = kTimeout);
    // The messages of one read from the socket: waits up to timeout for bytes, reads once what the
    // socket holds and returns the messages whose frames it completed (a close frame sets
    // closeCode). What arrived in one write of the service comes in one read over loopback. Only
    // for a WebSocket read this way since its upgrade (readMessage may have read ahead).
    std::vector<nlohmann::json> readTogether(std::chrono::milliseconds timeout = kTimeout);
    std::optional<std::uint16_t> closeCode() const { return m_closeCode; }
    int refusedStatus = 0;
    // The header fields of the last upgrade's answer (101, or the refusal), names in lower case.
    std::map<std::string, std::string> upgradeHeaders;

    // SSE: GET with Accept: text/event-stream; the next event's id, type and data.
    bool openEventStream(const std::string& target);
    struct Event
    {
        std::string id;
        std::string type;
        nlohmann::json data;
    };
    std::optional<Event> readEvent(std::chrono::milliseconds timeout = kTimeout);
    // The stream's HTTP header once readEvent has read past it (its lines end in "\n").
    const std::string& eventStreamHead() const { return m_sseHead; }

private:
    bool connect(boost::asio::ip::tcp::socket& socket);
    // Runs the io_context until done or the timeout; false on timeout.
    bool runUntil(const bool& done, std::chrono::milliseconds timeout);

    std::uint16_t m_port;
    std::string m_from;
    boost::asio::io_context m_io;
    std::optional<boost::asio::ip::tcp::socket> m_kept;
    boost::beast::flat_buffer m_keptBuffer;
    boost::beast::flat_buffer m_buffer;
    std::optional<boost::beast::websocket::stream<boost::asio::ip::tcp::socket>> m_ws;
    std::optional<std::uint16_t> m_closeCode;
    std::string m_unframed; // bytes readTogether read past the last whole frame
    std::optional<boost::asio::ip::tcp::socket> m_sse;
    std::string m_sseBuffer;
    std::string m_sseHead;
};

} // namespace quorix::service::test
