#include "voteservice/server/keygenrequest.h"

#include <CLI/CLI.hpp>

namespace quorix::service {

void KeygenRequest::addOptionsTo(CLI::App& command)
{
    command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    command
        .add_option(
            "--out-private", privateKeyFile,
            "write the new private key to FILE (PEM, mode 0600; an existing file is not written over)")
        ->type_name("FILE")
        ->required();
    command
        .add_option("--out-jwks", jwksFile,
                    "add the new public key to the JWK Set in FILE (created when missing), for --keys")
        ->type_name("FILE")
        ->required();
}

} // namespace quorix::service
