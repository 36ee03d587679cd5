// The whole add-on on the fake host: frames arriving on the service connection travel through
// the service link and the protocol into the real controller and its windows, which keep their
// state from one input to the next, as they do in a long session. Nothing the service sends may
// crash the add-on or make it misuse memory.
//
// Input: one byte choosing the user's role (even: channel owner, odd: viewer), then frames, each
// a u16 length and that many bytes.

#include "tests/support/fakehost.h"
#include "fuzz/fuzzinput.h"
#include "panemessagebox.h"
#include "src/quorixapp/quorixapp.h"

#include <QApplication>

#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace {

FakeHost* host = nullptr;

void closeFailureBoxes()
{
    while (PaneMessageBox* box = PaneMessageBox::lastBox()) {
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FENBASE_LOG_LEVEL", "0", 0);
    // Qt's warnings about the offscreen platform would flood the fuzzer's output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    new QApplication(*argc, *argv);
    host = new FakeHost;
    host->setConnectionsReady(true);
    host->channel().setChannelId(10);
    host->channel().setSubChannelId(20);
    host->channel().myRow().setUInt32(L"dwUid", 1000);
    QuorixApp::instance()->init(host->root());
    if (QuorixApp::instance()->getController() == nullptr || host->lastConnection() == nullptr) {
        std::fprintf(stderr, "addon fuzz: the add-on did not start\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    host->channel().myRow().setUInt32(L"dwRole", in.u8() % 2 == 0 ? 255 : 20);
    while (!in.empty()) {
        // The first connection the fake host opens has id 1.
        host->lastConnection()->deliver(1, in.bytes(4096));
        closeFailureBoxes();
    }
    QCoreApplication::processEvents();
    return 0;
}
