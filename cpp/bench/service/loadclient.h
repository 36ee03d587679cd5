#pragma once

// One simulated host connection of the load generator: HELLO, then vote frames out and frames in.
// Reports what it reads to its LoadRun; single-threaded on the run's io_context.

#include "bench/service/voterstate.h"
#include "voteservice/core/sessionidentity.h"

#include <boost/asio.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

namespace asio = boost::asio;

class LoadRun;

class LoadClient : public std::enable_shared_from_this<LoadClient>, public VoterState
{
public:
    LoadClient(asio::io_context& io, LoadRun& run, std::size_t index, service::SessionIdentity identity);

    // Binds to source (any port) and connects to endpoint.
    void connect(const asio::ip::tcp::endpoint& endpoint, const asio::ip::address& source);
    void sendFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload);
    void close();

    std::size_t index() const { return m_index; }
    const service::SessionIdentity& identity() const { return m_identity; }

    bool sawEnd = false; // read the vote's end broadcast

private:
    void waitReadable();
    void onReadable();
    std::size_t consumeFrames(const char* bytes, std::size_t size);
    void writeNext();

    asio::ip::tcp::socket m_socket;
    LoadRun& m_run;
    std::size_t m_index;
    service::SessionIdentity m_identity;
    std::string m_partial;
    std::deque<std::string> m_out;
    bool m_writing = false;
};

} // namespace quorix::loadgen
