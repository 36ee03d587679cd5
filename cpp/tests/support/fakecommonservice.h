#pragma once

// The host's "com.tovo.commonservice": the logged-in user.

#include "tests/support/fakeunknown.h"
#include "itovoauthentication.h"

class FakeCommonService : public FakeUnknown<ITovoAuthentication>
{
public:
    void setUid(UINT32 uid) { m_uid = uid; }
    UINT32 getUid() override { return m_uid; }

private:
    UINT32 m_uid = 0;
};
