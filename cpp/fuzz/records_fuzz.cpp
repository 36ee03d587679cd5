// Record and message decoders: every byte string either fails cleanly with UnpackError or decodes
// to a value whose encoding decodes back to the same value. The re-encoding is never longer than
// the bytes read (maps drop repeated keys and sort the rest) and encodes to itself byte for byte.
// The first input byte chooses the type, the rest is its wire form.

#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace quorix;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "records fuzz: %s\n", what);
    std::abort();
}

// Containers decode whole or not at all; records keep the fields read before a failure.
template <class T> constexpr bool kWholeOrNothing = false;
template <class T> constexpr bool kWholeOrNothing<std::vector<T>> = true;
template <class K, class V> constexpr bool kWholeOrNothing<std::map<K, V>> = true;

template <class T> void roundTrip(const std::string& data)
{
    T first{};
    mpak::Unpack up(data);
    try {
        up >> first;
    } catch (const mpak::UnpackError&) {
        if (kWholeOrNothing<T> && up.size() != data.size())
            fault("a failed container decode moved the read position");
        return;
    }
    const std::size_t consumed = data.size() - up.size();
    const std::string again = mpak::encode(first);
    if (again.size() > consumed)
        fault("re-encoding is longer than the bytes decoded");
    T second{};
    mpak::Unpack check(again);
    try {
        check >> second;
    } catch (const mpak::UnpackError&) {
        fault("re-encoded bytes do not decode");
    }
    if (!check.empty())
        fault("re-encoded bytes decode without being used up");
    if (!(second == first))
        fault("re-encoded bytes decode to another value");
    if (mpak::encode(second) != again)
        fault("encoding is not stable");
}

template <class T> void partialDecode(const std::string& data)
{
    T message{};
    mpak::decode(data, message);
}

using Handler = void (*)(const std::string&);

const Handler kHandlers[] = {
    roundTrip<VoteInfo>,
    roundTrip<JudgeInfo>,
    roundTrip<VoteHistoryRecord>,
    roundTrip<UserTicketInfo>,
    roundTrip<VoteList>,
    roundTrip<HistoryRecords>,
    roundTrip<TextMap>,
    roundTrip<U32Map>,
    roundTrip<ExtendMap>,
    roundTrip<PCreateVoteReq>,
    roundTrip<PUpdateVoteReq>,
    roundTrip<PStartVoteReq>,
    roundTrip<PEndVoteReq>,
    roundTrip<PDeleteVoteReq>,
    roundTrip<PUserVoteReq>,
    roundTrip<PUserVoteStateReq>,
    roundTrip<PQueryVoteHisRecordReq>,
    roundTrip<PBatchDeleteVoteReq>,
    roundTrip<PQueryNicknameReq>,
    roundTrip<PCloseVoteReq>,
    roundTrip<PCreateVoteRes>,
    roundTrip<PStartVoteRes>,
    roundTrip<PUserVoteRes>,
    roundTrip<PQueryVoteHisRecordRes>,
    roundTrip<PBatchDeleteVoteRes>,
    roundTrip<PBroadcastVote>,
    roundTrip<PQueryAllVoteRes>,
    roundTrip<PBroadcastChannelVote>,
    roundTrip<PQueryNicknameRes>,
    roundTrip<service::PHello>,
    roundTrip<service::PWelcome>,
    roundTrip<service::PMove>,
    partialDecode<PBroadcastVote>,
    partialDecode<UserTicketInfo>,
};

void frame(const std::string& data)
{
    try {
        const mpak::ServiceFrame decoded = mpak::decodeFrame(data);
        if (decoded.payload.size() + mpak::kFrameHeaderSize > data.size())
            fault("frame payload longer than the frame");
        const std::string again = mpak::encodeFrame(decoded.maxType, decoded.minType, decoded.payload);
        if (data.compare(0, again.size(), again) != 0)
            fault("frame does not re-encode to its own bytes");
    } catch (const mpak::UnpackError&) {
        if (data.size() >= mpak::kFrameHeaderSize &&
            data.size() - mpak::kFrameHeaderSize >=
                std::size_t(std::uint8_t(data[8]) | (std::uint8_t(data[9]) << 8)))
            fault("a complete frame was refused");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    constexpr std::size_t kCount = sizeof(kHandlers) / sizeof(kHandlers[0]);
    if (data[0] == 0xff)
        frame(body);
    else
        kHandlers[data[0] % kCount](body);
    return 0;
}
