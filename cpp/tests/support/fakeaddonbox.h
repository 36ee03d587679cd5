#pragma once

// The host's "com.tovo.channelserviceex" add-on box: creates and owns box items.

#include "tests/support/fakeunknown.h"
#include "itovoaddonboxex.h"
#include "tovoaddonboxitem.h"

#include <memory>
#include <utility>
#include <vector>

class FakeAddonBox : public FakeUnknown<ITovoAddonBoxEx>
{
public:
    // When false, createItem answers null.
    void setCreatesItems(bool creates) { m_createsItems = creates; }

    TovoAddonBoxItem* createItem(int addonId, int slot) override
    {
        m_calls.emplace_back(addonId, slot);
        if (!m_createsItems)
            return nullptr;
        m_items.push_back(std::make_unique<TovoAddonBoxItem>(addonId, slot));
        return m_items.back().get();
    }

    const std::vector<std::pair<int, int>>& createCalls() const { return m_calls; }
    TovoAddonBoxItem* lastItem() const { return m_items.empty() ? nullptr : m_items.back().get(); }
    int itemCount() const { return static_cast<int>(m_items.size()); }

private:
    bool m_createsItems = true;
    std::vector<std::pair<int, int>> m_calls;
    std::vector<std::unique_ptr<TovoAddonBoxItem>> m_items;
};
