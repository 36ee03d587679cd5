#include "bench/service/loadresults.h"

#include <algorithm>
#include <sstream>

namespace quorix::loadgen {

void LoadResults::addFinalTotal(std::uint64_t total)
{
    if (finalSessions++ == 0)
        finalTotal = total;
    else if (total != finalTotal)
        finalTotalsDiffer = true;
}

std::string resultsToText(const LoadResults& results)
{
    std::ostringstream text;
    text.precision(17);
    text << "welcomed " << results.welcomed << "\nsent " << results.votesSent << "\naccepted "
         << results.accepted << "\nseconds " << results.votingSeconds << "\nbroadcasts "
         << results.broadcastsReceived << ' ' << results.broadcastBytes << "\nfinal " << results.finalSessions
         << ' ' << results.finalTotal << ' ' << (results.finalTotalsDiffer ? 1 : 0) << "\nlatency "
         << results.latencies.toText() << "\nanswers " << results.answerLatencies.toText() << '\n';
    for (const auto& [code, count] : results.refusedByCode)
        text << "refused " << code << ' ' << count << '\n';
    return text.str();
}

bool resultsFromText(const std::string& text, LoadResults& results)
{
    LoadResults read;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string name;
        in >> name;
        bool ok = true;
        if (name == "welcomed")
            ok = bool(in >> read.welcomed);
        else if (name == "sent")
            ok = bool(in >> read.votesSent);
        else if (name == "accepted")
            ok = bool(in >> read.accepted);
        else if (name == "seconds")
            ok = bool(in >> read.votingSeconds);
        else if (name == "broadcasts")
            ok = bool(in >> read.broadcastsReceived >> read.broadcastBytes);
        else if (name == "final")
            ok = bool(in >> read.finalSessions >> read.finalTotal >> read.finalTotalsDiffer);
        else if (name == "latency")
            ok = read.latencies.fromText(line.substr(std::min(line.size(), name.size() + 1)));
        else if (name == "answers")
            ok = read.answerLatencies.fromText(line.substr(std::min(line.size(), name.size() + 1)));
        else if (name == "refused") {
            std::uint32_t code = 0;
            std::uint64_t count = 0;
            ok = bool(in >> code >> count);
            read.refusedByCode[code] += count;
        } else
            ok = false;
        if (!ok)
            return false;
    }
    results = std::move(read);
    return true;
}

void mergeResults(LoadResults& into, const LoadResults& part)
{
    into.welcomed += part.welcomed;
    into.votesSent += part.votesSent;
    into.accepted += part.accepted;
    for (const auto& [code, count] : part.refusedByCode)
        into.refusedByCode[code] += count;
    into.votingSeconds = std::max(into.votingSeconds, part.votingSeconds);
    into.latencies.merge(part.latencies);
    into.answerLatencies.merge(part.answerLatencies);
    into.broadcastsReceived += part.broadcastsReceived;
    into.broadcastBytes += part.broadcastBytes;
    if (part.finalSessions == 0)
        return;
    const bool differ = into.finalSessions != 0 && part.finalTotal != into.finalTotal;
    if (into.finalSessions == 0)
        into.finalTotal = part.finalTotal;
    into.finalSessions += part.finalSessions;
    into.finalTotalsDiffer = into.finalTotalsDiffer || part.finalTotalsDiffer || differ;
}

} // namespace quorix::loadgen
