#include "nameid.h"

#include <map>
#include <mutex>
#include <string>

unsigned short insert_name_id(const wchar_t* name)
{
    static std::mutex mutex;
    static std::map<std::wstring, unsigned short> ids;
    std::lock_guard<std::mutex> lock(mutex);
    const std::wstring key = name != nullptr ? name : L"";
    const auto found = ids.find(key);
    if (found != ids.end())
        return found->second;
    const auto id = static_cast<unsigned short>(ids.size() + 1);
    ids.emplace(key, id);
    return id;
}
