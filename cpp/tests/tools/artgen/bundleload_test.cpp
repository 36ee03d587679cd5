// The bundle registers itself when the library that carries it loads, and
// goes away when that library unloads: the entry component loads and frees
// the application library at run time.

#include <QFile>
#include <QLibrary>

#include <gtest/gtest.h>

namespace {

const char* const kProbes[] = {
    ":/image/theme/quorix/image/vote_normal.png",
    ":/image/theme/quorix/image/toupiao_bg1.png",
};

bool allPresent()
{
    for (const char* probe : kProbes) {
        if (!QFile::exists(QString::fromLatin1(probe))) {
            return false;
        }
    }
    return true;
}

TEST(BundleLifetime, RegistersOnLoadAndUnregistersOnUnload)
{
    EXPECT_FALSE(allPresent());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QLibrary library(QString::fromUtf8(QUORIX_BUNDLE_MODULE));
        ASSERT_TRUE(library.load()) << library.errorString().toStdString();
        EXPECT_TRUE(allPresent());
        ASSERT_TRUE(library.unload());
        EXPECT_FALSE(QFile::exists(QString::fromLatin1(kProbes[0])));
    }
}

} // namespace
