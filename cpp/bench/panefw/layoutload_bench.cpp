// Time to build windows from layouts: a management-window-sized layout (six stacked pages,
// about 200 elements), the shipped management layout when it is present (also shown and drawn),
// and many siblings in one box (the loader's worst case, bounded by its child limit).

#include "panedynamiccreator.h"
#include "paneframewindow.h"
#include "panelayoutloader.h"
#include "panescrollarea.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QString g_imageDir;

QString image(const char* name, int width, int height, QColor color)
{
    const QString path = g_imageDir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (!QFile::exists(path)) {
        QImage pixels(width, height, QImage::Format_ARGB32);
        pixels.fill(color);
        pixels.save(path, "PNG");
    }
    return path;
}

// One page: a navigation bar, a form of labelled inputs and a footer; 33 elements.
QByteArray page(int index)
{
    const QString nav = image("nav", 32, 32, QColor(230, 236, 245));
    const QString button = image("btn", 90, 28, QColor(0, 113, 192));
    QString xml =
        QStringLiteral("<PaneWidget objectName=\"page%1\" layout=\"VBox\" spacing=\"6\">"
                       "<PaneFrameItem objectName=\"topWidget\" layout=\"HBox\" fixHeight=\"32\" "
                       "imagePath=\"%2\" frameType=\"NinePieces\">"
                       "<PanePushButton fixSize=\"73,32\" imagePath=\"%3|%3|%3\"/>"
                       "<PaneSpacerItem fixWidth=\"10\"/><PaneLabelWidget text=\"标题\" fixWidth=\"60\"/>"
                       "<PaneSpacerItem/></PaneFrameItem>")
            .arg(index)
            .arg(nav, button);
    for (int row = 0; row < 5; ++row) {
        xml += QStringLiteral(
                   "<PaneWidget layout=\"HBox\" fixHeight=\"30\" spacing=\"5\">"
                   "<PaneLabelWidget text=\"名称%1\" fixWidth=\"40\" fontSize=\"12\" textColor=\"51,51,51\" "
                   "alignment=\"AlignLeft|AlignVCenter\"/>"
                   "<PaneLineEdit fixSize=\"155,30\" placeholderText=\"设置\" validator=\".{1,20}\"/>"
                   "<PaneComboBox fixSize=\"75,30\" editable=\"true\"><ComboData><Item text=\"1\"/>"
                   "<Item text=\"2\"/></ComboData></PaneComboBox>"
                   "<PaneSpacerItem/></PaneWidget>")
                   .arg(row);
    }
    xml += QStringLiteral("<PaneWidget layout=\"HBox\" fixHeight=\"50\"><PaneSpacerItem/>"
                          "<PanePushButton fixSize=\"90,28\" imagePath=\"%1|%1|%1|%1\" text=\"开始\"/>"
                          "<PaneSpacerItem fixWidth=\"20\"/></PaneWidget></PaneWidget>")
               .arg(button);
    return xml.toUtf8();
}

QByteArray managementSizedLayout()
{
    QByteArray xml = "<xmlui><PaneFrameWindow objectName=\"VoteMgrWin\" fixSize=\"518,339\" "
                     "frameStyle=\"FrameLess\" backgroundImage=\"" +
                     image("bg", 518, 339, QColor(246, 248, 252)).toUtf8() +
                     "\"><PaneWidget layout=\"Anchor\" fixSize=\"518,339\">"
                     "<PaneWidget layout=\"VBox\" anchor=\"Left:8|Right:10|Top:6|Bottom:0\">"
                     "<PaneStackedWidget objectName=\"stackedWidget\">";
    for (int i = 0; i < 6; ++i)
        xml += page(i);
    return xml + "</PaneStackedWidget></PaneWidget></PaneWidget></PaneFrameWindow></xmlui>";
}

void BM_ManagementSizedLayout(benchmark::State& state)
{
    const QByteArray xml = managementSizedLayout();
    state.counters["elements"] = double(xml.count("<Pane") + xml.count("<Item"));
    for (auto _ : state) {
        PaneFrameWindow* window = PaneLayoutLoader::loadData(xml);
        if (window == nullptr)
            state.SkipWithError("layout did not load");
        delete window;
    }
}
BENCHMARK(BM_ManagementSizedLayout)->Unit(benchmark::kMillisecond);

// The shipped management layout, or empty with the benchmark skipped when it is not there.
QByteArray shippedManagementLayout(benchmark::State& state)
{
    QFile file(QStringLiteral(QUORIX_LAYOUT_DIR "/voteMrg.xml"));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("voteMrg.xml not found");
        return {};
    }
    return file.readAll();
}

void BM_ShippedManagementLayout(benchmark::State& state)
{
    const QByteArray xml = shippedManagementLayout(state);
    if (xml.isEmpty())
        return;
    for (auto _ : state)
        delete PaneLayoutLoader::loadData(xml);
}
BENCHMARK(BM_ShippedManagementLayout)->Unit(benchmark::kMillisecond);

// What a person waits for: the shipped management window built, shown and drawn once.
void BM_ShippedManagementWindowDrawn(benchmark::State& state)
{
    const QByteArray xml = shippedManagementLayout(state);
    if (xml.isEmpty())
        return;
    for (auto _ : state) {
        PaneFrameWindow* window = PaneLayoutLoader::loadData(xml);
        if (window == nullptr) {
            state.SkipWithError("layout did not load");
            return;
        }
        window->show();
        benchmark::DoNotOptimize(window->grab());
        delete window;
    }
}
BENCHMARK(BM_ShippedManagementWindowDrawn)->Unit(benchmark::kMillisecond);

void BM_ManySiblings(benchmark::State& state)
{
    const QByteArray xml = "<xmlui><PaneFrameWindow fixSize=\"100,100\"><PaneWidget layout=\"HBox\">" +
                           QByteArray("<PaneSpacerItem fixWidth=\"1\"/>").repeated(int(state.range(0))) +
                           "</PaneWidget></PaneFrameWindow></xmlui>";
    for (auto _ : state)
        delete PaneLayoutLoader::loadData(xml);
}
BENCHMARK(BM_ManySiblings)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("FENBASE_LOG_LEVEL", "0");
    QApplication app(argc, argv);
    QTemporaryDir images;
    g_imageDir = images.path();
    PaneDynamicCreator::registerClass(QStringLiteral("QuorixPaneListCtrl"),
                                      [](QGraphicsItem* parent) { return new PaneScrollArea(parent); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
