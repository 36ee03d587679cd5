#include "voteservice/server/optionchanges.h"

namespace quorix::service {

namespace {

// Takes `reread` into `running` when it differs, noting "NAME OLD → NEW".
template <typename T>
void take(const char* name, T& running, const T& reread, std::vector<std::string>& applied)
{
    if (running == reread)
        return;
    applied.push_back(std::string(name) + " " + std::to_string(running) + " → " + std::to_string(reread));
    running = reread;
}

void takePath(const char* name, std::string& running, const std::string& reread,
              std::vector<std::string>& applied)
{
    if (running == reread)
        return;
    applied.push_back(std::string(name) + " " + running + " → " + reread);
    running = reread;
}

void noteRestart(const char* name, bool differs, std::vector<std::string>& needRestart)
{
    if (differs)
        needRestart.push_back(name);
}

void takeCredentialPaths(ServerOptions& running, const ServerOptions& reread, OptionChanges& changes)
{
    if (running.checksTokens() == reread.checksTokens()) {
        takePath("secret-file", running.secretFile, reread.secretFile, changes.applied);
        running.secret = reread.secret;
        takePath("keys", running.keysFile, reread.keysFile, changes.applied);
        takePath("signing-key", running.signingKeyFile, reread.signingKeyFile, changes.applied);
    } else {
        changes.needRestart.push_back("secret-file/keys (token checks on or off)");
    }
    if (running.tlsCertificateFile.empty() == reread.tlsCertificateFile.empty()) {
        takePath("tls-cert", running.tlsCertificateFile, reread.tlsCertificateFile, changes.applied);
        takePath("tls-key", running.tlsKeyFile, reread.tlsKeyFile, changes.applied);
    } else {
        changes.needRestart.push_back("tls-cert/tls-key (TLS on or off)");
    }
}

void noteRestartOnly(const ServerOptions& running, const ServerOptions& reread,
                     std::vector<std::string>& needRestart)
{
    noteRestart("listen", running.host != reread.host || running.port != reread.port, needRestart);
    noteRestart("data", running.dataDir != reread.dataDir, needRestart);
    noteRestart("memory", running.memoryOnly != reread.memoryOnly, needRestart);
    noteRestart("redis",
                running.redis != reread.redis || running.redisAllowEviction != reread.redisAllowEviction ||
                    running.redisMinReplicas != reread.redisMinReplicas,
                needRestart);
    noteRestart("redis-cluster", running.redisCluster != reread.redisCluster, needRestart);
    noteRestart("http", running.httpHost != reread.httpHost || running.httpPort != reread.httpPort,
                needRestart);
    noteRestart("web-root", running.webRoot != reread.webRoot, needRestart);
    noteRestart("time-zone", running.timeZone != reread.timeZone, needRestart);
    noteRestart("audit-log", running.auditLog != reread.auditLog, needRestart);
    noteRestart("broadcast-hz", running.broadcastHz != reread.broadcastHz, needRestart);
    noteRestart("allowed-origin", running.allowedOrigins != reread.allowedOrigins, needRestart);
    noteRestart("metrics-allow", running.metricsAllow != reread.metricsAllow, needRestart);
    noteRestart("max-token-lifetime", running.maxTokenLifetime != reread.maxTokenLifetime, needRestart);
    noteRestart("accept-legacy-tokens", running.acceptLegacyTokens != reread.acceptLegacyTokens, needRestart);
    noteRestart("insecure-no-auth", running.insecureNoAuth != reread.insecureNoAuth, needRestart);
    noteRestart("drain-timeout", running.drainTimeoutSeconds != reread.drainTimeoutSeconds, needRestart);
    noteRestart("webhook",
                running.webhookUrl != reread.webhookUrl || running.webhookSecret != reread.webhookSecret,
                needRestart);
    noteRestart("webhook-allow-http", running.webhookAllowHttp != reread.webhookAllowHttp, needRestart);
    noteRestart("webhook-queue-limit", running.webhookQueueLimit != reread.webhookQueueLimit, needRestart);
    noteRestart("webhook-ca-file", running.webhookCaFile != reread.webhookCaFile, needRestart);
}

} // namespace

OptionChanges OptionChanges::apply(ServerOptions& running, const ServerOptions& reread)
{
    OptionChanges changes;
    take("requests-per-second", running.requestsPerSecond, reread.requestsPerSecond, changes.applied);
    take("request-burst", running.requestBurst, reread.requestBurst, changes.applied);
    take("fanout-budget", running.fanoutBudget, reread.fanoutBudget, changes.applied);
    take("answer-hold-ms", running.answerHoldMs, reread.answerHoldMs, changes.applied);
    take("max-sessions", running.maxSessions, reread.maxSessions, changes.applied);
    take("max-sessions-per-user", running.maxSessionsPerUser, reread.maxSessionsPerUser, changes.applied);
    take("http-max-connections", running.httpMaxConnections, reread.httpMaxConnections, changes.applied);
    take("max-connections-per-address", running.maxConnectionsPerAddress, reread.maxConnectionsPerAddress,
         changes.applied);
    take("max-new-connections-per-address-per-second", running.maxNewConnectionsPerAddressPerSecond,
         reread.maxNewConnectionsPerAddressPerSecond, changes.applied);
    takePath("log-level", running.logLevel, reread.logLevel, changes.applied);
    takeCredentialPaths(running, reread, changes);
    noteRestartOnly(running, reread, changes.needRestart);
    return changes;
}

} // namespace quorix::service
