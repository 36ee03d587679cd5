#pragma once

// The service's fan-out against the bare sender, in the same run on the same machine: a child
// process (BareSender) writes as many frames of the same size to as many loopback sessions over
// the same time as the service's sessions read while voting; this process reads them. What the
// sender's processor time is per delivered frame is the floor under the service's.

#include "bench/service/baresender.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix::loadgen {

class BareRun
{
public:
    struct Results
    {
        std::uint64_t framesDelivered = 0; // whole frames the sessions read
        std::uint64_t framesWritten = 0;   // by the sender
        double senderCpuSeconds = 0;       // while sending
    };

    explicit BareRun(BareSender::Plan plan);

    // False with failure() when the sender could not start or not every frame arrived.
    bool run();
    const Results& results() const { return m_results; }
    const std::string& failure() const { return m_failure; }

private:
    struct Reader
    {
        explicit Reader(boost::asio::io_context& io) : socket(io) {}
        boost::asio::ip::tcp::socket socket;
        std::array<char, 4096> buffer{};
    };

    // The sender's child process: writes its port, then its figures, to the pipe.
    [[noreturn]] void runSender(int pipeOut);
    bool readLine(int pipeIn, std::string& line);
    bool connectReaders(std::uint16_t port);
    void readNext(Reader& reader);

    BareSender::Plan m_plan;
    Results m_results;
    std::string m_failure;
    boost::asio::io_context m_io{1};
    std::vector<std::unique_ptr<Reader>> m_readers;
    std::uint64_t m_bytesRead = 0;
    std::size_t m_open = 0;
};

} // namespace quorix::loadgen
