#include "redisoptions.h"

#include "secretfile.h"

#include <CLI/CLI.hpp>

namespace quorix::service {

CLI::Option* RedisOptions::addTo(CLI::App& app, RedisAddress& address, const std::string& what)
{
    CLI::Option* place = app.add_option_function<std::string>(
                                "--redis",
                                [&address](const std::string& text) {
                                    std::string error;
                                    if (!RedisAddress::parse("--redis", text, address, error))
                                        throw CLI::ValidationError(error);
                                },
                                what)
                             ->type_name("HOST:PORT|tls://HOST:PORT|unix:PATH");
    app.add_option("--redis-user", address.user,
                   "log in to Redis as this ACL user (with --redis-password-file)")
        ->type_name("NAME")
        ->needs(place);
    app.add_option_function<std::string>(
           "--redis-password-file",
           [&address](const std::string& path) {
               std::string password, error;
               if (!SecretFile::read(path, password, error, "Redis password"))
                   throw CLI::ValidationError(error);
               address.password = password;
           },
           "send AUTH with the password in FILE (16 to 4096 bytes) on every connection to Redis")
        ->type_name("FILE")
        ->needs(place);
    app.add_option("--redis-ca-file", address.caFile,
                   "with tls://: trust the Redis certificate signed by a CA in FILE (PEM; default: the "
                   "system's CAs)")
        ->type_name("FILE")
        ->needs(place);
    CLI::Option* certificate =
        app.add_option("--redis-cert", address.certificateFile,
                       "with tls://: show Redis the client certificate chain in FILE (PEM)")
            ->type_name("FILE")
            ->needs(place);
    CLI::Option* key = app.add_option("--redis-key", address.keyFile,
                                      "the private key of --redis-cert (PEM, without a pass phrase)")
                           ->type_name("FILE")
                           ->needs(place);
    certificate->needs(key);
    key->needs(certificate);
    return place;
}

} // namespace quorix::service
