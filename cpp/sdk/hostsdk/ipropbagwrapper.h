#pragma once

// A bag of named texts, as the buddy list answers a user-information request with it
// (keys such as "imid", "nick", "gender").

#include "comptr.h"

#include <QMetaType>

#include <string>

class IPropBagWrapper : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(IPropBagWrapper)

    virtual std::wstring getString(const wchar_t* key) = 0; // 5: empty when the key is absent

protected:
    ~IPropBagWrapper() = default;
};

using IPropBagWrapperPtr = comptr<IPropBagWrapper>;

Q_DECLARE_METATYPE(comptr<IPropBagWrapper>)
