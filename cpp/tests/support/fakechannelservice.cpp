#include "tests/support/fakechannelservice.h"

#include <cstring>

FakeChannelService::FakeChannelService() : m_myRow(std::make_unique<FakeRow>()) {}

void FakeChannelService::switchSubChannel(UINT32 id)
{
    m_subChannelId = id;
    m_switched.fire(id);
}

FakeRow& FakeChannelService::myRow()
{
    m_hasMyRow = true;
    return *m_myRow;
}

void FakeChannelService::fireMyChannelInfoChanged(Data::IRowArrayPtr rows)
{
    m_myInfoChanged.fire(rows);
}

void FakeChannelService::getMyChannelInfo(Data::IRowPtr& out, int mode)
{
    ++m_myRowReads;
    m_lastMode = mode;
    out = m_hasMyRow ? Data::IRowPtr(m_myRow.get()) : Data::IRowPtr();
}

bool FakeChannelService::invoke(const char* method, const KeywordFilterValue& argument,
                                KeywordFilterValue& result)
{
    m_filterCalls.push_back({method != nullptr ? method : "", argument.kind, result.kind, argument.text});
    if (method == nullptr || std::strcmp(method, "filter") != 0 ||
        argument.kind != ITovoChannelKeywordFilter::kTextKind)
        return false;
    result.text = applyFilter(argument.text);
    return true;
}

QString FakeChannelService::applyFilter(const QString& text) const
{
    if (m_filter)
        return m_filter(text);
    QString filtered = text;
    for (const QString& word : m_keywords)
        if (!word.isEmpty())
            filtered.replace(word, QString(word.size(), QLatin1Char('*')));
    return filtered;
}
