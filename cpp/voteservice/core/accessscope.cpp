#include "voteservice/core/accessscope.h"

#include "voteservice/core/sessionidentity.h"

#include <array>
#include <utility>

namespace quorix::service {

namespace {
constexpr std::array<std::pair<std::string_view, AccessScope>, 4> kWords{{
    {"events", AccessScope::Events},
    {"vote", AccessScope::Vote},
    {"manage", AccessScope::Manage},
    {"metrics", AccessScope::Metrics},
}};
} // namespace

ScopeSet ScopeSet::forRole(std::uint32_t role)
{
    const ScopeSet viewer = ScopeSet(AccessScope::Events).with(AccessScope::Vote);
    return isManagerRole(role) ? viewer.with(AccessScope::Manage) : viewer;
}

std::optional<ScopeSet> ScopeSet::parse(std::string_view words)
{
    ScopeSet scopes;
    bool any = false;
    while (!words.empty()) {
        const std::size_t end = words.find(' ');
        const std::string_view word = words.substr(0, end);
        words = end == std::string_view::npos ? std::string_view() : words.substr(end + 1);
        if (word.empty())
            continue;
        bool known = false;
        for (const auto& [text, scope] : kWords) {
            if (word == text) {
                scopes = scopes.with(scope);
                known = true;
            }
        }
        if (!known)
            return std::nullopt;
        any = true;
    }
    if (!any)
        return std::nullopt;
    return scopes;
}

std::string ScopeSet::words() const
{
    std::string text;
    for (const auto& [word, scope] : kWords) {
        if (!has(scope))
            continue;
        if (!text.empty())
            text += ' ';
        text += word;
    }
    return text;
}

} // namespace quorix::service
