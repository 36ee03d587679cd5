// The XML layout loader, offscreen: any document gives a window or none, never a crash, a hang
// or unbounded memory. A window that loads is laid out at its own size and drawn once (up to
// 1024 pixels a side), so the attribute values the loader accepted also reach the widgets'
// geometry and painting.

#include "paneframewindow.h"
#include "panelayoutloader.h"

#include <QApplication>
#include <QByteArray>
#include <QPixmap>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {
constexpr int kMaxDrawnSide = 1024;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FENBASE_LOG_LEVEL", "0", 0);
    // Qt's warnings about the offscreen platform would flood the fuzzer's output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray xml(reinterpret_cast<const char*>(data), int(size));
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
    if (window) {
        window->adjustSize();
        // Drawing a window near the 8192-pixel limit only costs time, not coverage.
        if (window->width() <= kMaxDrawnSide && window->height() <= kMaxDrawnSide)
            window->grab();
    }
    return 0;
}
