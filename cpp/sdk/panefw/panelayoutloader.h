#pragma once

// Builds a PaneFrameWindow from an XML layout (format: docs/layout-format.md). Layouts are
// untrusted input: a broken document gives no window and a log line; unknown attributes,
// missing images and bad values are logged and skipped; nesting and sizes are bounded.

#include <QByteArray>
#include <QString>

class PaneFrameWindow;
class QWidget;

class PaneLayoutLoader
{
public:
    static constexpr int kMaxDepth = 64;      // element nesting below xmlui
    static constexpr int kMaxElements = 5000; // elements per document
    static constexpr int kMaxChildren = 1000; // child elements of one element
    static constexpr qint64 kMaxFileBytes = 4 << 20;
    static constexpr int kMaxExtent = 8192; // sizes, positions, margins are clamped to 0..this

    // A Qt resource path (":/...") or a plain file. Null on failure (logged).
    static PaneFrameWindow* loadFile(const QString& path, QWidget* parent = nullptr);
    // sourceName only names the document in log lines.
    static PaneFrameWindow* loadData(const QByteArray& xml, QWidget* parent = nullptr,
                                     const QString& sourceName = QStringLiteral("<data>"));
};

using PaneUICreator = PaneLayoutLoader;
