#include "tests/voteservice/web/webtestclient.h"

#include <cctype>

namespace quorix::service::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;

namespace {
template <typename Fields> std::map<std::string, std::string> lowerCaseFields(const Fields& fields)
{
    std::map<std::string, std::string> out;
    for (const auto& field : fields) {
        std::string name(field.name_string());
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out[name] = std::string(field.value());
    }
    return out;
}
} // namespace

nlohmann::json HttpReply::json() const
{
    return nlohmann::json::parse(body, nullptr, false);
}

bool WebTestClient::runUntil(const bool& done, std::chrono::milliseconds timeout)
{
    m_io.restart();
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done && std::chrono::steady_clock::now() < until)
        m_io.run_one_until(until);
    return done;
}

bool WebTestClient::connect(asio::ip::tcp::socket& socket)
{
    boost::system::error_code ec;
    if (!m_from.empty()) {
        const asio::ip::address from = asio::ip::make_address(m_from, ec);
        if (!ec)
            socket.open(asio::ip::tcp::v4(), ec);
        if (!ec)
            socket.bind({from, 0}, ec);
        if (ec)
            return false;
    }
    socket.connect({asio::ip::make_address("127.0.0.1"), m_port}, ec);
    return !ec;
}

bool WebTestClient::keepOpen()
{
    m_kept.emplace(m_io);
    m_keptBuffer.clear();
    return connect(*m_kept);
}

HttpReply WebTestClient::request(const std::string& method, const std::string& target,
                                 const std::map<std::string, std::string>& headers, const std::string& body)
{
    std::optional<asio::ip::tcp::socket> fresh;
    if (!m_kept) {
        fresh.emplace(m_io);
        if (!connect(*fresh))
            return {};
    }
    asio::ip::tcp::socket& socket = m_kept ? *m_kept : *fresh;
    http::request<http::string_body> req(http::string_to_verb(method), target, 11);
    req.set(http::field::host, "127.0.0.1");
    for (const auto& [name, value] : headers)
        req.set(name, value);
    req.body() = body;
    if (!body.empty() || method == "POST")
        req.prepare_payload();
    req.keep_alive(m_kept.has_value());
    HttpReply reply;
    bool done = false;
    // An answer to HEAD has no body whatever its Content-Length says.
    http::response_parser<http::string_body> parser;
    parser.skip(req.method() == http::verb::head);
    // What a kept connection reads beyond one answer belongs to the next.
    beast::flat_buffer freshBuffer;
    beast::flat_buffer& buffer = m_kept ? m_keptBuffer : freshBuffer;
    http::async_write(socket, req, [&](const boost::system::error_code& ec, std::size_t) {
        // The server may answer (431, 413) before it has read all: read the answer anyway.
        (void)ec;
        http::async_read(socket, buffer, parser,
                         [&](const boost::system::error_code& readError, std::size_t) {
                             if (!readError) {
                                 const auto& res = parser.get();
                                 reply.status = static_cast<int>(res.result_int());
                                 reply.contentType = std::string(res[http::field::content_type]);
                                 reply.allow = std::string(res[http::field::allow]);
                                 reply.contentLength = std::string(res[http::field::content_length]);
                                 reply.body = res.body();
                                 reply.headers = lowerCaseFields(res);
                             }
                             done = true;
                         });
    });
    if (!runUntil(done, kTimeout)) {
        socket.close();
        runUntil(done, kTimeout);
    }
    return reply;
}

bool WebTestClient::openWebSocket(const std::string& target,
                                  const std::map<std::string, std::string>& headers)
{
    m_ws.emplace(m_io);
    if (!connect(m_ws->next_layer()))
        return false;
    m_ws->set_option(websocket::stream_base::decorator([headers](websocket::request_type& req) {
        for (const auto& [name, value] : headers)
            req.set(name, value);
    }));
    bool done = false;
    boost::system::error_code result;
    websocket::response_type response;
    m_ws->async_handshake(response, "127.0.0.1", target, [&](const boost::system::error_code& ec) {
        result = ec;
        done = true;
    });
    const bool opened = runUntil(done, kTimeout) && !result;
    upgradeHeaders = lowerCaseFields(response);
    if (!opened)
        refusedStatus = static_cast<int>(response.result_int());
    return opened;
}

bool WebTestClient::sendText(const std::string& text)
{
    bool done = false;
    boost::system::error_code result;
    m_ws->text(true);
    m_ws->async_write(asio::buffer(text), [&](const boost::system::error_code& ec, std::size_t) {
        result = ec;
        done = true;
    });
    return runUntil(done, kTimeout) && !result;
}

std::optional<nlohmann::json> WebTestClient::readMessage(std::chrono::milliseconds timeout)
{
    bool done = false;
    boost::system::error_code result;
    m_ws->async_read(m_buffer, [&](const boost::system::error_code& ec, std::size_t) {
        result = ec;
        done = true;
    });
    if (!runUntil(done, timeout)) {
        beast::get_lowest_layer(*m_ws).cancel();
        runUntil(done, kTimeout);
        return std::nullopt;
    }
    if (result) {
        if (result == websocket::error::closed)
            m_closeCode = static_cast<std::uint16_t>(m_ws->reason().code);
        return std::nullopt;
    }
    const std::string text = beast::buffers_to_string(m_buffer.data());
    m_buffer.consume(m_buffer.size());
    return nlohmann::json::parse(text, nullptr, false);
}

std::vector<nlohmann::json> WebTestClient::readTogether(std::chrono::milliseconds timeout)
{
    asio::ip::tcp::socket& socket = m_ws->next_layer();
    bool done = false;
    socket.async_wait(asio::socket_base::wait_read, [&](const boost::system::error_code&) { done = true; });
    if (!runUntil(done, timeout)) {
        socket.cancel();
        runUntil(done, kTimeout);
        return {};
    }
    std::string bytes(64 * 1024, '\0');
    boost::system::error_code ec;
    bytes.resize(socket.read_some(asio::buffer(bytes), ec));
    m_unframed += bytes;
    // Server frames: FIN and opcode, an unmasked 7-bit length or 126 and a 16-bit one.
    std::vector<nlohmann::json> messages;
    std::size_t at = 0;
    while (m_unframed.size() - at >= 2) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(m_unframed[at + i]); };
        std::size_t header = 2, length = byte(1) & 0x7f;
        if (length == 126) {
            if (m_unframed.size() - at < 4)
                break;
            header = 4;
            length = std::size_t(byte(2)) << 8 | byte(3);
        }
        if (m_unframed.size() - at < header + length)
            break;
        const std::string payload = m_unframed.substr(at + header, length);
        if ((byte(0) & 0x0f) == 0x8 && length >= 2)
            m_closeCode = static_cast<std::uint16_t>(static_cast<unsigned char>(payload[0]) << 8 |
                                                     static_cast<unsigned char>(payload[1]));
        else if ((byte(0) & 0x0f) == 0x1)
            messages.push_back(nlohmann::json::parse(payload, nullptr, false));
        at += header + length;
    }
    m_unframed.erase(0, at);
    return messages;
}

std::optional<nlohmann::json> WebTestClient::waitForType(const std::string& type,
                                                         std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        auto message = readMessage(left);
        if (!message)
            return std::nullopt;
        if (message->value("type", "") == type)
            return message;
    }
    return std::nullopt;
}

bool WebTestClient::openEventStream(const std::string& target)
{
    m_sse.emplace(m_io);
    if (!connect(*m_sse))
        return false;
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
    boost::system::error_code ec;
    asio::write(*m_sse, asio::buffer(request), ec);
    return !ec;
}

std::optional<WebTestClient::Event> WebTestClient::readEvent(std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // Skips the response header and comment lines; an event ends with an empty line.
        const std::size_t end = m_sseBuffer.find("\n\n");
        if (end != std::string::npos) {
            const std::string block = m_sseBuffer.substr(0, end);
            m_sseBuffer.erase(0, end + 2);
            Event event;
            std::size_t start = 0;
            while (start < block.size()) {
                std::size_t lineEnd = block.find('\n', start);
                if (lineEnd == std::string::npos)
                    lineEnd = block.size();
                const std::string line = block.substr(start, lineEnd - start);
                start = lineEnd + 1;
                if (line.rfind("id: ", 0) == 0)
                    event.id = line.substr(4);
                else if (line.rfind("event: ", 0) == 0)
                    event.type = line.substr(7);
                else if (line.rfind("data: ", 0) == 0)
                    event.data = nlohmann::json::parse(line.substr(6), nullptr, false);
            }
            if (!event.type.empty())
                return event;
            if (block.rfind("HTTP/", 0) == 0)
                m_sseHead = block + "\n";
            continue;
        }
        bool done = false;
        boost::system::error_code result;
        std::array<char, 4096> chunk{};
        std::size_t got = 0;
        m_sse->async_read_some(asio::buffer(chunk), [&](const boost::system::error_code& ec, std::size_t n) {
            result = ec;
            got = n;
            done = true;
        });
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !runUntil(done, left)) {
            m_sse->cancel();
            runUntil(done, kTimeout);
            return std::nullopt;
        }
        if (result)
            return std::nullopt;
        std::string text(chunk.data(), got);
        // The header's CRLFs: normalise so the header ends as an empty line too.
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
        m_sseBuffer += text;
    }
}

} // namespace quorix::service::test
