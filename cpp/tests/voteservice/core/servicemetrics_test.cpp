#include "voteservice/core/servicemetrics.h"
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quorix::service::test {
namespace {

constexpr std::int64_t kStarted = 1796677200;

TEST(ServiceMetricsTest, EventsLandInTheirSeries)
{
    ServiceMetrics metrics(kStarted);
    metrics.sessionOpened(Transport::Tcp);
    metrics.sessionOpened(Transport::Tcp);
    metrics.sessionClosed(Transport::Tcp);
    metrics.sessionOpened(Transport::WebSocket);
    metrics.bytesSent(Transport::Tcp, 10);
    metrics.bytesSent(Transport::Tcp, 5);
    metrics.bytesSent(Transport::Sse, 7);
    metrics.requestAnswered(VOTE_SYSTEM_USER_VOTE_REQ, 0);
    metrics.requestAnswered(VOTE_SYSTEM_USER_VOTE_REQ, 0);
    metrics.requestAnswered(VOTE_SYSTEM_USER_VOTE_REQ, 11);
    metrics.requestAnswered(VOTE_SYSTEM_START_VOTE_REQ, 4000); // past the known codes
    metrics.requestAnswered(9000, 0);                          // not a request type
    metrics.voteAccepted();
    metrics.broadcastSent();
    metrics.broadcastSent();
    metrics.fanoutPlanned(10, 300);
    metrics.fanoutPlanned(4, 50000); // the latest plan holds
    metrics.floodRefused();
    metrics.outputQueueCut();
    metrics.addressLimitRefused(Transport::Http);
    metrics.addressLimitRefused(Transport::Http);
    const std::string text = metrics.exposition();

    const struct
    {
        const char* series;
        double value;
    } rows[] = {
        {R"(quorix_sessions{transport="tcp"})", 1},
        {R"(quorix_sessions{transport="websocket"})", 1},
        {R"(quorix_sessions{transport="sse"})", 0},
        {R"(quorix_sessions{transport="http"})", 0},
        {R"(quorix_bytes_sent_total{transport="tcp"})", 15},
        {R"(quorix_bytes_sent_total{transport="sse"})", 7},
        {R"(quorix_bytes_sent_total{transport="websocket"})", 0},
        {R"(quorix_requests_total{message="vote",result="0"})", 2},
        {R"(quorix_requests_total{message="vote",result="11"})", 1},
        {R"(quorix_requests_total{message="start",result="other"})", 1},
        {R"(quorix_requests_total{message="other",result="0"})", 1},
        {"quorix_votes_accepted_total", 1},
        {"quorix_broadcasts_total", 2},
        {"quorix_broadcast_hz_lowest", 4},
        {"quorix_fanout_frames_per_second", 50000},
        {"quorix_flood_refusals_total", 1},
        {"quorix_output_queues_cut_total", 1},
        {R"(quorix_address_limit_refusals_total{transport="http"})", 2},
        {R"(quorix_address_limit_refusals_total{transport="tcp"})", 0},
        {"quorix_storage_commit_seconds_count", 0},
        {"process_start_time_seconds", double(kStarted)},
    };
    for (const auto& row : rows)
        EXPECT_EQ(metricSample(text, row.series), std::optional<double>(row.value)) << row.series;
    // Pairs that never happened are not exposed as zeros.
    EXPECT_FALSE(metricSample(text, R"(quorix_requests_total{message="vote",result="12"})"));
}

// Dashboards select requests by these labels: each request's stays as it is.
TEST(ServiceMetricsTest, EveryRequestCountsUnderItsLabel)
{
    const struct
    {
        std::uint32_t minType;
        const char* label;
    } rows[] = {
        {VOTE_SYSTEM_CREATE_VOTE_REQ, "create"},
        {VOTE_SYSTEM_UPDATE_VOTE_REQ, "update"},
        {VOTE_SYSTEM_START_VOTE_REQ, "start"},
        {VOTE_SYSTEM_END_VOTE_REQ, "end"},
        {VOTE_SYSTEM_DELETE_VOTE_REQ, "delete"},
        {VOTE_SYSTEM_USER_VOTE_REQ, "vote"},
        {VOTE_SYSTEM_USER_VOTE_STATE_REQ, "ticket_state"},
        {VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, "history"},
        {VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, "batch_delete"},
        {VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, "query_all"},
        {VOTE_SYSTEM_QUERY_NICKNAME_REQ, "nickname"},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ, "close"},
        {VOTE_SYSTEM_BROADCAST_VOTE, "other"}, // a push, never a request
    };
    for (const auto& row : rows) {
        ServiceMetrics metrics(kStarted);
        metrics.requestAnswered(row.minType, 0);
        const std::string series =
            std::string("quorix_requests_total{message=\"") + row.label + "\",result=\"0\"}";
        EXPECT_EQ(metricSample(metrics.exposition(), series), std::optional<double>(1)) << row.label;
    }
}

TEST(ServiceMetricsTest, EveryFamilyHasHelpAndType)
{
    ServiceMetrics metrics(kStarted);
    metrics.requestAnswered(VOTE_SYSTEM_CREATE_VOTE_REQ, 0);
    const std::string text = metrics.exposition();
    const struct
    {
        const char* name;
        const char* type;
    } families[] = {
        {"quorix_sessions", "gauge"},
        {"quorix_bytes_sent_total", "counter"},
        {"quorix_requests_total", "counter"},
        {"quorix_votes_accepted_total", "counter"},
        {"quorix_broadcasts_total", "counter"},
        {"quorix_flood_refusals_total", "counter"},
        {"quorix_output_queues_cut_total", "counter"},
        {"quorix_address_limit_refusals_total", "counter"},
        {"quorix_storage_commit_seconds", "histogram"},
        {"process_start_time_seconds", "gauge"},
        {"quorix_broadcast_hz_lowest", "gauge"},
        {"quorix_fanout_frames_per_second", "gauge"},
    };
    for (const auto& family : families) {
        EXPECT_NE(text.find(std::string("\n# TYPE ") + family.name + " " + family.type + "\n"),
                  std::string::npos)
            << family.name;
        EXPECT_NE(text.find(std::string("# HELP ") + family.name + " "), std::string::npos) << family.name;
    }
}

// The bucket rows of a histogram in the order exposed, as (le, count).
std::vector<std::pair<std::string, double>> buckets(const std::string& text, const std::string& name)
{
    std::vector<std::pair<std::string, double>> rows;
    std::istringstream lines(text);
    const std::string prefix = name + "_bucket{le=\"";
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::size_t end = line.find("\"}", prefix.size());
        rows.emplace_back(line.substr(prefix.size(), end - prefix.size()), std::stod(line.substr(end + 3)));
    }
    return rows;
}

TEST(ServiceMetricsTest, HistogramBucketsAreCumulativeAndEndAtInfinity)
{
    ServiceMetrics metrics(kStarted);
    for (double seconds : {0.0002, 0.003, 0.003, 0.04, 2.0})
        metrics.storageCommitted(seconds);
    const std::string text = metrics.exposition();
    const auto rows = buckets(text, "quorix_storage_commit_seconds");
    ASSERT_GE(rows.size(), 2u);
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i].second, rows[i - 1].second) << "bucket le=" << rows[i].first;
    EXPECT_EQ(rows.back(), (std::pair<std::string, double>("+Inf", 5)));
    const struct
    {
        const char* series;
        double value;
    } expected[] = {
        {R"(quorix_storage_commit_seconds_bucket{le="0.00025"})", 1},
        {R"(quorix_storage_commit_seconds_bucket{le="0.0025"})", 1},
        {R"(quorix_storage_commit_seconds_bucket{le="0.005"})", 3},
        {R"(quorix_storage_commit_seconds_bucket{le="0.05"})", 4},
        {R"(quorix_storage_commit_seconds_bucket{le="1"})", 4},
        {"quorix_storage_commit_seconds_count", 5},
    };
    for (const auto& row : expected)
        EXPECT_EQ(metricSample(text, row.series), std::optional<double>(row.value)) << row.series;
    EXPECT_NEAR(metricSample(text, "quorix_storage_commit_seconds_sum").value_or(0), 2.0462, 1e-9);
}

TEST(ServiceMetricsTest, RedisRoundTripsAppearOnlyOnceTracked)
{
    ServiceMetrics metrics(kStarted);
    metrics.redisRoundTrip(0.001);
    EXPECT_EQ(metrics.exposition().find("quorix_redis_roundtrip_seconds"), std::string::npos);
    metrics.trackRedisRoundTrips();
    metrics.redisRoundTrip(0.0003);
    metrics.redisRoundTrip(0.02);
    const std::string text = metrics.exposition();
    EXPECT_NE(text.find("# TYPE quorix_redis_roundtrip_seconds histogram"), std::string::npos);
    EXPECT_EQ(metricSample(text, "quorix_redis_roundtrip_seconds_count"), std::optional<double>(2));
    EXPECT_EQ(metricSample(text, R"(quorix_redis_roundtrip_seconds_bucket{le="0.0005"})"),
              std::optional<double>(1));
}

} // namespace
} // namespace quorix::service::test
