#pragma once

// The TLS setup of quorix-voted's listeners: a server certificate chain and its private key from PEM
// files, TLS 1.2 or newer only.

#include <boost/asio/ssl/context.hpp>

#include <memory>
#include <string>

namespace quorix::service {

class TlsServerContext
{
public:
    // Null with a one-line reason when a file cannot be read, holds no certificate or key, or the
    // key does not belong to the certificate.
    static std::shared_ptr<boost::asio::ssl::context> load(const std::string& certificateFile,
                                                           const std::string& keyFile, std::string& error);
};

} // namespace quorix::service
