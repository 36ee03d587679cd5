#pragma once

// The layout format's vocabulary: the built-in element classes and how each attribute is parsed
// and applied to a widget or window. Used by PaneLayoutLoader and PaneDynamicCreator.

#include <QColor>
#include <QGraphicsWidget>
#include <QMarginsF>
#include <QSizeF>
#include <QString>

#include <optional>

class PaneFrameWindow;

class PaneAttributes
{
public:
    enum Result
    {
        Applied,
        Unsupported, // the attribute does not exist or does not apply to this class
        BadValue
    };

    static bool isBuiltInClass(const QString& className);
    // A new widget of a built-in class, or null.
    static QGraphicsWidget* createBuiltIn(const QString& className, QGraphicsItem* parent);

    static Result apply(QGraphicsWidget* widget, const QString& name, const QString& value);
    static Result applyToWindow(PaneFrameWindow* window, const QString& name, const QString& value);

    // Value parsers; empty when the text is malformed. Numbers are clamped to +-kMaxExtent.
    static std::optional<qreal> parseNumber(const QString& text, qreal minimum, qreal maximum);
    static std::optional<QSizeF> parseSize(const QString& text);
    static std::optional<QMarginsF> parseMargins(const QString& text);
    static std::optional<QColor> parseColor(const QString& text);
    static std::optional<Qt::Alignment> parseAlignment(const QString& text);
    static std::optional<bool> parseBool(const QString& text);
};
