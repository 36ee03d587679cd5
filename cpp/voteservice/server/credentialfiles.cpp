#include "credentialfiles.h"

#include "tlsservercontext.h"

namespace quorix::service {

bool CredentialFiles::readKeys(const ServerOptions& options, CredentialFiles& out, std::string& error)
{
    if (!options.secretFile.empty() || !options.keysFile.empty()) {
        if (!KeySet::load(options.secretFile, options.keysFile, out.keys, error))
            return false;
    } else if (options.secret) {
        out.keys = KeySet::fromSecret(*options.secret);
    }
    if (!options.signingKeyFile.empty()) {
        out.signer = TokenSigner::withPrivateKeyFile(options.signingKeyFile, error);
        return out.signer.has_value();
    }
    if (const KeySet::Key* secret = out.keys ? out.keys->find("") : nullptr)
        out.signer = TokenSigner::withSecret(secret->material);
    return true;
}

bool CredentialFiles::read(const ServerOptions& options, CredentialFiles& out, std::string& error)
{
    if (!readKeys(options, out, error))
        return false;
    if (options.tlsCertificateFile.empty())
        return true;
    out.tls = TlsServerContext::load(options.tlsCertificateFile, options.tlsKeyFile, error);
    return out.tls != nullptr;
}

} // namespace quorix::service
