// quorix-loadgen run as a user runs it, small: the viewers split over generator processes and the
// sessions over nodes sharing a Redis, then the same workload against a bare redis-server, the
// service's frames again from the bare sender, and web viewers. What is checked is the counting
// (every vote accepted once, the same final total in every session, every frame delivered), not
// any timing.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

struct Ran
{
    int status = -1;
    std::string out;
};

Ran runLoadgen(const std::string& args)
{
    const std::string out = ::testing::TempDir() + "/loadgenrun-test.out";
    const int status =
        std::system((std::string(QUORIX_LOADGEN_PATH) + " " + args + " >" + out + " 2>/dev/null").c_str());
    std::ostringstream text;
    text << std::ifstream(out).rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

TEST(LoadgenRunTest, SplitRunsAndThePeerCountEveryVoteOnce)
{
    if (std::system("command -v redis-server >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "redis-server is not installed (scripts/setup installs it)";
    const Ran ran = runLoadgen(
        "--sessions 61 --votes-per-viewer 2 --rate 0 --processes 3 --nodes 2 --source-addresses 3");
    ASSERT_EQ(ran.status, 0) << ran.out;
    for (const char* line :
         {"votes sent / accepted       120 / 120", "generator processes         3, 3 source addresses",
          "final broadcast total       120 tickets read by 61 of 61 sessions (the same on every node"})
        EXPECT_NE(ran.out.find(line), std::string::npos) << line << "\n" << ran.out;

    const Ran peer = runLoadgen("--sessions 30 --votes-per-viewer 3 --rate 0 --peer redis");
    ASSERT_EQ(peer.status, 0) << peer.out;
    EXPECT_NE(peer.out.find("87 of 87 votes accepted"), std::string::npos) << peer.out;
    EXPECT_NE(peer.out.find("last message's total 87 read by 30 sessions (every vote counted once)"),
              std::string::npos)
        << peer.out;
}

TEST(LoadgenRunTest, TheBareSenderDeliversAsManyFramesAndWebViewersReadTheVote)
{
    const Ran bare = runLoadgen("--sessions 30 --votes-per-viewer 3 --rate 300 --peer bare");
    ASSERT_EQ(bare.status, 0) << bare.out;
    std::smatch service, sender;
    ASSERT_TRUE(std::regex_search(bare.out, service, std::regex("vote broadcasts received +([0-9]+) ")));
    ASSERT_TRUE(std::regex_search(bare.out, sender,
                                  std::regex("bare sender +30 sessions, ([0-9]+) frames of [1-9]")));
    // Whole rounds to every session: the service's count rounded to a multiple of the sessions.
    const long frames = std::stol(service[1]);
    EXPECT_EQ(std::stol(sender[1]), std::max(1L, (frames + 15) / 30) * 30) << bare.out;
    EXPECT_TRUE(std::regex_search(
        bare.out,
        std::regex("per delivered frame: service [0-9.]+ µs, bare sender [0-9.]+ µs, ratio [0-9.]+\n")))
        << bare.out;

    const Ran web = runLoadgen("--sessions 30 --votes-per-viewer 1 --rate 0 --web-viewers 5");
    ASSERT_EQ(web.status, 0) << web.out;
    std::smatch viewers;
    ASSERT_TRUE(std::regex_search(web.out, viewers,
                                  std::regex("5 connected: .* 5 /session viewers ([0-9]+) messages")))
        << web.out;
    EXPECT_GE(std::stol(viewers[1]), 5) << "the start, at least, to each viewer";
}

} // namespace
