#include "panelayoutloader.h"

#include "cperflogproxy.h"
#include "paneattributes.h"
#include "panecombobox.h"
#include "panedynamiccreator.h"
#include "panefocuschainlinker.h"
#include "paneframewindow.h"
#include "panefwinit.h"
#include "panelog.h"
#include "panewidget.h"

#include <QFile>
#include <QGraphicsScene>
#include <QXmlStreamReader>

#include <memory>

namespace {

// One load: the reader, the document's name for log lines and the element budget.
class LayoutBuilder
{
public:
    LayoutBuilder(const QByteArray& xml, const QString& sourceName) : m_reader(xml), m_source(sourceName) {}

    std::unique_ptr<PaneFrameWindow> build(QWidget* parent);
    QString errorText() const;

private:
    bool readRoot(PaneFrameWindow* window);
    void readChildren(QGraphicsWidget* parent, int depth);
    void readElement(QGraphicsWidget* parent, int depth);
    void readComboData(QGraphicsWidget* parent);
    QGraphicsWidget* createWidget(const QString& className, QGraphicsWidget* parent);
    void applyAttributes(QGraphicsWidget* widget, const QString& className);
    void applyWindowAttributes(PaneFrameWindow* window);
    void logAttribute(PaneAttributes::Result result, const QString& className, const QString& name,
                      const QString& value);
    bool countElement();

    QXmlStreamReader m_reader;
    QString m_source;
    int m_elements = 0;
};

QString LayoutBuilder::errorText() const
{
    return QStringLiteral("layout %1 is broken at line %2 column %3: %4")
        .arg(m_source)
        .arg(m_reader.lineNumber())
        .arg(m_reader.columnNumber())
        .arg(m_reader.errorString());
}

std::unique_ptr<PaneFrameWindow> LayoutBuilder::build(QWidget* parent)
{
    if (!m_reader.readNextStartElement() || m_reader.name() != QLatin1String("xmlui")) {
        if (!m_reader.hasError())
            m_reader.raiseError(QStringLiteral("the root element must be xmlui"));
        return nullptr;
    }
    if (!m_reader.readNextStartElement() || m_reader.name() != QLatin1String("PaneFrameWindow")) {
        if (!m_reader.hasError())
            m_reader.raiseError(QStringLiteral("xmlui must hold a PaneFrameWindow"));
        return nullptr;
    }
    auto window = std::make_unique<PaneFrameWindow>(parent);
    if (!readRoot(window.get()))
        return nullptr;
    return window;
}

bool LayoutBuilder::readRoot(PaneFrameWindow* window)
{
    applyWindowAttributes(window);
    // Built outside the scene, as the focus chain linker needs; the tree enters it whole.
    PaneWidget* root = window->rootWidget();
    QGraphicsScene* scene = root->scene();
    if (scene != nullptr)
        scene->removeItem(root);
    readChildren(root, 1);
    if (scene != nullptr)
        scene->addItem(root);
    PaneFocusChainLinker::linkInTreeOrder(root);
    // Anything after the window (other than the closing xmlui) is not part of the format.
    while (!m_reader.hasError() && m_reader.readNextStartElement()) {
        PANE_LOG(
            1,
            QStringLiteral("layout %1: element %2 after the window ignored").arg(m_source, m_reader.name()));
        m_reader.skipCurrentElement();
    }
    if (!m_reader.hasError()) {
        while (!m_reader.atEnd())
            m_reader.readNext();
    }
    if (m_reader.hasError())
        return false;
    window->relayout();
    return true;
}

bool LayoutBuilder::countElement()
{
    if (++m_elements <= PaneLayoutLoader::kMaxElements)
        return true;
    m_reader.raiseError(QStringLiteral("more than %1 elements").arg(PaneLayoutLoader::kMaxElements));
    return false;
}

void LayoutBuilder::readChildren(QGraphicsWidget* parent, int depth)
{
    int children = 0;
    while (!m_reader.hasError() && m_reader.readNextStartElement()) {
        if (!countElement())
            return;
        if (++children > PaneLayoutLoader::kMaxChildren) {
            m_reader.raiseError(
                QStringLiteral("more than %1 children in one element").arg(PaneLayoutLoader::kMaxChildren));
            return;
        }
        if (depth >= PaneLayoutLoader::kMaxDepth) {
            m_reader.raiseError(
                QStringLiteral("elements nested deeper than %1").arg(PaneLayoutLoader::kMaxDepth));
            return;
        }
        readElement(parent, depth);
    }
}

void LayoutBuilder::readElement(QGraphicsWidget* parent, int depth)
{
    const QString className = m_reader.name().toString();
    if (className == QLatin1String("ComboData")) {
        readComboData(parent);
        return;
    }
    QGraphicsWidget* widget = createWidget(className, parent);
    if (widget == nullptr) {
        PANE_LOG(1, QStringLiteral("layout %1 line %2: unknown class %3 skipped with its children")
                        .arg(m_source)
                        .arg(m_reader.lineNumber())
                        .arg(className));
        m_reader.skipCurrentElement();
        return;
    }
    PaneFocusChainLinker::attach(widget, parent);
    applyAttributes(widget, className);
    readChildren(widget, depth + 1);
}

void LayoutBuilder::readComboData(QGraphicsWidget* parent)
{
    auto* combo = qobject_cast<PaneComboBox*>(parent);
    if (combo == nullptr) {
        PANE_LOG(1, QStringLiteral("layout %1 line %2: ComboData outside a PaneComboBox skipped")
                        .arg(m_source)
                        .arg(m_reader.lineNumber()));
        m_reader.skipCurrentElement();
        return;
    }
    QList<QVariantMap> items;
    while (m_reader.readNextStartElement()) {
        if (!countElement())
            return;
        if (m_reader.name() == QLatin1String("Item"))
            items.append(
                QVariantMap{{QStringLiteral("text"), m_reader.attributes().value("text").toString()}});
        else
            PANE_LOG(1, QStringLiteral("layout %1: element %2 inside ComboData skipped")
                            .arg(m_source, m_reader.name()));
        m_reader.skipCurrentElement();
    }
    if (!m_reader.hasError())
        combo->setData(items);
}

QGraphicsWidget* LayoutBuilder::createWidget(const QString& className, QGraphicsWidget* parent)
{
    // Built-in widgets are made without a parent for the focus chain linker to attach them.
    if (PaneAttributes::isBuiltInClass(className))
        return PaneAttributes::createBuiltIn(className, nullptr);
    if (PaneDynamicCreator::isRegistered(className))
        return PaneDynamicCreator::create(className, parent);
    return nullptr;
}

void LayoutBuilder::applyAttributes(QGraphicsWidget* widget, const QString& className)
{
    for (const QXmlStreamAttribute& attribute : m_reader.attributes()) {
        const QString name = attribute.name().toString();
        const QString value = attribute.value().toString();
        logAttribute(PaneAttributes::apply(widget, name, value), className, name, value);
    }
}

void LayoutBuilder::applyWindowAttributes(PaneFrameWindow* window)
{
    for (const QXmlStreamAttribute& attribute : m_reader.attributes()) {
        const QString name = attribute.name().toString();
        const QString value = attribute.value().toString();
        logAttribute(PaneAttributes::applyToWindow(window, name, value), QStringLiteral("PaneFrameWindow"),
                     name, value);
    }
}

void LayoutBuilder::logAttribute(PaneAttributes::Result result, const QString& className, const QString& name,
                                 const QString& value)
{
    if (result == PaneAttributes::Applied)
        return;
    const QString what = result == PaneAttributes::Unsupported ? QStringLiteral("unknown attribute")
                                                               : QStringLiteral("bad value for attribute");
    PANE_LOG(1, QStringLiteral("layout %1 line %2: %3 %4=\"%5\" of %6 skipped")
                    .arg(m_source)
                    .arg(m_reader.lineNumber())
                    .arg(what, name, value.left(80), className));
}

} // namespace

PaneFrameWindow* PaneLayoutLoader::loadFile(const QString& path, QWidget* parent)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PANE_LOG(1, QStringLiteral("layout %1 cannot be opened: %2").arg(path, file.errorString()));
        return nullptr;
    }
    if (file.size() > kMaxFileBytes) {
        PANE_LOG(1, QStringLiteral("layout %1 is larger than %2 bytes").arg(path).arg(kMaxFileBytes));
        return nullptr;
    }
    return loadData(file.read(kMaxFileBytes + 1), parent, path);
}

PaneFrameWindow* PaneLayoutLoader::loadData(const QByteArray& xml, QWidget* parent, const QString& sourceName)
{
    panefw::initialize();
    if (xml.size() > kMaxFileBytes) {
        PANE_LOG(1, QStringLiteral("layout %1 is larger than %2 bytes").arg(sourceName).arg(kMaxFileBytes));
        return nullptr;
    }
    if (xml.contains("<!DOCTYPE") || xml.contains("<!ENTITY")) {
        PANE_LOG(1, QStringLiteral("layout %1 declares a document type; refused").arg(sourceName));
        return nullptr;
    }
    CPerfLogProxy scope("PaneLayoutLoader::loadData");
    LayoutBuilder builder(xml, sourceName);
    std::unique_ptr<PaneFrameWindow> window = builder.build(parent);
    if (!window) {
        PANE_LOG(1, builder.errorText());
        return nullptr;
    }
    return window.release();
}
