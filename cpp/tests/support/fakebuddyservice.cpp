#include "tests/support/fakebuddyservice.h"

FakePropBag& FakeBuddyService::answer(unsigned int uid, const std::wstring& imid, const std::wstring& nick,
                                      const std::wstring& gender)
{
    m_bags.push_back(std::make_unique<FakePropBag>());
    FakePropBag& bag = *m_bags.back();
    bag.set(L"imid", imid).set(L"nick", nick).set(L"gender", gender);
    m_userInfo.fire(uid, comptr<IPropBagWrapper>(&bag));
    return bag;
}
