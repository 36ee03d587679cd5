#pragma once

// What the window calls did, so tests can see calls that leave no other visible trace.

#include "winapi.h"

#include <vector>

namespace winapi {

struct FlashRecord
{
    QWidget* window = nullptr;
    DWORD flags = 0;
    UINT count = 0;
    DWORD timeout = 0;
};

struct TopMostRecord
{
    QWidget* window = nullptr;
    bool topMost = false;
};

std::vector<FlashRecord> flashRecords();
std::vector<TopMostRecord> topMostRecords();
void clearWindowRecords();

// Internal to the library: append one record.
void recordFlash(const FlashRecord& record);
void recordTopMost(const TopMostRecord& record);

} // namespace winapi
