#include "bench/service/barerun.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quorix::loadgen {

namespace asio = boost::asio;

BareRun::BareRun(BareSender::Plan plan) : m_plan(plan) {}

bool BareRun::run()
{
    int fds[2];
    if (::pipe(fds) != 0) {
        m_failure = "no pipe for the bare sender";
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        m_failure = "could not start the bare sender";
        return false;
    }
    if (child == 0) {
        ::close(fds[0]);
        runSender(fds[1]);
    }
    ::close(fds[1]);
    std::string line;
    unsigned port = 0;
    bool ok = readLine(fds[0], line) && std::sscanf(line.c_str(), "port %u", &port) == 1 && port != 0 &&
              connectReaders(static_cast<std::uint16_t>(port));
    if (!ok)
        ::kill(child, SIGTERM);
    else {
        m_io.run();
        unsigned long long written = 0;
        double cpu = 0;
        ok = readLine(fds[0], line) && std::sscanf(line.c_str(), "sent %llu %lf", &written, &cpu) == 2;
        m_results.framesWritten = written;
        m_results.senderCpuSeconds = cpu;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    m_results.framesDelivered = m_plan.frameBytes == 0 ? 0 : m_bytesRead / m_plan.frameBytes;
    const std::uint64_t planned = m_plan.sessions * m_plan.ticks;
    if (!ok && m_failure.empty())
        m_failure = "the bare sender failed";
    if (!m_failure.empty())
        return false;
    if (m_results.framesWritten != planned || m_results.framesDelivered != planned) {
        m_failure = "the bare sender wrote " + std::to_string(m_results.framesWritten) +
                    " and the sessions read " + std::to_string(m_results.framesDelivered) + " of " +
                    std::to_string(planned) + " frames";
        return false;
    }
    return true;
}

void BareRun::runSender(int pipeOut)
{
    asio::io_context io(1);
    BareSender sender(io, m_plan);
    const std::uint16_t port = sender.listen();
    const std::string hello = "port " + std::to_string(port) + "\n";
    bool ok = port != 0 && ::write(pipeOut, hello.data(), hello.size()) == ssize_t(hello.size());
    ok = ok && sender.run();
    char figures[96];
    const int n =
        std::snprintf(figures, sizeof figures, "sent %llu %.6f\n",
                      static_cast<unsigned long long>(sender.framesWritten()), sender.sendingCpuSeconds());
    ok = ::write(pipeOut, figures, std::size_t(n)) == n && ok;
    ::_exit(ok ? 0 : 1);
}

bool BareRun::readLine(int pipeIn, std::string& line)
{
    line.clear();
    char c = 0;
    while (line.size() < 256) {
        if (::read(pipeIn, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}

bool BareRun::connectReaders(std::uint16_t port)
{
    const asio::ip::tcp::endpoint sender(asio::ip::address_v4::loopback(), port);
    for (std::size_t i = 0; i < m_plan.sessions; ++i) {
        auto reader = std::make_unique<Reader>(m_io);
        boost::system::error_code ec;
        reader->socket.connect(sender, ec);
        if (ec) {
            m_failure =
                "session " + std::to_string(i) + " could not connect to the bare sender: " + ec.message();
            return false;
        }
        m_readers.push_back(std::move(reader));
    }
    m_open = m_readers.size();
    for (const auto& reader : m_readers)
        readNext(*reader);
    return true;
}

void BareRun::readNext(Reader& reader)
{
    reader.socket.async_read_some(asio::buffer(reader.buffer),
                                  [this, &reader](const boost::system::error_code& ec, std::size_t n) {
                                      m_bytesRead += n;
                                      if (!ec)
                                          return readNext(reader);
                                      // The sender shuts every connection down once all is written.
                                      if (--m_open == 0)
                                          m_io.stop();
                                  });
}

} // namespace quorix::loadgen
