#include "voteservice/server/tlsservercontext.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorix::service {

namespace ssl = boost::asio::ssl;

namespace {

// The system's reason when the file cannot be opened for reading; empty when it can.
std::string unreadableReason(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::strerror(errno);
    std::fclose(file);
    return {};
}

// OpenSSL's first reason for the failure, without its error-queue codes.
std::string openSslReason()
{
    const unsigned long code = ERR_peek_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : "not a PEM file";
}

EVP_PKEY* readPrivateKey(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    // No pass phrase: a protected key is refused instead of asking on the terminal.
    pem_password_cb* noPassPhrase = [](char*, int, int, void*) { return 0; };
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, noPassPhrase, nullptr);
    std::fclose(file);
    return key;
}

} // namespace

std::shared_ptr<ssl::context> TlsServerContext::load(const std::string& certificateFile,
                                                     const std::string& keyFile, std::string& error)
{
    for (const std::string* path : {&certificateFile, &keyFile}) {
        const std::string reason = unreadableReason(*path);
        if (!reason.empty()) {
            error = "cannot read the TLS " + std::string(path == &keyFile ? "key" : "certificate") +
                    " file " + *path + ": " + reason;
            return nullptr;
        }
    }
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    SSL_CTX* native = context->native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION);
    // Idle sessions hand their record buffers back instead of keeping 2 x 16 KiB each.
    SSL_CTX_set_mode(native, SSL_MODE_RELEASE_BUFFERS);
    ERR_clear_error();
    if (SSL_CTX_use_certificate_chain_file(native, certificateFile.c_str()) != 1) {
        error = "the TLS certificate file " + certificateFile +
                " holds no usable certificate: " + openSslReason();
        return nullptr;
    }
    const std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(readPrivateKey(keyFile), EVP_PKEY_free);
    if (!key) {
        error = "the TLS key file " + keyFile + " holds no usable private key: " + openSslReason();
        return nullptr;
    }
    // Taking the key checks it against the certificate.
    if (SSL_CTX_use_PrivateKey(native, key.get()) != 1 || SSL_CTX_check_private_key(native) != 1) {
        ERR_clear_error();
        error = "the TLS key in " + keyFile + " does not belong to the certificate in " + certificateFile;
        return nullptr;
    }
    return context;
}

} // namespace quorix::service
