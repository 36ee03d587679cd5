#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/entuserinteface.h"
#include "tests/support/fakehost.h"
#include "logcapture.h"
#include "panemessagebox.h"
#include "src/quorixapp/quorixprotocol.h"
#include <quorix/protocol/serviceframe.h>
#include "tests/support/wirevectors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quorix;
using wirevectors::fromHex;

const char* const kProtocolFile = "cpp/src/quorixapp/quorixprotocol";

// The protocol on real bridges over a fake host: channel 10, sub-channel 20, user 1000, with a
// connection open. Requests are read back from the frames the host was given; answers and pushes
// are delivered as frames on the connection.
class ProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.setConnectionsReady(true);
        host.channel().setChannelId(10);
        host.channel().setSubChannelId(20);
        host.channel().myRow().setUInt32(L"dwUid", 1000);
        service->init(comptr<IComponentRoot>(host.root()));
        channel->init(comptr<IComponentRoot>(host.root()));
        user->init(comptr<IComponentRoot>(host.root()));
        ASSERT_NE(nullptr, host.lastConnection());
        ASSERT_NE(EntServiceInterface::kNoConnection, service->connectionId());
        protocol.init(service.get(), channel.get(), user.get());
        protocol.setDispatchObserver([this](const char* handler) { handed.push_back(handler); });
        closeBoxes();
    }

    void TearDown() override { closeBoxes(); }

    static void closeBoxes()
    {
        while (PaneMessageBox* box = PaneMessageBox::lastBox()) {
            box->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // The frames sent since the last call.
    std::vector<mpak::ServiceFrame> takeSent()
    {
        std::vector<mpak::ServiceFrame> frames;
        for (const auto& [connection, bytes] : host.lastConnection()->sent()) {
            EXPECT_EQ(service->connectionId(), connection);
            frames.push_back(mpak::decodeFrame(bytes));
        }
        host.lastConnection()->clearSent();
        return frames;
    }

    void deliver(quint32 maxType, quint32 minType, const std::string& body)
    {
        host.lastConnection()->deliver(service->connectionId(), mpak::encodeFrame(maxType, minType, body));
    }

    std::vector<fenbase::LogRecord> protocolRecords() const
    {
        std::vector<fenbase::LogRecord> out;
        for (const fenbase::LogRecord& r : capture.records())
            if (r.file == kProtocolFile)
                out.push_back(r);
        return out;
    }

    FakeHost host;
    std::unique_ptr<EntServiceInterface> service = std::make_unique<EntServiceInterface>();
    std::unique_ptr<EntChannelInterface> channel = std::make_unique<EntChannelInterface>();
    std::unique_ptr<EntUserInterface> user = std::make_unique<EntUserInterface>();
    QuorixProtocol protocol;
    std::vector<std::string> handed;
    fenbase::LogCapture capture;
};

// ---- requests -----------------------------------------------------------------------------------

TEST_F(ProtocolTest, EveryRequestSendsItsHandWrittenBody)
{
    const struct
    {
        std::uint32_t minType;
        std::function<void(QuorixProtocol&)> call;
    } cases[] = {
        {VOTE_SYSTEM_CREATE_VOTE_REQ, [](QuorixProtocol& p) { p.reqCreateVote(wirevectors::sampleVote()); }},
        {VOTE_SYSTEM_UPDATE_VOTE_REQ, [](QuorixProtocol& p) { p.reqUpdateVote(wirevectors::sampleVote()); }},
        {VOTE_SYSTEM_START_VOTE_REQ, [](QuorixProtocol& p) { p.reqStartVote(7); }},
        {VOTE_SYSTEM_END_VOTE_REQ, [](QuorixProtocol& p) { p.reqEndVote(12, 34); }},
        {VOTE_SYSTEM_DELETE_VOTE_REQ, [](QuorixProtocol& p) { p.reqDeleteVote(7, kJudgeVote); }},
        {VOTE_SYSTEM_USER_VOTE_REQ, [](QuorixProtocol& p) { p.reqUserVote(3, 1, 99, 7, kNormalVote); }},
        {VOTE_SYSTEM_USER_VOTE_STATE_REQ, [](QuorixProtocol& p) { p.reqUserVoteState(7, kGroupVote, 99); }},
        {VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, [](QuorixProtocol& p) { p.reqQueryVoteHisRecord(); }},
        {VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ,
         [](QuorixProtocol& p) {
             p.reqBatchDeleteVote(QMap<quint32, quint32>{{8, kJudgeVote}, {7, kNormalVote}});
         }},
        {VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, [](QuorixProtocol& p) { p.reqQueryAllVote(); }},
        {VOTE_SYSTEM_QUERY_NICKNAME_REQ, [](QuorixProtocol& p) { p.reqQueryNickname(1234); }},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ, [](QuorixProtocol& p) { p.reqCloseVote(7, 99); }},
    };
    for (const auto& c : cases) {
        const wirevectors::WireVector& v = wirevectors::byMinType(c.minType);
        SCOPED_TRACE(v.name);
        c.call(protocol);
        const std::vector<mpak::ServiceFrame> sent = takeSent();
        ASSERT_EQ(1u, sent.size());
        EXPECT_EQ(2500u, sent[0].maxType);
        EXPECT_EQ(c.minType, sent[0].minType);
        EXPECT_EQ(wirevectors::toHex(fromHex(v.hex)), wirevectors::toHex(sent[0].payload));
    }
}

TEST_F(ProtocolTest, ChannelAndUserAreReadAfreshForEveryRequest)
{
    protocol.reqStartVote(7);
    host.channel().setSubChannelId(21);
    protocol.reqStartVote(7);
    const std::vector<mpak::ServiceFrame> sent = takeSent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(fromHex("0a000000 14000000"), sent[0].payload.substr(0, 8));
    EXPECT_EQ(fromHex("0a000000 15000000"), sent[1].payload.substr(0, 8));
}

TEST_F(ProtocolTest, RequestTraceLines)
{
    const struct
    {
        std::function<void(QuorixProtocol&)> call;
        const char* function;
        const char* text;
    } cases[] = {
        {[](QuorixProtocol& p) { p.reqStartVote(7); }, "QuorixProtocol::reqStartVote",
         "reqStartVote voteId is 7"},
        {[](QuorixProtocol& p) { p.reqEndVote(4000000000u, 1); }, "QuorixProtocol::reqEndVote",
         "reqEndVote voteId is 4000000000"},
        {[](QuorixProtocol& p) { p.reqDeleteVote(7, 2); }, "QuorixProtocol::reqDeleteVote",
         "voteId is 7 and voteType is 2"},
        {[](QuorixProtocol& p) {
             p.reqBatchDeleteVote(QMap<quint32, quint32>{{1, 0}, {2, 1}, {3, 2}});
         },
         "QuorixProtocol::reqBatchDeleteVote", "the size of Id_Type is 3"},
        {[](QuorixProtocol& p) { p.reqCloseVote(7, 99); }, "QuorixProtocol::reqCloseVote",
         "reqCloseVote voteId is 7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        capture.clear();
        c.call(protocol);
        const std::vector<fenbase::LogRecord> records = protocolRecords();
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(2, records[0].level);
        EXPECT_EQ("KQuorix", records[0].module);
        EXPECT_EQ(c.function, records[0].function);
        EXPECT_EQ(c.text, records[0].text);
    }

    capture.clear();
    protocol.reqCreateVote(VoteInfo());
    protocol.reqUserVote(1, 1, 1, 1, 0);
    protocol.reqQueryNickname(1);
    EXPECT_TRUE(protocolRecords().empty()) << "these requests are sent without a trace line";
}

TEST_F(ProtocolTest, WithoutServiceLinkRequestsAreDroppedWithALogLine)
{
    service.reset();
    protocol.reqQueryAllVote();
    const std::vector<fenbase::LogRecord> records = protocolRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(1, records[0].level);
    EXPECT_EQ("QuorixProtocol::sendData", records[0].function);
    EXPECT_EQ("m_pServiceInterface is null. send fail", records[0].text);
    EXPECT_TRUE(host.lastConnection()->sent().empty());
}

// A text too long for its length field, or a body too long for the frame, must not throw into
// the UI slot that asked: the request is dropped with a level-1 line and nothing is sent.
TEST_F(ProtocolTest, UnencodableRequestsAreDroppedNotThrown)
{
    VoteInfo longName;
    longName.name = std::string(65536, 'n');
    VoteInfo longBody;
    longBody.options = {{0, std::string(40000, 'a')}, {1, std::string(40000, 'b')}};
    for (const VoteInfo& vote : {longName, longBody}) {
        capture.clear();
        EXPECT_NO_THROW(protocol.reqCreateVote(vote));
        EXPECT_NO_THROW(protocol.reqUpdateVote(vote));
        EXPECT_TRUE(host.lastConnection()->sent().empty());
        bool logged = false;
        for (const fenbase::LogRecord& r : capture.records())
            logged = logged || (r.level == 1 && r.text.find("too big") != std::string::npos);
        EXPECT_TRUE(logged);
    }
}

// ---- answers and pushes -------------------------------------------------------------------------

std::string startAnswer(std::uint32_t result)
{
    PStartVoteRes res;
    res.result = result;
    res.voteId = 7;
    res.jiFangId = 99;
    return mpak::encode(res);
}

std::string createAnswer(std::uint32_t result)
{
    PCreateVoteRes res;
    res.result = result;
    res.voteId = 7;
    return mpak::encode(res);
}

std::string broadcast(std::uint32_t status)
{
    PBroadcastVote b;
    b.status = status;
    b.vote.voteId = 7;
    return mpak::encode(b);
}

// `body` with its leading u32 (the result) replaced.
std::string resultFirst(std::uint32_t result, const std::string& body)
{
    mpak::PackBuffer buffer;
    mpak::Pack pack(buffer);
    pack.push_uint32(result);
    return pack.str() + body.substr(4);
}

TEST_F(ProtocolTest, IgnoredMessagesWriteNothingAndCallNothing)
{
    const struct
    {
        quint32 maxType;
        quint32 minType;
    } cases[] = {{2501, 2},  {0, 6},    {2500, 9},  {2500, 10}, {2500, 19},
                 {2500, 24}, {2500, 1}, {2500, 35}, {2500, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.maxType) + "/" + std::to_string(c.minType));
        deliver(c.maxType, c.minType, startAnswer(0));
    }
    EXPECT_TRUE(protocolRecords().empty());
    EXPECT_TRUE(handed.empty());
    EXPECT_EQ(nullptr, PaneMessageBox::lastBox());
}

// One row per result: what the protocol writes at level 1 (beyond the arrival line), whether
// the warning box appears with the code, and which controller handler, if any, gets the body.
// The hand-written body of a message without its last byte.
std::string cutShort(quint32 minType)
{
    const std::string whole = fromHex(wirevectors::byMinType(minType).hex);
    return whole.substr(0, whole.size() - 1);
}

TEST_F(ProtocolTest, ResultTables)
{
    const struct
    {
        quint32 minType;
        std::string body;
        const char* failureText; // level 1, or nullptr
        bool box;
        const char* handler; // or nullptr
    } cases[] = {
        {2, createAnswer(0), nullptr, false, "onResCreateVote"},
        {2, createAnswer(3), "request create vote fail!! ", true, nullptr},
        {4, createAnswer(0), nullptr, false, "onResUpdateVote"},
        {4, createAnswer(5), "resUpdateVoteRes fail!! ", true, nullptr},
        {6, startAnswer(0), nullptr, false, "onResStartVote"},
        {6, startAnswer(1), "START_VOTE_DB_ERROR!! ", true, nullptr},
        {6, startAnswer(2), "START_VOTE_NOT_EXIST!! ", true, nullptr},
        {6, startAnswer(3), "START_VOTE_REDIS_ERROR!! ", true, nullptr},
        {6, startAnswer(4), "START_VOTE_OTHER_STARTED!! ", true, nullptr},
        {6, startAnswer(5), "START_VOTE_WEBDB_ERR!! ", true, nullptr},
        {6, startAnswer(6), "START_VOTE_NO_AUTh!! ", true, nullptr},
        {6, startAnswer(9), "UNKNOWN ERROR!! ", false, nullptr},
        {8, startAnswer(0), nullptr, false, "onResEndVote"},
        {8, startAnswer(1), "END_VOTE_DB_ERROR!! ", false, nullptr},
        {8, startAnswer(2), "END_VOTE_REDIS_ERROR!! ", false, nullptr},
        {8, startAnswer(3), "END_VOTE_NOT_EXIST!! ", false, nullptr},
        {8, startAnswer(4), "END_VOTE_SERVER_DOWN!! ", false, nullptr},
        {8, startAnswer(5), "UNKNOWN ERROR!! ", false, nullptr},
        {12, startAnswer(1), nullptr, false, nullptr},
        {14, resultFirst(5, fromHex(wirevectors::byMinType(14).hex)),
         "VOTE_SYSTEM_USER_VOTE_RES msg result  5", false, "onResUserVote"},
        {16, fromHex(wirevectors::byMinType(16).hex), nullptr, false, "onResUserVoteState"},
        {18, fromHex(wirevectors::byMinType(18).hex), nullptr, false, "onResQueryVoteHisRecord"},
        {18, resultFirst(2, fromHex(wirevectors::byMinType(18).hex)), "request query vote histrory fail!! ",
         false, nullptr},
        {26, fromHex(wirevectors::byMinType(26).hex), nullptr, false, nullptr},
        {27, broadcast(0), nullptr, false, "onBroadcastVoteStart"},
        {27, broadcast(1), nullptr, false, "onBroadcastVoteEnd"},
        {27, broadcast(2), "UNKNOWN VOTE STATUE!! ", false, nullptr},
        {29, fromHex(wirevectors::byMinType(29).hex), nullptr, false, "onResQueryAllVote"},
        {29, resultFirst(1, fromHex(wirevectors::byMinType(29).hex)), "request query vote histrory fail!! ",
         false, nullptr},
        {30, fromHex(wirevectors::byMinType(30).hex), nullptr, false, "onResBroadCastChannelVote"},
        {32, fromHex(wirevectors::byMinType(32).hex), nullptr, false, "onResQueryNickname"},
        {34, startAnswer(3), nullptr, false, "onResCloseVoteUi"},
        // Lists cut short would replace what the stores hold with less: dropped.
        {18, cutShort(18), "message 18 does not decode completely: dropped", false, nullptr},
        {29, cutShort(29), "message 29 does not decode completely: dropped", false, nullptr},
        {30, cutShort(30), "message 30 does not decode completely: dropped", false, nullptr},
    };
    for (const auto& c : cases) {
        const std::string name = wirevectors::byMinType(c.minType).name;
        SCOPED_TRACE(name + (c.failureText != nullptr ? std::string(" / ") + c.failureText : std::string()));
        capture.clear();
        handed.clear();
        deliver(2500, c.minType, c.body);

        std::vector<std::string> level1;
        std::string arrivalFunction;
        for (const fenbase::LogRecord& r : protocolRecords())
            if (r.level == 1) {
                arrivalFunction = level1.empty() ? r.function : arrivalFunction;
                level1.push_back(r.text);
            }
        ASSERT_FALSE(level1.empty());
        EXPECT_EQ(name + " msg has recieved", level1[0]);
        EXPECT_EQ("QuorixProtocol::onDataArrivedSlot", arrivalFunction);
        if (c.failureText != nullptr)
            EXPECT_EQ((std::vector<std::string>{level1[0], c.failureText}), level1);
        else
            EXPECT_EQ(1u, level1.size());

        EXPECT_EQ(c.handler != nullptr ? std::vector<std::string>{c.handler} : std::vector<std::string>{},
                  handed);

        QPointer<PaneMessageBox> box = PaneMessageBox::lastBox();
        EXPECT_EQ(c.box, !box.isNull());
        if (box) {
            EXPECT_TRUE(box->isVisible());
            EXPECT_FALSE(box->isModal());
            EXPECT_EQ(nullptr, box->parentWidget());
            EXPECT_EQ(QString::fromUtf8("投票提示"), box->windowTitle());
            const std::string code = std::to_string(mpak::Unpack(c.body).pop_uint32());
            EXPECT_EQ(QString::fromUtf8("操作失败，请稍后重新尝试（%1）").arg(QString::fromStdString(code)),
                      box->text());
            EXPECT_EQ(QMessageBox::Ok, box->standardButtons());
            EXPECT_EQ(nullptr, box->defaultButton());
            closeBoxes();
        }
    }
}

TEST_F(ProtocolTest, AnswerTraceLines)
{
    deliver(2500, 6, startAnswer(4));
    deliver(2500, 8, startAnswer(2));
    deliver(2500, 27, broadcast(1));
    std::vector<std::string> level2;
    for (const fenbase::LogRecord& r : protocolRecords())
        if (r.level == 2)
            level2.push_back(r.text);
    EXPECT_EQ((std::vector<std::string>{"recieve PStartVoteRes,result is 4 and vote_id is 7",
                                        "recieve PEndVoteRes,result is 2 and vote_id is 7",
                                        "recieve PBroadcastVote, vote statue is 1and vote id is 7"}),
              level2);
}

TEST_F(ProtocolTest, ShortStartAnswerIsHandledAsSuccess)
{
    deliver(2500, 6, fromHex("00000000 05000000"));
    EXPECT_EQ(std::vector<std::string>{"onResStartVote"}, handed);
    EXPECT_TRUE(capture.contains("recieve PStartVoteRes,result is 0 and vote_id is 0"));

    handed.clear();
    deliver(2500, 27, std::string());
    EXPECT_EQ(std::vector<std::string>{"onBroadcastVoteStart"}, handed)
        << "an empty broadcast reads as status 0";
}

TEST_F(ProtocolTest, SecondInitDoesNotConnectTwice)
{
    protocol.init(service.get(), channel.get(), user.get());
    deliver(2500, 6, startAnswer(0));
    EXPECT_EQ(std::vector<std::string>{"onResStartVote"}, handed);
    EXPECT_EQ(1, capture.count("VOTE_SYSTEM_START_VOTE_RES msg has recieved"));
}

TEST_F(ProtocolTest, HostileBodiesAreSurvived)
{
    const std::string all = fromHex(wirevectors::byMinType(29).hex);
    for (std::size_t n = 0; n <= all.size(); n += 7)
        EXPECT_NO_THROW(deliver(2500, 29, all.substr(0, n)));
    EXPECT_NO_THROW(deliver(2500, 18, fromHex("00000000 00000000 00000000 ffffffff")));
    EXPECT_NO_THROW(deliver(2500, 16, std::string(300, '\xff')));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
