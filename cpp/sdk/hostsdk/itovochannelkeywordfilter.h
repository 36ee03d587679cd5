#pragma once

// The channel's keyword filter, reached through one generic call: invoke("filter", {8, text},
// result) leaves the filtered text in result.text.

#include "iunk.h"

#include <QString>

// Argument and result of a keyword-filter call: a kind number and a text.
struct KeywordFilterValue
{
    int kind = 0;
    QString text;
};

class ITovoChannelKeywordFilter : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoChannelKeywordFilter)

    static constexpr int kTextKind = 8;

    // 5: runs the named method; false for an unknown method or kind (result left unchanged).
    virtual bool invoke(const char* method, const KeywordFilterValue& argument,
                        KeywordFilterValue& result) = 0;

protected:
    ~ITovoChannelKeywordFilter() = default;
};
