#include "paneframewindow.h"
#include "panelayoutloader.h"

#include <QApplication>

#include <benchmark/benchmark.h>

static void BM_FlatSiblings(benchmark::State& state)
{
    const QByteArray xml = "<xmlui><PaneFrameWindow fixSize=\"100,100\"><PaneWidget layout=\"HBox\">" +
                           QByteArray("<PaneSpacerItem fixWidth=\"1\"/>").repeated(int(state.range(0))) +
                           "</PaneWidget></PaneFrameWindow></xmlui>";
    for (auto _ : state)
        delete PaneLayoutLoader::loadData(xml);
}
BENCHMARK(BM_FlatSiblings)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("FENBASE_LOG_LEVEL", "1");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
