#include "host/automation/automationcommands.h"
#include "host/automation/automationserver.h"
#include "host/automation/automationtarget.h"
#include "tests/host/hosttestsupport.h"

#include "panecheckbox.h"
#include "panelabelwidget.h"
#include "panelineedit.h"
#include "panepushbutton.h"
#include "panescrollarea.h"
#include "panewidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QJsonDocument>
#include <QLineEdit>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

class FakeTarget : public AutomationTarget
{
public:
    QJsonObject hostState() const override { return {{"uid", 1}}; }
    QString clickAddon() override { return QStringLiteral("box empty"); }
    QString switchSubChannel(quint32 id) override
    {
        lastSubChannel = id;
        return QString();
    }
    QString activateChannelWindow(bool) override { return QString(); }
    QString webViewerLink(bool open, QUrl* link) override
    {
        opens += open ? 1 : 0;
        *link = QUrl("http://h:1/vote/888/1?uid=1&nick=%2B");
        return webError;
    }
    void quitSoon() override { ++quits; }

    QString webError;
    int opens = 0;
    quint32 lastSubChannel = 0;
    int quits = 0;
};

// A window like the add-on's: a graphics view whose scene holds the toolkit's widgets.
class SceneWindow
{
public:
    SceneWindow() : view(&scene)
    {
        view.setWindowTitle(QStringLiteral("场景窗口"));
        view.resize(400, 300);
        view.setSceneRect(0, 0, 400, 300);
        for (int i = 0; i < 2; ++i) {
            labels[i] = new PaneLabelWidget(QStringLiteral("开启%1").arg(i));
            labels[i]->setObjectName("START_LABEL");
            labels[i]->setAcceptClick(true);
            place(labels[i], 10, 10 + 40 * i);
        }
        auto* row = new PaneWidget;
        row->setObjectName("row");
        place(row, 200, 10);
        row->resize(150, 100);
        button = new PanePushButton(row);
        button->setObjectName("okBtn");
        button->setText(QStringLiteral("确定"));
        button->setGeometry(10, 10, 80, 30);
        check = new PaneCheckBox;
        check->setObjectName("agreeBox");
        place(check, 10, 120);
        edit = new PaneLineEdit;
        edit->setObjectName("nameEdit");
        place(edit, 10, 170);
        view.show();
    }

    void place(QGraphicsWidget* widget, qreal x, qreal y)
    {
        scene.addItem(widget);
        widget->setGeometry(x, y, 120, 30);
    }

    QGraphicsScene scene;
    QGraphicsView view;
    PaneLabelWidget* labels[2] = {};
    PanePushButton* button = nullptr;
    PaneCheckBox* check = nullptr;
    PaneLineEdit* edit = nullptr;
};

class AutomationCommandsTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    QJsonObject run(const QString& cmd, const QString& widget, QJsonObject extra = {})
    {
        extra.insert("cmd", cmd);
        extra.insert("window", QStringLiteral("场景窗口"));
        extra.insert("widget", widget);
        return commands.execute(extra);
    }

    FakeTarget target;
    AutomationCommands commands{&target};
    SceneWindow window;
};

TEST_F(AutomationCommandsTest, IndexedNamesPickTheNthMatchAndClicksReachOnlyThatWidget)
{
    QSignalSpy first(window.labels[0], &PaneLabelWidget::clicked);
    QSignalSpy second(window.labels[1], &PaneLabelWidget::clicked);
    EXPECT_TRUE(run("click", "START_LABEL[1]").value("ok").toBool());
    EXPECT_EQ(first.count(), 0);
    EXPECT_EQ(second.count(), 1);
    EXPECT_TRUE(run("click", "START_LABEL").value("ok").toBool());
    EXPECT_EQ(first.count(), 1);
    EXPECT_FALSE(run("click", "START_LABEL[2]").value("ok").toBool());

    const QJsonObject text = run("text", "START_LABEL[1]");
    EXPECT_EQ(text.value("text").toString(), QStringLiteral("开启1"));
    EXPECT_TRUE(text.value("visible").toBool());
    EXPECT_TRUE(text.value("enabled").toBool());
}

TEST_F(AutomationCommandsTest, NestedPathsHoverSetTextAndCheckActLikeAPerson)
{
    QSignalSpy clicked(window.button, &PanePushButton::clicked);
    EXPECT_TRUE(run("click", "row/okBtn").value("ok").toBool());
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_FALSE(run("click", "okBtn/row").value("ok").toBool());

    EXPECT_TRUE(run("hover", "START_LABEL").value("ok").toBool());
    EXPECT_TRUE(window.labels[0]->isHovered());

    EXPECT_TRUE(run("setText", "nameEdit", {{"text", QStringLiteral("新投票")}}).value("ok").toBool());
    EXPECT_EQ(window.edit->text(), QStringLiteral("新投票"));
    EXPECT_FALSE(run("setText", "okBtn/x").value("ok").toBool());

    QSignalSpy selected(window.check, &PaneCheckBox::stateSelected);
    EXPECT_TRUE(run("check", "agreeBox", {{"checked", true}}).value("ok").toBool());
    EXPECT_TRUE(window.check->isChecked());
    EXPECT_TRUE(run("check", "agreeBox", {{"checked", true}}).value("ok").toBool());
    EXPECT_EQ(selected.count(), 1) << "an already checked box is left alone";
    window.check->setEnabled(false);
    EXPECT_FALSE(run("check", "agreeBox", {{"checked", false}}).value("ok").toBool());
}

TEST_F(AutomationCommandsTest, AClickScrollsAnItemBelowItsScrollAreaIntoViewFirst)
{
    auto* area = new PaneScrollArea;
    area->setObjectName("scroller");
    window.place(area, 200, 150);
    area->resize(150, 60);
    std::vector<PaneLabelWidget*> rows;
    for (int i = 0; i < 5; ++i) {
        auto* label = new PaneLabelWidget(QStringLiteral("选项%1").arg(i));
        label->setObjectName("option");
        label->setAcceptClick(true);
        label->setFixHeight(30);
        area->addItem(label);
        rows.push_back(label);
    }
    QApplication::processEvents();
    ASSERT_EQ(area->scrollPos(), 0);
    ASSERT_GT(area->maximumScrollPos(), 0);

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (PaneLabelWidget* row : rows)
        spies.push_back(std::make_unique<QSignalSpy>(row, &PaneLabelWidget::clicked));
    EXPECT_TRUE(run("click", "scroller/option[4]").value("ok").toBool());
    EXPECT_GT(area->scrollPos(), 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(spies[i]->count(), i == 4 ? 1 : 0) << "row " << i;

    EXPECT_TRUE(run("click", "scroller/option[0]").value("ok").toBool());
    EXPECT_EQ(area->scrollPos(), 0);
    EXPECT_EQ(spies[0]->count(), 1);
}

TEST_F(AutomationCommandsTest, PlainWidgetsAnswerTheSameCommands)
{
    QWidget plain;
    plain.setWindowTitle(QStringLiteral("普通窗口"));
    auto* layout = new QVBoxLayout(&plain);
    auto* box = new QCheckBox(QStringLiteral("同意"));
    box->setObjectName("box");
    auto* combo = new QComboBox;
    combo->setObjectName("combo");
    combo->addItems({"a", "b", "c"});
    auto* edit = new QLineEdit;
    edit->setObjectName("edit");
    layout->addWidget(box);
    layout->addWidget(combo);
    layout->addWidget(edit);
    plain.show();
    auto at = [](const char* cmd, const char* widget, QJsonObject extra = {}) {
        extra.insert("cmd", cmd);
        extra.insert("window", QStringLiteral("普通窗口"));
        extra.insert("widget", widget);
        return extra;
    };
    QSignalSpy activated(combo, qOverload<int>(&QComboBox::activated));
    EXPECT_TRUE(commands.execute(at("select", "combo", {{"index", 2}})).value("ok").toBool());
    EXPECT_EQ(activated.count(), 1);
    EXPECT_EQ(commands.execute(at("text", "combo")).value("text").toString(), "c");
    EXPECT_TRUE(commands.execute(at("check", "box", {{"checked", true}})).value("ok").toBool());
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(commands.execute(at("setText", "edit", {{"text", "x"}})).value("ok").toBool());
    EXPECT_EQ(edit->text(), "x");
    EXPECT_FALSE(commands.execute(at("check", "edit", {{"checked", true}})).value("ok").toBool());
}

TEST_F(AutomationCommandsTest, HostCommandsGoToTheTargetAndEchoTheId)
{
    EXPECT_EQ(commands.execute({{"cmd", "state"}, {"id", "a"}}).value("id").toString(), "a");
    EXPECT_EQ(commands.execute({{"cmd", "addon"}}).value("error").toString(), "box empty");
    EXPECT_TRUE(commands.execute({{"cmd", "subchannel"}, {"id", 7}}).value("ok").toBool());
    EXPECT_EQ(target.lastSubChannel, 7u);
    EXPECT_FALSE(commands.execute({{"cmd", "subchannel"}, {"id", 1.5}}).value("ok").toBool());
    EXPECT_TRUE(commands.execute({{"cmd", "quit"}}).value("ok").toBool());
    EXPECT_EQ(target.quits, 1);
}

TEST_F(AutomationCommandsTest, WebLinkPrintsTheLinkAndOpensItOnlyWhenAsked)
{
    const struct
    {
        const char* name;
        QJsonObject command;
        QString targetError;
        bool ok;
        int opens;
        QString answerError;
    } rows[] = {
        {"print", {{"cmd", "webLink"}}, {}, true, 0, {}},
        {"open", {{"cmd", "webLink"}, {"open", true}}, {}, true, 1, {}},
        {"open false", {{"cmd", "webLink"}, {"open", false}}, {}, true, 0, {}},
        {"open not a flag", {{"cmd", "webLink"}, {"open", "yes"}}, {}, false, 0, "webLink takes \"open\""},
        {"host without a web address",
         {{"cmd", "webLink"}},
         "no web viewer link",
         false,
         0,
         "no web viewer link"},
    };
    for (const auto& row : rows) {
        target.webError = row.targetError;
        target.opens = 0;
        const QJsonObject answer = commands.execute(row.command);
        EXPECT_EQ(answer.value("ok").toBool(), row.ok) << row.name;
        EXPECT_EQ(target.opens, row.opens) << row.name;
        EXPECT_TRUE(answer.value("error").toString().startsWith(row.answerError)) << row.name;
        if (row.ok) {
            EXPECT_EQ(answer.value("url").toString(), "http://h:1/vote/888/1?uid=1&nick=%2B") << row.name;
            EXPECT_EQ(answer.value("opened").toBool(), row.opens == 1) << row.name;
        }
    }
}

class AutomationServerTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    void SetUp() override
    {
        path = dir.filePath("a.sock");
        ASSERT_TRUE(server.listen(path)) << server.errorString().toStdString();
        client.connectToServer(path);
        ASSERT_TRUE(client.waitForConnected(2000));
    }

    QList<QJsonObject> readAnswers(int count)
    {
        QList<QJsonObject> answers;
        waitUntil([&] {
            while (client.canReadLine())
                answers << QJsonDocument::fromJson(client.readLine()).object();
            return answers.size() >= count;
        });
        return answers;
    }

    QTemporaryDir dir;
    QString path;
    FakeTarget target;
    AutomationCommands commands{&target};
    AutomationServer server{&commands};
    QLocalSocket client;
};

TEST_F(AutomationServerTest, SocketIsForItsOwnerOnlyAndAnswersEachLineInOrder)
{
    const QFileDevice::Permissions permissions = QFileInfo(path).permissions();
    EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                                QFileDevice::WriteOther));

    client.write("{\"cmd\":\"state\",\"id\":1}\n\n{oops}\n{\"cmd\":\"state\",\"id\":2}\n");
    const QList<QJsonObject> answers = readAnswers(3);
    ASSERT_EQ(answers.size(), 3);
    EXPECT_EQ(answers[0].value("id").toInt(), 1);
    EXPECT_FALSE(answers[1].value("ok").toBool(true));
    EXPECT_EQ(answers[2].value("id").toInt(), 2);
}

TEST_F(AutomationServerTest, AnOverlongLineIsRefusedAndTheClientDropped)
{
    client.write(QByteArray(AutomationServer::kMaxLineBytes + 100, 'x'));
    const QList<QJsonObject> answers = readAnswers(1);
    ASSERT_EQ(answers.size(), 1);
    EXPECT_TRUE(answers[0].value("error").toString().contains("longer than"));
    EXPECT_TRUE(waitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }));

    QLocalSocket next;
    next.connectToServer(path);
    ASSERT_TRUE(next.waitForConnected(2000)) << "the server keeps serving";
    next.write(QByteArray("{\"cmd\":\"state\",\"pad\":\"") + QByteArray(60000, 'y') + "\"}\n");
    EXPECT_TRUE(waitUntil([&] { return next.canReadLine(); }));
    EXPECT_TRUE(QJsonDocument::fromJson(next.readLine()).object().value("ok").toBool())
        << "a long line within the limit is served";
}

TEST_F(AutomationServerTest, AClientThatNeverReadsIsDroppedPastTheUnreadCapAndOthersAreStillServed)
{
    // The client's socket stops taking data off the wire once its small buffer is full, so the
    // answers pile up in the server as they would for a client that never reads.
    client.setReadBufferSize(4096);
    const QByteArray command = "{\"cmd\":\"state\",\"id\":\"" + QByteArray(1000, 'p') + "\"}\n";
    const qint64 commandCount = 2 * AutomationServer::kMaxUnreadAnswerBytes / command.size();
    for (qint64 i = 0; i < commandCount; ++i)
        client.write(command);
    EXPECT_TRUE(waitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }, 20000));
    EXPECT_TRUE(waitUntil([&] { return server.findChildren<QLocalSocket*>().isEmpty(); }))
        << "the dropped client's socket is freed";

    QLocalSocket next;
    next.connectToServer(path);
    ASSERT_TRUE(next.waitForConnected(2000));
    next.write("{\"cmd\":\"state\",\"id\":9}\n");
    EXPECT_TRUE(waitUntil([&] { return next.canReadLine(); }));
    EXPECT_EQ(QJsonDocument::fromJson(next.readLine()).object().value("id").toInt(), 9);
}

// A socket file left behind by a host that is gone: bound, never listening, no longer open.
bool makeOldSocket(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

struct FileIdentity
{
    bool exists = false;
    ino_t inode = 0;
    mode_t mode = 0;
    bool operator==(const FileIdentity& other) const
    {
        return exists == other.exists && inode == other.inode && mode == other.mode;
    }
};

FileIdentity identityOf(const QString& path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {true, status.st_ino, status.st_mode};
}

bool answersState(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("{\"cmd\":\"state\"}\n");
    return waitUntil([&] { return socket.canReadLine(); }) &&
           QJsonDocument::fromJson(socket.readLine()).object().value("ok").toBool();
}

TEST(AutomationSocketPath, OnlyAnOldSocketIsReplacedAndEverythingElseIsRefusedAndLeftInPlace)
{
    hostTestApp();
    QTemporaryDir dir;
    FakeTarget target;
    AutomationCommands commands{&target};
    std::unique_ptr<AutomationServer> liveHost;
    struct Case
    {
        const char* what;
        std::function<bool(const QString& path)> make;
        QString error; // PATH stands for the path; empty: the server listens
    };
    const Case cases[] = {
        {"nothing", [](const QString&) { return true; }, {}},
        {"an old socket", makeOldSocket, {}},
        {"a live socket",
         [&](const QString& path) {
             liveHost = std::make_unique<AutomationServer>(&commands);
             return liveHost->listen(path);
         },
         "automation socket PATH is in use"},
        {"a regular file", [](const QString& path) { return writeFile(path, "keep me"); },
         "automation socket PATH is a regular file, not a socket; it is left in place"},
        {"a folder", [](const QString& path) { return QDir().mkdir(path); },
         "automation socket PATH is a folder, not a socket; it is left in place"},
        {"a symbolic link",
         [&](const QString& path) {
             return writeFile(dir.filePath("target"), "keep me") && QFile::link(dir.filePath("target"), path);
         },
         "automation socket PATH is a symbolic link, not a socket; it is left in place"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("%1.sock").arg(&c - cases));
        ASSERT_TRUE(c.make(path)) << c.what;
        const FileIdentity before = identityOf(path);
        AutomationServer server(&commands);
        const bool listening = server.listen(path);
        if (c.error.isEmpty()) {
            EXPECT_TRUE(listening) << c.what << ": " << server.errorString().toStdString();
            EXPECT_TRUE(answersState(path)) << c.what;
            continue;
        }
        EXPECT_FALSE(listening) << c.what;
        EXPECT_EQ(server.errorString().toStdString(), QString(c.error).replace("PATH", path).toStdString())
            << c.what;
        EXPECT_TRUE(identityOf(path) == before) << c.what << " is still there, untouched";
    }
    EXPECT_TRUE(answersState(liveHost->path())) << "the live host keeps its socket";
    QFile file(dir.filePath("target"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep me");
}

TEST(AutomationSocketPath, ARelativePathIsTakenFromTheWorkingDirectory)
{
    hostTestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    FakeTarget target;
    AutomationCommands commands{&target};
    const QString startDirectory = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    for (const QString relative : {"rel.sock", "sub/rel.sock"}) {
        AutomationServer server(&commands);
        EXPECT_TRUE(server.listen(relative)) << server.errorString().toStdString();
        EXPECT_TRUE(answersState(dir.filePath(relative))) << relative.toStdString();
    }
    QDir::setCurrent(startDirectory);
}

} // namespace
