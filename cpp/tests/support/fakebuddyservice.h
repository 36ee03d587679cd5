#pragma once

// The host's "com.tovo.imgroupservice": user information by user id.

#include "tests/support/fakepropbag.h"
#include "tests/support/fakeunknown.h"
#include "itovobuddylist.h"

#include <memory>
#include <utility>
#include <vector>

class FakeBuddyService : public FakeUnknown<ITovoBuddyList>
{
public:
    void requestUserInfo(UINT32 uid, int mode) override { m_requests.emplace_back(uid, mode); }
    relay::signal2<unsigned int, comptr<IPropBagWrapper>>& userInfoSignal() override { return m_userInfo; }

    // (uid, mode) of every request so far.
    const std::vector<std::pair<UINT32, int>>& requests() const { return m_requests; }

    // Answers with a bag of "imid", "nick" and "gender"; the bag is kept alive by the service.
    FakePropBag& answer(unsigned int uid, const std::wstring& imid, const std::wstring& nick,
                        const std::wstring& gender);

private:
    std::vector<std::pair<UINT32, int>> m_requests;
    std::vector<std::unique_ptr<FakePropBag>> m_bags;
    relay::signal2<unsigned int, comptr<IPropBagWrapper>> m_userInfo;
};
