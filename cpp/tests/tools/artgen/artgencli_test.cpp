// The generator program as the build runs it: it must write every listed image
// and must fail loudly, writing nothing misleading, when its input is wrong.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int exitCode;
    QString errors;
};

Outcome runGenerator(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // As in the build: Qt's offscreen plugin leaks its screen at exit, which a
    // sanitizer build would otherwise report as the program failing.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORIX_ARTGEN), arguments);
    if (!process.waitForFinished(60000)) {
        return {-1, QStringLiteral("did not finish")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

TEST(ArtGenProgram, WritesEveryListedImageAndASheet)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString out = work.filePath(QStringLiteral("images"));
    const QString sheet = work.filePath(QStringLiteral("sheet.png"));
    const Outcome run = runGenerator({QStringLiteral("--sheet"), sheet, out});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QStringList written = QDir(out).entryList({QStringLiteral("*.png")}, QDir::Files);
    EXPECT_EQ(written.size(), 87);
    EXPECT_EQ(QImage(QDir(out).filePath(QStringLiteral("toupiao_bg1.png"))).size(), QSize(518, 528));
    EXPECT_FALSE(QImage(sheet).isNull());
}

TEST(ArtGenProgram, RefusesManifestsItCannotHonour)
{
    struct Case
    {
        const char* label;
        QByteArray manifest;
        const char* complaint;
    };
    const Case cases[] = {
        {"malformed line", "vote_normal.png 32\n", "line 1"},
        {"image without a drawing", "JudgingBg.png 96 156\n", "JudgingBg.png has no drawing"},
        {"drawing left out of the list", "vote_normal.png 32 32\n", "is drawn but not listed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTemporaryDir work;
        ASSERT_TRUE(work.isValid());
        const QString list = work.filePath(QStringLiteral("artwork.list"));
        ASSERT_TRUE(writeFile(list, c.manifest));
        const QString out = work.filePath(QStringLiteral("images"));
        const Outcome run = runGenerator({QStringLiteral("--manifest"), list, out});
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.errors.contains(QString::fromLatin1(c.complaint))) << run.errors.toStdString();
        EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
    }
}

TEST(ArtGenProgram, ReportsAnUnwritableFolder)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    // A plain file where the output folder should be.
    const QString blocked = work.filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(writeFile(blocked, "x"));
    const Outcome run = runGenerator({blocked + QStringLiteral("/images")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot"))) << run.errors.toStdString();
}

} // namespace
