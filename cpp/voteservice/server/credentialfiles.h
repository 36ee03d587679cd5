#pragma once

// What the service's token checks and TLS rest on, read from the files the options name: once at
// start and again on every SIGHUP, where a file that does not parse leaves everything as it was.

#include "keyset.h"
#include "serveroptions.h"
#include "tokensigner.h"

#include <boost/asio/ssl/context.hpp>

#include <memory>
#include <optional>
#include <string>

namespace quorix::service {

struct CredentialFiles
{
    std::shared_ptr<const KeySet> keys; // null: tokens are not checked
    std::optional<TokenSigner> signer;  // --signing-key, else the secret; none: web tokens cannot be signed
    std::shared_ptr<boost::asio::ssl::context> tls; // null: plain TCP

    // The keys of --secret-file and --keys (a secret given without its file, as tests do, as it is)
    // and the signer. False with a one-line message naming the file and what is wrong.
    static bool readKeys(const ServerOptions& options, CredentialFiles& out, std::string& error);
    // The keys and the TLS certificate and key.
    static bool read(const ServerOptions& options, CredentialFiles& out, std::string& error);
};

} // namespace quorix::service
