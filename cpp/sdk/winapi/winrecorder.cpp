#include "winrecorder.h"

namespace winapi {

namespace {

std::vector<FlashRecord>& flashes()
{
    static std::vector<FlashRecord> records;
    return records;
}

std::vector<TopMostRecord>& topMosts()
{
    static std::vector<TopMostRecord> records;
    return records;
}

} // namespace

std::vector<FlashRecord> flashRecords()
{
    return flashes();
}

std::vector<TopMostRecord> topMostRecords()
{
    return topMosts();
}

void clearWindowRecords()
{
    flashes().clear();
    topMosts().clear();
}

void recordFlash(const FlashRecord& record)
{
    flashes().push_back(record);
}

void recordTopMost(const TopMostRecord& record)
{
    topMosts().push_back(record);
}

} // namespace winapi
