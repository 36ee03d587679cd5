#include "voteservice/web/staticfiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace quorix::service {

namespace {

const char kAssetsPrefix[] = "/assets/";
const std::size_t kMaxIdDigits = 10;

struct ContentType
{
    const char* extension;
    const char* type;
};

const ContentType kContentTypes[] = {
    {".html", "text/html; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".mjs", "text/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".json", "application/json"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".woff2", "font/woff2"},
    {".ico", "image/x-icon"},
    {".txt", "text/plain; charset=utf-8"},
};

// The pages load only their own scripts and styles and talk only to their own origin.
const char kPagePolicy[] =
    "default-src 'self'; img-src 'self' data:; base-uri 'none'; object-src 'none'; frame-ancestors 'none'";

std::string_view pathOf(std::string_view target)
{
    return target.substr(0, target.find_first_of("?#"));
}

std::vector<std::string_view> segmentsOf(std::string_view path)
{
    std::vector<std::string_view> segments;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        segments.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

bool isId(std::string_view text)
{
    return !text.empty() && text.size() <= kMaxIdDigits &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// "/overlay/{ch}/{sub}", "/vote/{ch}/{sub}" or "/manage/{ch}": the page's file name, else empty.
std::string pageFileOf(std::string_view path)
{
    const std::vector<std::string_view> segments = segmentsOf(path);
    if (segments.size() == 2 && segments[0] == "manage" && isId(segments[1]))
        return "manage.html";
    if (segments.size() != 3 || !isId(segments[1]) || !isId(segments[2]))
        return {};
    if (segments[0] == "overlay")
        return "overlay.html";
    return segments[0] == "vote" ? "vote.html" : std::string();
}

// Letters, digits, '.', '-' and '_', not starting with '.': no "..", no hidden files, no encoded
// separators (a '%' is refused rather than decoded).
bool isSafeSegment(std::string_view segment)
{
    if (segment.empty() || segment.front() == '.')
        return false;
    return std::all_of(segment.begin(), segment.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '.' || c == '-' || c == '_';
    });
}

const char* contentTypeOf(const fs::path& file)
{
    const std::string extension = file.extension().string();
    for (const ContentType& entry : kContentTypes)
        if (extension == entry.extension)
            return entry.type;
    return "application/octet-stream";
}

std::string etagOf(std::uintmax_t size, fs::file_time_type modified)
{
    const auto ticks = modified.time_since_epoch().count();
    char text[64];
    std::snprintf(text, sizeof text, "W/\"%jx-%llx\"", size, static_cast<unsigned long long>(ticks));
    return text;
}

StaticFiles::Reply notFound()
{
    StaticFiles::Reply reply;
    reply.status = 404;
    reply.headers = {{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}};
    reply.body = "not found\n";
    return reply;
}

} // namespace

StaticFiles::StaticFiles(fs::path root)
{
    std::error_code error;
    m_root = fs::canonical(root, error);
    if (error)
        m_root = std::move(root);
}

bool StaticFiles::handles(std::string_view target)
{
    const std::string_view path = pathOf(target);
    return path.rfind(kAssetsPrefix, 0) == 0 || !pageFileOf(path).empty();
}

std::optional<fs::path> StaticFiles::insideRoot(const fs::path& candidate) const
{
    std::error_code error;
    const fs::path resolved = fs::canonical(candidate, error);
    if (error || !fs::is_regular_file(resolved, error))
        return std::nullopt;
    const auto differ = std::mismatch(m_root.begin(), m_root.end(), resolved.begin(), resolved.end());
    if (differ.first != m_root.end())
        return std::nullopt;
    return resolved;
}

std::optional<fs::path> StaticFiles::fileFor(std::string_view path) const
{
    const std::string page = pageFileOf(path);
    if (!page.empty())
        return insideRoot(m_root / page);
    if (path.rfind(kAssetsPrefix, 0) != 0)
        return std::nullopt;
    fs::path file = m_root / "assets";
    for (std::string_view segment : segmentsOf(path.substr(sizeof kAssetsPrefix - 2))) {
        if (!isSafeSegment(segment))
            return std::nullopt;
        file /= std::string(segment);
    }
    return insideRoot(file);
}

StaticFiles::Reply StaticFiles::serve(std::string_view target, std::string_view ifNoneMatch) const
{
    const std::optional<fs::path> file = fileFor(pathOf(target));
    std::error_code error;
    const std::uintmax_t size = file ? fs::file_size(*file, error) : 0;
    if (!file || error || size > kMaxFileBytes)
        return notFound();
    const fs::file_time_type modified = fs::last_write_time(*file, error);
    if (error)
        return notFound();
    Reply reply;
    const std::string etag = etagOf(size, modified);
    reply.headers = {{"Content-Type", contentTypeOf(*file)},
                     {"Cache-Control", "no-cache"},
                     {"ETag", etag},
                     {"X-Content-Type-Options", "nosniff"}};
    if (file->extension() == ".html")
        reply.headers.emplace_back("Content-Security-Policy", kPagePolicy);
    if (!ifNoneMatch.empty() && ifNoneMatch == etag) {
        reply.status = 304;
        return reply;
    }
    std::ifstream in(*file, std::ios::binary);
    reply.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof())
        return notFound();
    reply.status = 200;
    return reply;
}

std::optional<fs::path> StaticFiles::findRoot(const fs::path& executable, const fs::path& sourceWebDir)
{
    const fs::path installed = executable.parent_path().parent_path() / "share" / "quorix" / "web";
    for (const fs::path& candidate : {installed, sourceWebDir}) {
        std::error_code error;
        if (!candidate.empty() && fs::is_regular_file(candidate / "overlay.html", error))
            return candidate;
    }
    return std::nullopt;
}

} // namespace quorix::service
