#include "tests/sdk/panefw/panetestsupport.h"

#include "paneframewindow.h"

#include <QApplication>
#include <QGraphicsView>
#include <QGraphicsWidget>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "panefw_test";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace

namespace panetest {

ImageDir::ImageDir() = default;

QString ImageDir::image(const QString& name, const QColor& color, int width, int height)
{
    const QString file = path(name);
    if (!QFile::exists(file)) {
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(color);
        image.save(file, "PNG");
    }
    return file;
}

QString ImageDir::path(const QString& name) const
{
    return m_dir.filePath(name + QStringLiteral(".png"));
}

QPoint viewPoint(PaneFrameWindow* window, QGraphicsWidget* widget)
{
    const QPointF scenePoint = widget->mapToScene(widget->rect().center());
    return window->view()->mapFromScene(scenePoint);
}

void hover(PaneFrameWindow* window, QGraphicsWidget* widget)
{
    QTest::mouseMove(window->view()->viewport(), viewPoint(window, widget));
    QApplication::processEvents();
}

void leave(PaneFrameWindow* window)
{
    QTest::mouseMove(window->view()->viewport(), QPoint(1, 1));
    QApplication::processEvents();
}

void press(PaneFrameWindow* window, QGraphicsWidget* widget)
{
    QTest::mousePress(window->view()->viewport(), Qt::LeftButton, Qt::NoModifier, viewPoint(window, widget));
}

void release(PaneFrameWindow* window, QGraphicsWidget* widget)
{
    QTest::mouseRelease(window->view()->viewport(), Qt::LeftButton, Qt::NoModifier,
                        viewPoint(window, widget));
}

void click(PaneFrameWindow* window, QGraphicsWidget* widget)
{
    press(window, widget);
    release(window, widget);
}

void showAndWait(PaneFrameWindow* window)
{
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::processEvents();
}

} // namespace panetest
