#pragma once

// The overlay and viewer pages, served from a web root on the service's HTTP port:
//   /overlay/{ch}/{sub}  -> ROOT/overlay.html      /vote/{ch}/{sub} -> ROOT/vote.html
//   /assets/PATH         -> ROOT/assets/PATH
// and nothing else of the root (no npm packages, no tests). A path segment may hold only letters,
// digits, '.', '-' and '_', must not start with '.', and the file it names must resolve (symbolic
// links followed) to a regular file inside the root, so neither ".." nor a link can reach outside.
// Replies say "no-cache" with an ETag: the files have no hashed names, so browsers revalidate and get
// 304 while nothing changed. Transport-free: the HTTP layer turns a Reply into its response.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorix::service {

class StaticFiles
{
public:
    struct Reply
    {
        unsigned status = 404;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };

    // Files larger than this are not served (the pages are a few kilobytes each).
    static constexpr std::uintmax_t kMaxFileBytes = 4u << 20;

    explicit StaticFiles(std::filesystem::path root);

    const std::filesystem::path& root() const { return m_root; }

    // Whether target (path and query of a request) is one of the routes above.
    static bool handles(std::string_view target);

    // The reply to GET target; ifNoneMatch is the request's If-None-Match header (may be empty).
    Reply serve(std::string_view target, std::string_view ifNoneMatch = {}) const;

    // The default root: share/quorix/web beside the program's bin/ folder when installed, else the
    // source tree's web/ folder (for programs run from the build tree); nullopt when neither holds
    // the pages.
    static std::optional<std::filesystem::path> findRoot(const std::filesystem::path& executable,
                                                         const std::filesystem::path& sourceWebDir);

private:
    std::optional<std::filesystem::path> fileFor(std::string_view path) const;
    std::optional<std::filesystem::path> insideRoot(const std::filesystem::path& candidate) const;

    std::filesystem::path m_root;
};

} // namespace quorix::service
