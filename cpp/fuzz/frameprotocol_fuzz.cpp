// The add-on's receiving side: a frame arriving on the service connection goes through the
// service link's frame reader and the protocol's dispatch of every minor type, on the real bridges
// over the fake host. The application is not started, so decoded messages stop at the dispatch
// observer, which records the handler each message was meant for; the handler must be the one of
// the frame's minor type.

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/entuserinteface.h"
#include "tests/support/fakehost.h"
#include "panemessagebox.h"
#include "src/quorixapp/quorixprotocol.h"
#include <quorix/protocol/serviceframe.h>

#include <QApplication>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace quorix;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "frame protocol fuzz: %s\n", what);
    std::abort();
}

// Handlers a message of each minor type may reach; other minor types reach none.
const std::map<std::uint32_t, std::set<std::string>>& handlersByMinorType()
{
    static const std::map<std::uint32_t, std::set<std::string>> handlers = {
        {VOTE_SYSTEM_CREATE_VOTE_RES, {"onResCreateVote"}},
        {VOTE_SYSTEM_UPDATE_VOTE_RES, {"onResUpdateVote"}},
        {VOTE_SYSTEM_START_VOTE_RES, {"onResStartVote"}},
        {VOTE_SYSTEM_END_VOTE_RES, {"onResEndVote"}},
        {VOTE_SYSTEM_USER_VOTE_RES, {"onResUserVote"}},
        {VOTE_SYSTEM_USER_VOTE_STATE_RES, {"onResUserVoteState"}},
        {VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, {"onResQueryVoteHisRecord"}},
        {VOTE_SYSTEM_BROADCAST_VOTE, {"onBroadcastVoteStart", "onBroadcastVoteEnd"}},
        {VOTE_SYSTEM_QUERY_ALL_VOTE_RES, {"onResQueryAllVote"}},
        {VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, {"onResBroadCastChannelVote"}},
        {VOTE_SYSTEM_QUERY_NICKNAME_RES, {"onResQueryNickname"}},
        {VOTE_SYSTEM_CLOSE_VOTEUI_RES, {"onResCloseVoteUi"}},
    };
    return handlers;
}

// The add-on's bridges and protocol on a fake host, built once for the whole run.
struct AddonSide
{
    AddonSide()
    {
        host.setConnectionsReady(true);
        host.channel().setChannelId(10);
        host.channel().setSubChannelId(20);
        host.channel().myRow().setUInt32(L"dwUid", 1000);
        service.init(comptr<IComponentRoot>(host.root()));
        channel.init(comptr<IComponentRoot>(host.root()));
        user.init(comptr<IComponentRoot>(host.root()));
        if (host.lastConnection() == nullptr || service.connectionId() == EntServiceInterface::kNoConnection)
            fault("the service link did not open its connection");
        protocol.init(&service, &channel, &user);
        protocol.setDispatchObserver([this](const char* handler) { handed.push_back(handler); });
    }

    FakeHost host;
    EntServiceInterface service;
    EntChannelInterface channel;
    EntUserInterface user;
    QuorixProtocol protocol;
    std::vector<std::string> handed;
};

AddonSide* side = nullptr;

void closeFailureBoxes()
{
    while (PaneMessageBox* box = PaneMessageBox::lastBox()) {
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void checkDispatch(const std::string& frame)
{
    std::uint32_t maxType = 0;
    std::uint32_t minType = 0;
    try {
        const mpak::ServiceFrame decoded = mpak::decodeFrame(frame);
        maxType = decoded.maxType;
        minType = decoded.minType;
    } catch (const mpak::UnpackError&) {
        if (!side->handed.empty())
            fault("a malformed frame reached a handler");
        return;
    }
    if (side->handed.size() > 1)
        fault("one frame reached more than one handler");
    if (side->handed.empty())
        return;
    const auto& table = handlersByMinorType();
    const auto allowed = table.find(minType);
    if (maxType != kVoteMajorType || allowed == table.end() ||
        allowed->second.count(side->handed.front()) == 0)
        fault("a frame reached the handler of another message");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FENBASE_LOG_LEVEL", "0", 0);
    // Qt's warnings about the offscreen platform would flood the fuzzer's output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QApplication(*argc, *argv);
    side = new AddonSide;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string frame(reinterpret_cast<const char*>(data), size);
    side->handed.clear();
    side->host.lastConnection()->deliver(side->service.connectionId(), frame);
    checkDispatch(frame);
    closeFailureBoxes();
    return 0;
}
