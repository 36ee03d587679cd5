#pragma once

// The order in which the audience windows and the web pages list a vote's options: highest ticket
// count first, equal counts in the order that Qt 5's qSort leaves with the non-strict comparison
// "a >= b" (its quicksort, partition for partition). Viewers know that order among equal counts
// from the vote's earlier broadcasts, so every face takes it from here.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorix {

class RankOrder
{
public:
    // Indexes into counts, ranked.
    static std::vector<std::uint32_t> ofCounts(const std::vector<std::uint32_t>& counts)
    {
        std::vector<Entry> entries;
        entries.reserve(counts.size());
        for (std::size_t i = 0; i < counts.size(); ++i)
            entries.push_back({std::uint32_t(i), counts[i]});
        sort(entries);
        std::vector<std::uint32_t> order;
        order.reserve(entries.size());
        for (const Entry& entry : entries)
            order.push_back(entry.index);
        return order;
    }

private:
    struct Entry
    {
        std::uint32_t index;
        std::uint32_t count;
    };
    using Range = std::pair<std::size_t, std::size_t>; // [start, end)

    static bool before(const Entry& a, const Entry& b) { return a.count >= b.count; }

    // The ranges left to sort are kept on a list instead of the call stack: a vote from the wire
    // may have many options, and the order does not depend on which disjoint range goes first.
    static void sort(std::vector<Entry>& items)
    {
        std::vector<Range> pending{{0, items.size()}};
        while (!pending.empty()) {
            const Range range = pending.back();
            pending.pop_back();
            sortRange(items, range.first, range.second, pending);
        }
    }

    static void sortRange(std::vector<Entry>& items, std::size_t start, std::size_t end,
                          std::vector<Range>& pending)
    {
        for (;;) {
            const std::size_t span = end - start;
            if (span < 2)
                return;
            --end;
            std::size_t low = start;
            std::size_t high = end - 1;
            const std::size_t pivot = start + span / 2;
            if (before(items[end], items[start]))
                std::swap(items[end], items[start]);
            if (span == 2)
                return;
            if (before(items[pivot], items[start]))
                std::swap(items[pivot], items[start]);
            if (before(items[end], items[pivot]))
                std::swap(items[end], items[pivot]);
            if (span == 3)
                return;
            std::swap(items[pivot], items[end]);
            while (low < high) {
                while (low < high && before(items[low], items[end]))
                    ++low;
                while (high > low && before(items[end], items[high]))
                    --high;
                if (low >= high)
                    break;
                std::swap(items[low], items[high]);
                ++low;
                --high;
            }
            if (before(items[low], items[end]))
                ++low;
            std::swap(items[end], items[low]);
            pending.push_back({start, low});
            start = low + 1;
            ++end;
        }
    }
};

} // namespace quorix
