// Where tovo-host's log records go: the options, the environment and the defaults combined, the
// levels that reach the file and standard error (Qt's own messages too), and the private state
// folder.

#include "host/hostlogging.h"

#include "fenlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QProcessEnvironment environment(const QStringList& assignments)
{
    QProcessEnvironment env;
    for (const QString& assignment : assignments)
        env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
    return env;
}

TEST(HostLogging, OptionsWinOverTheEnvironmentWhichWinsOverTheDefaults)
{
    const QString state = QStringLiteral("/st/quorix/tovo-host.log");
    const struct
    {
        const char* name;
        std::optional<int> optionLevel;
        QString optionFile;
        QStringList env;
        QString file; // empty: standard error only
        int level;
        int stderrLevel;
    } rows[] = {
        {"defaults", {}, {}, {"XDG_STATE_HOME=/st", "HOME=/h"}, state, 2, 0},
        {"home without XDG_STATE_HOME", {}, {}, {"HOME=/h"}, "/h/.local/state/quorix/tovo-host.log", 2, 0},
        {"relative XDG_STATE_HOME ignored",
         {},
         {},
         {"XDG_STATE_HOME=st", "HOME=/h"},
         "/h/.local/state/quorix/tovo-host.log",
         2,
         0},
        {"environment file and level",
         {},
         {},
         {"XDG_STATE_HOME=/st", "FENBASE_LOG_FILE=/e.log", "FENBASE_LOG_LEVEL=3"},
         "/e.log",
         3,
         0},
        {"environment level by name", {}, {}, {"XDG_STATE_HOME=/st", "FENBASE_LOG_LEVEL=info"}, state, 1, 0},
        {"environment level not a level",
         {},
         {},
         {"XDG_STATE_HOME=/st", "FENBASE_LOG_LEVEL=loud"},
         state,
         2,
         0},
        {"empty environment file", {}, {}, {"XDG_STATE_HOME=/st", "FENBASE_LOG_FILE="}, state, 2, 0},
        {"options win", 1, "/o.log", {"FENBASE_LOG_FILE=/e.log", "FENBASE_LOG_LEVEL=3"}, "/o.log", 1, 0},
        {"option level with environment file",
         3,
         {},
         {"FENBASE_LOG_FILE=/e.log", "FENBASE_LOG_LEVEL=0"},
         "/e.log",
         3,
         0},
        {"file '-' is standard error for every record", {}, "-", {"FENBASE_LOG_LEVEL=3"}, {}, 3, 3},
        {"environment '-' too", {}, {}, {"FENBASE_LOG_FILE=-"}, {}, 2, 2},
        {"level 0 keeps only errors and warnings", 0, {}, {"XDG_STATE_HOME=/st"}, state, 0, 0},
    };
    for (const auto& row : rows) {
        const HostLogging::Settings settings =
            HostLogging::resolve(row.optionLevel, row.optionFile, environment(row.env));
        EXPECT_EQ(settings.file, row.file) << row.name;
        EXPECT_EQ(settings.level, row.level) << row.name;
        EXPECT_EQ(settings.stderrLevel, row.stderrLevel) << row.name;
    }
}

TEST(HostLogging, LevelNamesAndNumbers)
{
    const struct
    {
        const char* text;
        std::optional<int> level;
    } rows[] = {{"error", 0},     {"WARNING", 0}, {"info", 1}, {"debug", 2}, {"trace", 3}, {"0", 0},
                {"65535", 65535}, {"65536", {}},  {"-1", {}},  {"+2", {}},   {"", {}},     {"verbose", {}}};
    for (const auto& row : rows)
        EXPECT_EQ(HostLogging::parseLevel(QString::fromLatin1(row.text)), row.level) << row.text;
}

// Standard error redirected to a file while the object lives.
class StderrToFile
{
public:
    explicit StderrToFile(const QString& path)
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "w");
        ::dup2(::fileno(file), 2);
        std::fclose(file);
    }
    ~StderrToFile()
    {
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }

private:
    int m_saved = -1;
};

QString contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(HostLogging, RecordsReachTheFileUpToTheLevelAndStandardErrorOnlyForWarnings)
{
    QTemporaryDir dir;
    const QString stateHome = dir.filePath("state");
    const QString logFile = stateHome + "/quorix/tovo-host.log";
    const QString terminal = dir.filePath("stderr.txt");
    const struct
    {
        const char* name;
        std::optional<int> optionLevel;
        QString optionFile;
        QString expectFile; // where the file records are
        const char* inFile;
        const char* onStderr;
    } rows[] = {
        {"defaults", {}, {}, logFile, "L0 L1 L2", "L0"},
        {"--log-level 1", 1, {}, logFile, "L0 L1", "L0"},
        {"--log-file -", 3, "-", {}, "", "L0 L1 L2 L3"},
        {"unwritable file: everything on stderr", 2, "/nonexistent/dir/x.log", {}, "", "L0 L1 L2"},
    };
    for (const auto& row : rows) {
        QFile::remove(logFile);
        QString error;
        bool applied = false;
        {
            StderrToFile redirect(terminal);
            applied = HostLogging::apply(HostLogging::resolve(row.optionLevel, row.optionFile,
                                                              environment({"XDG_STATE_HOME=" + stateHome})),
                                         &error);
            for (unsigned short level = 0; level <= 3; ++level)
                DoLog(level, "m", "f", 1, "fn", QStringLiteral("L%1.").arg(level).toStdWString().c_str());
            HostLogging::routeQtMessages();
            qCritical("Q0.");
            qWarning("Q1.");
            qInstallMessageHandler(nullptr);
        }
        fenbase::clearLogSinks();
        EXPECT_EQ(applied, error.isEmpty()) << row.name;
        const QString file = row.expectFile.isEmpty() ? QString() : contents(row.expectFile);
        const QString printed = contents(terminal);
        for (unsigned short level = 0; level <= 3; ++level) {
            const QString mark = QStringLiteral("L%1").arg(level);
            const QString qtMark = QStringLiteral("Q%1.").arg(level);
            EXPECT_EQ(file.contains(mark + "."), QString(row.inFile).contains(mark))
                << row.name << " " << level;
            EXPECT_EQ(printed.contains(mark + "."), QString(row.onStderr).contains(mark))
                << row.name << " " << level;
            if (level > 1)
                continue;
            EXPECT_EQ(file.contains(qtMark), QString(row.inFile).contains(mark))
                << row.name << " Qt " << level;
            EXPECT_EQ(printed.contains(qtMark), QString(row.onStderr).contains(mark))
                << row.name << " Qt " << level;
        }
    }
    struct stat folder = {};
    ASSERT_EQ(::stat(QFile::encodeName(stateHome + "/quorix").constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u) << "the state folder is the owner's only";
}

TEST(HostLogging, ALargeDefaultFileIsSetAsideAtStartUp)
{
    QTemporaryDir dir;
    const QProcessEnvironment env = environment({"XDG_STATE_HOME=" + dir.path()});
    const QString log = HostLogging::defaultFile(env);
    const struct
    {
        qint64 size;
        bool setAside;
    } rows[] = {{HostLogging::kRotateBytes, false}, {HostLogging::kRotateBytes + 1, true}};
    for (const auto& row : rows) {
        QDir().mkpath(QFileInfo(log).path());
        QFile::remove(log + ".old");
        {
            QFile file(log);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(row.size));
        }
        QString error;
        EXPECT_TRUE(HostLogging::apply(HostLogging::resolve({}, {}, env), &error)) << error.toStdString();
        fenbase::clearLogSinks();
        EXPECT_EQ(QFileInfo(log + ".old").size(), row.setAside ? row.size : 0) << row.size;
        EXPECT_EQ(QFileInfo(log).size(), row.setAside ? 0 : row.size) << row.size;
    }
}

} // namespace
