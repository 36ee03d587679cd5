// A stand-in application library for the entry component's loader tests. It reports each export
// call as a log record; which exports exist is chosen at build time.

#include "fenlog.h"

#include <cstdint>
#include <string>

class IComponentRoot;

namespace {

void report(const std::wstring& text)
{
    DoLog(1, "FakeApp", "fakeapplibrary", 1, "fakeapp", text.c_str());
}

} // namespace

#ifdef FAKEAPP_HAS_LOAD
extern "C" __attribute__((visibility("default"))) int onLoadEntAddon(IComponentRoot* root)
{
    report(L"onLoadEntAddon " + std::to_wstring(reinterpret_cast<std::uintptr_t>(root)));
    return 0;
}
#endif

#ifdef FAKEAPP_HAS_UNLOAD
extern "C" __attribute__((visibility("default"))) int onUnLoadEntAddon()
{
    report(L"onUnLoadEntAddon");
    return 0;
}
#endif
