// Writes the seed inputs of every fuzz target from the hand-written wire vectors, the shipped
// layouts and a few automation commands:  quorix-fuzz-seeds <corpus root>
// Seeds are named "seed-…"; inputs the fuzzer added later keep their hash names.

#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/wirejson.h>
#include "tests/support/wirevectors.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quorix;
using wirevectors::WireVector;

fs::path root;

void write(const std::string& target, const std::string& name, const std::string& bytes)
{
    const fs::path dir = root / target;
    fs::create_directories(dir);
    std::ofstream(dir / ("seed-" + name), std::ios::binary) << bytes;
}

std::string u8(unsigned v)
{
    return std::string(1, char(v));
}

std::string u16(unsigned v)
{
    return u8(v & 0xff) + u8((v >> 8) & 0xff);
}

std::string u32(std::uint32_t v)
{
    return u16(v & 0xffff) + u16(v >> 16);
}

std::string body(const WireVector& v)
{
    return wirevectors::fromHex(v.hex);
}

// Index of each message body's decoder in the records target.
const std::map<std::uint32_t, unsigned> kRecordIndexByMinType = {
    {1, 9},   {3, 10},  {5, 11},  {7, 12},  {11, 13}, {13, 14}, {15, 15}, {17, 16}, {28, 16},
    {25, 17}, {31, 18}, {33, 19}, {2, 20},  {4, 20},  {6, 21},  {8, 21},  {12, 21}, {34, 21},
    {14, 22}, {18, 23}, {26, 24}, {27, 25}, {29, 26}, {30, 27}, {32, 28}, {16, 3},
};

void recordSeeds()
{
    for (const WireVector& v : wirevectors::all())
        write("fuzz_records", v.name, u8(kRecordIndexByMinType.at(v.minType)) + body(v));
    write("fuzz_records", "VoteInfo", u8(0) + mpak::encode(wirevectors::sampleVote()));
    write("fuzz_records", "JudgeInfo", u8(1) + mpak::encode(wirevectors::sampleVote().judges.at(700)));
    write("fuzz_records", "VoteHistoryRecord", u8(2) + mpak::encode(wirevectors::sampleHistory()));
    write("fuzz_records", "VoteList", u8(4) + mpak::encode(VoteList{wirevectors::sampleVote(), VoteInfo{}}));
    write("fuzz_records", "HistoryRecords",
          u8(5) + mpak::encode(HistoryRecords{{3, wirevectors::sampleHistory()}}));
    write("fuzz_records", "TextMap", u8(6) + mpak::encode(TextMap{{1, "a"}, {2, "bc"}}));
    write("fuzz_records", "U32Map", u8(7) + mpak::encode(U32Map{{1, 2}, {3, 4}}));
    write("fuzz_records", "ExtendMap", u8(8) + mpak::encode(ExtendMap{{"k", "v"}}));
    write("fuzz_records", "PHello",
          u8(29) + mpak::encode(service::PHello{1000, 5000, "nick", 255, 10, 20, "t"}));
    write("fuzz_records", "PWelcome", u8(30) + mpak::encode(service::PWelcome{0, "welcome"}));
    write("fuzz_records", "PMove", u8(31) + mpak::encode(service::PMove{21}));
    write("fuzz_records", "frame", u8(0xff) + wirevectors::frameOf(wirevectors::byMinType(27)));
}

void frameSeeds()
{
    for (const WireVector& v : wirevectors::all())
        write("fuzz_frameprotocol", v.name, wirevectors::frameOf(v));
    // A failed create answer opens the warning box; an ended broadcast reaches the other handler.
    write("fuzz_frameprotocol", "create-failed",
          mpak::encodeFrame(kVoteMajorType, 2, mpak::encode(PCreateVoteRes{5, 0, {}})));
    PBroadcastVote ended;
    ended.status = kVoteEnded;
    ended.vote = wirevectors::sampleVote();
    write("fuzz_frameprotocol", "broadcast-ended",
          mpak::encodeFrame(kVoteMajorType, 27, mpak::encode(ended)));
}

// ---- whole add-on inputs (addon_fuzz.cpp) ----

std::string framed(const std::string& frame)
{
    return u16(unsigned(frame.size())) + frame;
}

void addonSeeds()
{
    for (const WireVector& v : wirevectors::all()) {
        write("fuzz_addon", std::string("owner-") + v.name, u8(0) + framed(wirevectors::frameOf(v)));
        write("fuzz_addon", std::string("viewer-") + v.name, u8(1) + framed(wirevectors::frameOf(v)));
    }
    // A vote's life as a viewer sees it: the list, the start, the ticket state, the end.
    PBroadcastVote started;
    started.status = kVoteStarted;
    started.remainSeconds = 30;
    started.jiFangId = 99;
    for (std::uint32_t type : {kNormalVote, kGroupVote, kJudgeVote}) {
        started.vote = wirevectors::sampleVote();
        started.vote.voteType = type;
        PBroadcastVote ended = started;
        ended.status = kVoteEnded;
        const std::string life = framed(wirevectors::frameOf(wirevectors::byMinType(30))) +
                                 framed(mpak::encodeFrame(kVoteMajorType, 27, mpak::encode(started))) +
                                 framed(wirevectors::frameOf(wirevectors::byMinType(16))) +
                                 framed(mpak::encodeFrame(kVoteMajorType, 27, mpak::encode(ended)));
        write("fuzz_addon", "owner-life-" + std::to_string(type), u8(0) + life);
        write("fuzz_addon", "viewer-life-" + std::to_string(type), u8(1) + life);
    }
}

// ---- service core scripts (servicecore_fuzz.cpp) ----

std::string openSession(unsigned id, unsigned user, unsigned roleIndex)
{
    // op 0, id, uid, imid, nick, role, channel, sub-channel
    return u8(0) + u8(id) + u8(user) + u8(user) + u16(4) + "nick" + u8(roleIndex) + u8(0) + u8(0);
}

std::string request(unsigned id, std::uint32_t minType, const std::string& body)
{
    return u8(3) + u8(id) + u8(minType) + u16(unsigned(body.size())) + body;
}

std::string tick(unsigned seconds)
{
    return u8(5) + u8(0) + u16(seconds) + u8(1);
}

VoteInfo normalVote()
{
    VoteInfo vote;
    vote.name = "Q1";
    vote.limitTime = 60;
    vote.voteType = kNormalVote;
    vote.limits = {{kTicketsPerUser, 2}, {kTicketsPerOption, 1}};
    vote.options = {{1, "A"}, {2, "B"}};
    return vote;
}

void coreSeeds()
{
    const std::string manager = openSession(0, 0, 0);
    for (const WireVector& v : wirevectors::all())
        write("fuzz_servicecore", v.name, manager + request(0, v.minType, body(v)) + tick(1));
    // A whole vote: create (id 1), start, a viewer's ticket and state, the end, the history.
    std::string flow = manager + openSession(1, 1, 6);
    flow += request(0, VOTE_SYSTEM_CREATE_VOTE_REQ, mpak::encode(PCreateVoteReq{10, 20, normalVote(), {}}));
    flow += request(0, VOTE_SYSTEM_START_VOTE_REQ, mpak::encode(PStartVoteReq{10, 20, 1, 1000, {}}));
    flow +=
        request(1, VOTE_SYSTEM_USER_VOTE_REQ, mpak::encode(PUserVoteReq{10, 20, 1, 0, 1, 1001, 1, 1, {}}));
    flow += request(1, VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                    mpak::encode(PUserVoteStateReq{10, 20, 1, 0, 1, 1001, {}, {}}));
    flow += tick(1);
    flow += request(0, VOTE_SYSTEM_END_VOTE_REQ, mpak::encode(PEndVoteReq{10, 20, 1, 0, 1, {}}));
    flow +=
        request(0, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, mpak::encode(PQueryVoteHisRecordReq{10, 20, {}}));
    write("fuzz_servicecore", "flow", flow);
    std::string timeout = manager;
    timeout +=
        request(0, VOTE_SYSTEM_CREATE_VOTE_REQ, mpak::encode(PCreateVoteReq{10, 20, normalVote(), {}}));
    timeout += request(0, VOTE_SYSTEM_START_VOTE_REQ, mpak::encode(PStartVoteReq{10, 20, 1, 1000, {}}));
    timeout += tick(61) + u8(1) + u8(0) + u8(1) + u8(2) + u8(0);
    write("fuzz_servicecore", "timeout-move-close", timeout);
}

// ---- service stream scripts (servicestream_fuzz.cpp) ----

std::string streamFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload)
{
    const std::string frame = mpak::encodeFrame(maxType, minType, payload);
    return u32(std::uint32_t(frame.size())) + frame;
}

std::string clientWrites(unsigned client, const std::string& bytes)
{
    return u8(1) + u8(client) + u16(unsigned(bytes.size())) + bytes;
}

void streamSeeds()
{
    const std::string hello = streamFrame(service::kControlMajorType, service::kControlHello,
                                          mpak::encode(service::PHello{1000, 5000, "nick", 255, 10, 20, ""}));
    const std::string connected = u8(0) + u8(0) + clientWrites(0, hello);
    for (const WireVector& v : wirevectors::all())
        write("fuzz_servicestream", v.name,
              connected + clientWrites(0, streamFrame(kVoteMajorType, v.minType, body(v))));
    std::string two =
        connected + u8(0) +
        clientWrites(1, streamFrame(service::kControlMajorType, service::kControlHello,
                                    mpak::encode(service::PHello{1001, 5001, "v", 20, 10, 20, ""})));
    two += clientWrites(
        0, streamFrame(kVoteMajorType, 1, mpak::encode(PCreateVoteReq{10, 20, normalVote(), {}})) +
               streamFrame(kVoteMajorType, 5, mpak::encode(PStartVoteReq{10, 20, 1, 1000, {}})));
    two += clientWrites(
        1, streamFrame(kVoteMajorType, 13, mpak::encode(PUserVoteReq{10, 20, 1, 0, 1, 1001, 1, 1, {}})));
    two += clientWrites(
        1, streamFrame(service::kControlMajorType, service::kControlMove, mpak::encode(service::PMove{21})));
    two += u8(3) + u16(100) + u8(2) + u8(0);
    write("fuzz_servicestream", "two-clients", two);
    write("fuzz_servicestream", "token", u8(1) + connected);
    write("fuzz_servicestream", "no-hello",
          u8(0) + u8(0) + clientWrites(0, streamFrame(kVoteMajorType, 28, "")));
    write("fuzz_servicestream", "bad-length", u8(0) + u8(0) + clientWrites(0, u32(9) + "123456789"));
}

// ---- damaged databases (sqlitestore_fuzz.cpp) ----

std::string storeRequest(unsigned session, std::uint32_t minType, const std::string& body)
{
    return u8(session) + u8(minType) + u16(unsigned(body.size())) + body;
}

// A row value of the column's usual kind (kind byte below 0xc0), then its bytes.
std::string usual(const std::string& bytes = {})
{
    return u8(0) + bytes;
}

std::string counted(const std::string& bytes)
{
    return u16(unsigned(bytes.size())) + bytes;
}

// A row value from the target's table of extreme integers (3: the largest 64-bit number, 4: the
// largest 32-bit one).
std::string extreme(unsigned index)
{
    return u8(0xc4) + counted("") + u8(index);
}

void storeSeeds()
{
    // The seeded open vote is vote 1 in 10/20, started with these numbers.
    const std::uint32_t jiFangId = 1'800'000'000 - 10;
    std::string requests = storeRequest(0, 28, mpak::encode(PQueryAllVoteReq{10, 20, {}}));
    requests += storeRequest(1, 13, mpak::encode(PUserVoteReq{10, 20, 1, 0, jiFangId, 1001, 2, 1, {}}));
    requests += storeRequest(1, 15, mpak::encode(PUserVoteStateReq{10, 20, 1, 0, jiFangId, 1001, {}, {}}));
    requests += storeRequest(0, 7, mpak::encode(PEndVoteReq{10, 20, 1, 0, jiFangId, {}}));
    requests += storeRequest(0, 17, mpak::encode(PQueryVoteHisRecordReq{10, 20, {}}));
    requests += storeRequest(1, 31, body(wirevectors::byMinType(31)));
    write("fuzz_sqlitestore", "intact", u8(0) + u8(0) + requests);
    // Overwritten: the header's page size and page count, a page's b-tree header, record bytes.
    const std::pair<std::uint32_t, std::string> patches[] = {{16, std::string("\x00\x01", 2)},
                                                             {28, std::string("\xff\xff\xff\xff", 4)},
                                                             {512, std::string("\x0d\xff\xff", 3)},
                                                             {1100, "\xff\xff\xff\xff\xff\xff\xff\xff"}};
    for (const auto& [offset, bytes] : patches)
        write("fuzz_sqlitestore", "patch-" + std::to_string(offset),
              u8(0) + u8(1) + u8(0) + u32(offset) + counted(bytes) + requests);
    VoteInfo tooLong = normalVote();
    tooLong.limitTime = 100000;
    const std::string vote = counted(mpak::encode(normalVote()));
    write("fuzz_sqlitestore", "row-vote",
          u8(1) + u8(1) + u8(0) + usual() + usual() + usual(u16(9)) + usual(vote) + requests);
    write("fuzz_sqlitestore", "row-open-vote",
          u8(1) + u8(1) + u8(3) + usual() + u8(2) + usual(u16(5)) + usual(u16(5)) + usual(counted("nick")) +
              usual(u16(1)) + usual(counted(mpak::encode(tooLong))) + requests);
    // Tickets of u32 max on the running vote; a started_at of the largest 64-bit number.
    write("fuzz_sqlitestore", "row-ballot-extreme",
          u8(1) + u8(2) + u8(4) + usual() + usual() + usual(u16(1001)) + usual(u16(1)) + extreme(4) + u8(3) +
              usual() + usual() + usual(u16(7)) + extreme(3) + usual(counted("n")) + usual(u16(1)) +
              usual(vote) + requests);
    write("fuzz_sqlitestore", "row-history",
          u8(1) + u8(1) + u8(1) + usual(u16(2)) + usual() + usual() + usual(u16(60)) +
              usual(counted(mpak::encode(wirevectors::sampleHistory()))) + requests);
    write("fuzz_sqlitestore", "row-counter",
          u8(1) + u8(1) + u8(5) + usual(counted("vote_id")) + extreme(4) +
              storeRequest(0, 1, mpak::encode(PCreateVoteReq{10, 20, normalVote(), {}})));
}

// ---- layouts, automation commands, quorix-wire ----

// The shipped layouts are large and slow to build; their element blocks at one nesting level,
// each in a window of its own, make small seeds that still carry every class and attribute used.
std::vector<std::string> layoutBlocks(const std::string& xml)
{
    const std::string indent(8, ' ');
    std::vector<std::string> blocks;
    std::istringstream lines(xml);
    std::string block;
    for (std::string line; std::getline(lines, line);) {
        const bool atLevel = line.size() > indent.size() + 1 && line.compare(0, indent.size(), indent) == 0 &&
                             line[indent.size()] == '<';
        const bool opens = atLevel && line[indent.size() + 1] != '/';
        if (block.empty() && !opens)
            continue;
        const bool selfClosing = block.empty() && line.find("/>") != std::string::npos;
        block += line + "\n";
        if (selfClosing || (atLevel && !opens)) {
            blocks.push_back(block);
            block.clear();
        }
    }
    return blocks;
}

void layoutSeeds(const fs::path& layoutDir)
{
    for (const auto& entry : fs::directory_iterator(layoutDir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = entry.path().stem().string();
        write("fuzz_layout", name + ".xml", xml);
        int n = 0;
        for (const std::string& block : layoutBlocks(xml))
            if (block.size() <= 3500)
                write("fuzz_layout", name + "-" + std::to_string(n++) + ".xml",
                      "<xmlui><PaneFrameWindow objectName=\"w\" fixSize=\"400,300\"><PaneWidget "
                      "layout=\"VBox\">\n" +
                          block + "</PaneWidget></PaneFrameWindow></xmlui>\n");
    }
}

void automationSeeds()
{
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"state", R"({"cmd":"state","id":1})"},
        {"windows", R"({"cmd":"windows"})"},
        {"text-plain", R"({"cmd":"text","window":"Plain","widget":"edit"})"},
        {"settext-scene", R"({"cmd":"setText","window":"Scene","widget":"root/edit","text":"abc"})"},
        {"click-scene", R"({"cmd":"click","window":"sceneWnd","widget":"button"})"},
        {"click-indexed", R"({"cmd":"click","window":"plainWnd","widget":"button[0]"})"},
        {"hover", R"({"cmd":"hover","window":"Plain","widget":"check"})"},
        {"select", R"({"cmd":"select","window":"Scene","widget":"combo","index":1})"},
        {"select-plain", R"({"cmd":"select","window":"Plain","widget":"combo","index":7})"},
        {"check", R"({"cmd":"check","window":"Scene","widget":"check","checked":true})"},
        {"subchannel", R"({"command":"subchannel","id":21})"},
        {"activate", R"({"cmd":"activate","active":false})"},
        {"addon-quit", "{\"cmd\":\"addon\"}\n{\"cmd\":\"quit\",\"id\":\"x\"}"},
        {"unknown", R"({"cmd":"nothing","id":[1,{"a":null}]})"},
        {"not-object", "[1,2,3]"},
    };
    for (const auto& [name, line] : lines)
        write("fuzz_automation", name, line);
}

void wireJsonSeeds()
{
    for (const WireVector& v : wirevectors::all()) {
        const std::string frame = wirevectors::frameOf(v);
        write("fuzz_wirejson", std::string("frame-") + v.name, u8(1) + frame);
        write("fuzz_wirejson", std::string("json-") + v.name,
              u8(0) + JsonText::write(WireJson::decodeFrame(frame)));
    }
    write("fuzz_wirejson", "json-escapes",
          u8(0) + R"({"a":"\u00e9\ud83d\ude00\n","b":[-1.5e3,true,false,null],"c":{}})");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: quorix-fuzz-seeds <corpus root>\n";
        return 2;
    }
    root = argv[1];
    recordSeeds();
    frameSeeds();
    addonSeeds();
    coreSeeds();
    streamSeeds();
    storeSeeds();
    layoutSeeds(QUORIX_LAYOUT_SOURCE_DIR);
    automationSeeds();
    wireJsonSeeds();
    return 0;
}
