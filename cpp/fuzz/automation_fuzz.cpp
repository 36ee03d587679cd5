// tovo-host's automation commands: each input line is one command for a host with two windows,
// a plain widget window and a layout-built scene window, both with every kind of widget the
// commands read, write, click or select. Every line gets an answer object carrying "ok", and no
// command crashes, whatever its path, index or values.
//
// "grab" commands are not run: that command writes an image file wherever the line says. Only
// the first lines of an input run: the windows keep their state from one input to the next, so
// long sequences build up anyway, and a run of mostly broken lines would only cost time.

#include "host/automation/automationcommands.h"
#include "host/automation/automationtarget.h"
#include "paneframewindow.h"
#include "panelayoutloader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace {

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "automation fuzz: %s\n", what);
    std::abort();
}

class FakeTarget : public AutomationTarget
{
public:
    QJsonObject hostState() const override { return {{"uid", 1000}, {"role", 255}, {"connected", true}}; }
    QString clickAddon() override { return {}; }
    QString switchSubChannel(quint32 subChannelId) override
    {
        return subChannelId % 2 == 0 ? QString() : QStringLiteral("no such sub-channel");
    }
    QString activateChannelWindow(bool) override { return {}; }
    QString webViewerLink(bool, QUrl* link) override
    {
        *link = QUrl("http://127.0.0.1:1/vote/1/1?uid=1");
        return {};
    }
    void quitSoon() override {}
};

const char kSceneLayout[] = R"(<xmlui>
  <PaneFrameWindow objectName="sceneWnd" fixSize="300,200" title="Scene">
    <PaneWidget objectName="root" layout="VBox">
      <PaneLabelWidget objectName="label" text="label"/>
      <PanePushButton objectName="button" fixSize="60,20" text="go"/>
      <PaneLineEdit objectName="edit" fixSize="100,20" validator=".{0,20}"/>
      <PaneComboBox objectName="combo" fixSize="100,20"><ComboData><Item text="a"/><Item text="b"/></ComboData></PaneComboBox>
      <PaneCheckBox objectName="check" text="c"/>
    </PaneWidget>
  </PaneFrameWindow>
</xmlui>)";

QWidget* plainWindow()
{
    auto* window = new QWidget;
    window->setObjectName("plainWnd");
    window->setWindowTitle("Plain");
    auto* layout = new QVBoxLayout(window);
    auto add = [&](QWidget* widget, const char* name) {
        widget->setObjectName(name);
        layout->addWidget(widget);
    };
    add(new QLabel("label"), "label");
    add(new QPushButton("button"), "button");
    add(new QLineEdit, "edit");
    auto* combo = new QComboBox;
    combo->addItems({"a", "b", "c"});
    add(combo, "combo");
    add(new QCheckBox("check"), "check");
    add(new QPlainTextEdit, "plain");
    return window;
}

// The command name as the commands read it, escapes and all.
bool writesFiles(const QJsonObject& command)
{
    return command.value("cmd").toString(command.value("command").toString()) == QLatin1String("grab");
}

constexpr int kMaxLines = 16;

FakeTarget* target = nullptr;
AutomationCommands* commands = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FENBASE_LOG_LEVEL", "0", 0);
    // Qt's warnings about the offscreen platform would flood the fuzzer's output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QApplication(*argc, *argv);
    plainWindow()->show();
    if (PaneFrameWindow* scene = PaneLayoutLoader::loadData(QByteArray(kSceneLayout)))
        scene->show();
    else
        fault("the scene window's layout does not load");
    target = new FakeTarget;
    commands = new AutomationCommands(target);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const QList<QByteArray> lines = input.split('\n');
    for (int i = 0; i < std::min(lines.size(), kMaxLines); ++i) {
        const QByteArray& line = lines.at(i);
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (writesFiles(document.object()))
            continue;
        const QJsonObject answer = commands->executeLine(line);
        if (!answer.value("ok").isBool())
            fault("an answer without \"ok\"");
        // A line that is not a command object touched no widget, so there is nothing to deliver.
        if (document.isObject())
            QCoreApplication::processEvents();
    }
    return 0;
}
