#include "voteservice/web/staticfiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using quorix::service::StaticFiles;

namespace {

void write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string header(const StaticFiles::Reply& reply, const std::string& name)
{
    for (const auto& [key, value] : reply.headers)
        if (key == name)
            return value;
    return {};
}

// A web root with the two pages and an asset, beside a secret file outside it and links pointing
// in and out.
class StaticFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/staticfiles_test.XXXXXX";
        base = mkdtemp(pattern);
        root = base / "web";
        write(root / "overlay.html", "<p>overlay</p>");
        write(root / "vote.html", "<p>vote</p>");
        write(root / "manage.html", "<p>manage</p>");
        write(root / "assets" / "shared" / "format.js", "export {};");
        write(root / "assets" / "viewer" / "viewer.css", "body{}");
        write(root / "assets" / ".hidden.js", "hidden");
        write(root / "node_modules" / "ws" / "index.js", "module");
        write(root / "package.json", "{}");
        write(base / "secret.txt", "secret");
        fs::create_symlink(base / "secret.txt", root / "assets" / "out.js");
        fs::create_symlink(root / "assets" / "shared" / "format.js", root / "assets" / "in.js");
        fs::create_directory_symlink(base, root / "assets" / "up");
    }
    void TearDown() override { fs::remove_all(base); }

    fs::path base;
    fs::path root;
};

struct RouteCase
{
    const char* target;
    unsigned status;
    const char* contentType;
    const char* body;
};

TEST_F(StaticFilesTest, RoutesServeThePagesAndAssetsAndNothingElse)
{
    const StaticFiles files(root);
    const RouteCase cases[] = {
        {"/overlay/888/1?token=1.ab&theme=light", 200, "text/html; charset=utf-8", "<p>overlay</p>"},
        {"/vote/4294967295/0", 200, "text/html; charset=utf-8", "<p>vote</p>"},
        {"/manage/888?lang=en", 200, "text/html; charset=utf-8", "<p>manage</p>"},
        {"/assets/shared/format.js", 200, "text/javascript; charset=utf-8", "export {};"},
        {"/assets/viewer/viewer.css?v=2", 200, "text/css; charset=utf-8", "body{}"},
        {"/assets/in.js", 200, "text/javascript; charset=utf-8", "export {};"},
        {"/overlay/888", 404, nullptr, nullptr},
        {"/overlay/888/1/x", 404, nullptr, nullptr},
        {"/vote/12345678901/1", 404, nullptr, nullptr},
        {"/vote/-1/1", 404, nullptr, nullptr},
        {"/manage", 404, nullptr, nullptr},
        {"/manage/888/1", 404, nullptr, nullptr},
        {"/manage/x", 404, nullptr, nullptr},
        {"/manage/888/", 404, nullptr, nullptr},
        {"/assets/missing.js", 404, nullptr, nullptr},
        {"/assets/shared", 404, nullptr, nullptr},
        {"/assets/", 404, nullptr, nullptr},
        {"/package.json", 404, nullptr, nullptr},
        {"/node_modules/ws/index.js", 404, nullptr, nullptr},
        {"/assets/../package.json", 404, nullptr, nullptr},
        {"/assets/shared/../../package.json", 404, nullptr, nullptr},
        {"/assets/%2e%2e/package.json", 404, nullptr, nullptr},
        {"/assets/..%2fpackage.json", 404, nullptr, nullptr},
        {"/assets/shared//format.js", 404, nullptr, nullptr},
        {"/assets/.hidden.js", 404, nullptr, nullptr},
        {"/assets/out.js", 404, nullptr, nullptr},
        {"/assets/up/secret.txt", 404, nullptr, nullptr},
        {"/assets/shared\\format.js", 404, nullptr, nullptr},
    };
    for (const RouteCase& c : cases) {
        const StaticFiles::Reply reply = files.serve(c.target);
        EXPECT_EQ(reply.status, c.status) << c.target;
        if (c.status != 200) {
            EXPECT_EQ(reply.body.find("secret"), std::string::npos) << c.target;
            continue;
        }
        EXPECT_EQ(header(reply, "Content-Type"), c.contentType) << c.target;
        EXPECT_EQ(reply.body, c.body) << c.target;
        EXPECT_EQ(header(reply, "Cache-Control"), "no-cache") << c.target;
        EXPECT_EQ(header(reply, "X-Content-Type-Options"), "nosniff") << c.target;
    }
}

TEST_F(StaticFilesTest, HandlesOnlyItsRoutes)
{
    EXPECT_TRUE(StaticFiles::handles("/overlay/1/2?token=x"));
    EXPECT_TRUE(StaticFiles::handles("/vote/1/2"));
    EXPECT_TRUE(StaticFiles::handles("/manage/1#token=x"));
    EXPECT_TRUE(StaticFiles::handles("/assets/anything"));
    EXPECT_FALSE(StaticFiles::handles("/api/v1/session"));
    EXPECT_FALSE(StaticFiles::handles("/healthz"));
    EXPECT_FALSE(StaticFiles::handles("/vote/1"));
}

TEST_F(StaticFilesTest, UnchangedFileRevalidatesWithItsETag)
{
    const StaticFiles files(root);
    const StaticFiles::Reply first = files.serve("/assets/shared/format.js");
    const std::string etag = header(first, "ETag");
    ASSERT_FALSE(etag.empty());
    const StaticFiles::Reply again = files.serve("/assets/shared/format.js", etag);
    EXPECT_EQ(again.status, 304u);
    EXPECT_TRUE(again.body.empty());

    write(root / "assets" / "shared" / "format.js", "export const changed = 1;");
    const StaticFiles::Reply changed = files.serve("/assets/shared/format.js", etag);
    EXPECT_EQ(changed.status, 200u);
    EXPECT_NE(header(changed, "ETag"), etag);
    EXPECT_FALSE(header(files.serve("/vote/1/1"), "Content-Security-Policy").empty());
    EXPECT_EQ(header(files.serve("/manage/1"), "Content-Security-Policy"),
              header(files.serve("/vote/1/1"), "Content-Security-Policy"));
}

TEST_F(StaticFilesTest, DefaultRootPrefersTheInstalledPagesOverTheSourceTree)
{
    const fs::path installed = base / "prefix" / "share" / "quorix" / "web";
    const fs::path program = base / "prefix" / "bin" / "quorix-voted";
    EXPECT_EQ(StaticFiles::findRoot(program, root), root);
    write(installed / "overlay.html", "installed");
    EXPECT_EQ(StaticFiles::findRoot(program, root), installed);
    EXPECT_EQ(StaticFiles::findRoot(base / "elsewhere" / "bin" / "quorix-voted", base / "nothing"),
              std::nullopt);
}

} // namespace
