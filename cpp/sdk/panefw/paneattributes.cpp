#include "paneattributes.h"

#include "panecheckbox.h"
#include "panecombobox.h"
#include "paneframeitemex.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "panelayoutloader.h"
#include "panelineedit.h"
#include "panepixmap.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"
#include "panescrollwidget.h"
#include "panespaceritem.h"
#include "panestackedwidget.h"

#include <QHash>
#include <QLineEdit>
#include <QMetaEnum>

#include <functional>

namespace {

using Handler = std::function<PaneAttributes::Result(QGraphicsWidget*, const QString&)>;
using Result = PaneAttributes::Result;

const qreal kMaxExtent = PaneLayoutLoader::kMaxExtent;

template <class T> Result with(QGraphicsWidget* widget, const std::function<bool(T*)>& action)
{
    T* target = qobject_cast<T*>(widget);
    if (target == nullptr)
        return PaneAttributes::Unsupported;
    return action(target) ? PaneAttributes::Applied : PaneAttributes::BadValue;
}

template <class T>
bool applyNumber(const QString& value, qreal minimum, qreal maximum, T* target, void (T::*setter)(qreal))
{
    const auto number = PaneAttributes::parseNumber(value, minimum, maximum);
    if (number)
        (target->*setter)(*number);
    return number.has_value();
}

// Font access for every class that draws text.
bool editFont(QGraphicsWidget* widget, const std::function<void(QFont&)>& edit)
{
    if (auto* label = qobject_cast<PaneLabelWidget*>(widget)) {
        QFont font = label->font();
        edit(font);
        label->setFont(font);
    } else if (auto* button = qobject_cast<PanePushButton*>(widget)) {
        QFont font = button->font();
        edit(font);
        button->setFont(font);
    } else if (auto* box = qobject_cast<PaneCheckBox*>(widget)) {
        QFont font = box->font();
        edit(font);
        box->setFont(font);
    } else if (auto* line = qobject_cast<PaneLineEdit*>(widget)) {
        QFont font = line->lineEdit()->font();
        edit(font);
        line->setFont(font);
    } else if (auto* combo = qobject_cast<PaneComboBox*>(widget)) {
        QFont font = combo->font();
        edit(font);
        combo->setFont(font);
    } else {
        return false;
    }
    return true;
}

Result fontAttribute(QGraphicsWidget* widget, bool valid, const std::function<void(QFont&)>& edit)
{
    if (!valid)
        return editFont(widget, [](QFont&) {}) ? PaneAttributes::BadValue : PaneAttributes::Unsupported;
    return editFont(widget, edit) ? PaneAttributes::Applied : PaneAttributes::Unsupported;
}

Result setText(QGraphicsWidget* widget, const QString& value)
{
    if (auto* label = qobject_cast<PaneLabelWidget*>(widget))
        label->setText(value);
    else if (auto* button = qobject_cast<PanePushButton*>(widget))
        button->setText(value);
    else if (auto* box = qobject_cast<PaneCheckBox*>(widget))
        box->setText(value);
    else if (auto* line = qobject_cast<PaneLineEdit*>(widget))
        line->setText(value);
    else
        return PaneAttributes::Unsupported;
    return PaneAttributes::Applied;
}

Result setTextColor(QGraphicsWidget* widget, const QString& value)
{
    const auto color = PaneAttributes::parseColor(value);
    if (!color)
        return PaneAttributes::BadValue;
    if (auto* label = qobject_cast<PaneLabelWidget*>(widget))
        label->setTextColor(*color);
    else if (auto* button = qobject_cast<PanePushButton*>(widget))
        button->setTextColor(*color);
    else if (auto* box = qobject_cast<PaneCheckBox*>(widget))
        box->setTextColor(*color);
    else if (auto* line = qobject_cast<PaneLineEdit*>(widget))
        line->setTextColor(*color);
    else if (auto* combo = qobject_cast<PaneComboBox*>(widget))
        combo->setTextColor(*color);
    else if (auto* bar = qobject_cast<PaneProgressBar*>(widget))
        bar->setTextColor(*color);
    else
        return PaneAttributes::Unsupported;
    return PaneAttributes::Applied;
}

Result setImagePath(QGraphicsWidget* widget, const QString& value)
{
    if (auto* frame = qobject_cast<PaneFrameItem*>(widget))
        frame->setImagePath(value);
    else if (auto* image = qobject_cast<PaneImageWidget*>(widget))
        image->setImagePath(value);
    else if (auto* box = qobject_cast<PaneCheckBox*>(widget))
        box->setImagePath(value);
    else
        return PaneAttributes::Unsupported;
    return PaneAttributes::Applied;
}

Result setAlignment(QGraphicsWidget* widget, const QString& value)
{
    const auto alignment = PaneAttributes::parseAlignment(value);
    if (!alignment)
        return PaneAttributes::BadValue;
    if (auto* parent = qobject_cast<PaneWidget*>(widget->parentWidget()))
        parent->setItemAlignment(widget, *alignment);
    if (auto* label = qobject_cast<PaneLabelWidget*>(widget))
        label->setAlignment(*alignment);
    else if (auto* line = qobject_cast<PaneLineEdit*>(widget))
        line->setAlignment(*alignment);
    return PaneAttributes::Applied;
}

Result setPosition(QGraphicsWidget* widget, const QString& value, bool horizontal)
{
    const auto number = PaneAttributes::parseNumber(value, -kMaxExtent, kMaxExtent);
    if (!number)
        return PaneAttributes::BadValue;
    const QPointF pos = widget->pos();
    widget->setPos(horizontal ? *number : pos.x(), horizontal ? pos.y() : *number);
    return PaneAttributes::Applied;
}

Result setLayoutType(QGraphicsWidget* widget, const QString& value)
{
    return with<PaneWidget>(widget, [&](PaneWidget* pane) {
        const int type = QMetaEnum::fromType<PaneWidget::LayoutType>().keyToValue(value.trimmed().toLatin1());
        if (type < 0)
            return false;
        pane->setLayout(type);
        return true;
    });
}

// A malformed flag is reported as a bad value whatever the class, and nothing is changed.
Result setBoolean(QGraphicsWidget* widget, const QString& value,
                  const std::function<bool(QGraphicsWidget*, bool)>& set)
{
    const auto flag = PaneAttributes::parseBool(value);
    if (!flag)
        return PaneAttributes::BadValue;
    return set(widget, *flag) ? PaneAttributes::Applied : PaneAttributes::Unsupported;
}

std::optional<int> parseColorizePolicy(const QString& value)
{
    if (value == QLatin1String("UnColorableFlag"))
        return PaneWidget::UnColorableFlag;
    if (value == QLatin1String("ColorableFlag"))
        return PaneWidget::ColorableFlag;
    const auto number = PaneAttributes::parseNumber(value, 0, 1024);
    if (!number)
        return std::nullopt;
    return int(*number);
}

Result applyProgressAttribute(QGraphicsWidget* widget, const QString& name, const QString& value)
{
    return with<PaneProgressBar>(widget, [&](PaneProgressBar* bar) {
        if (name == QLatin1String("progressImage")) {
            bar->setProgressImage(value);
            return true;
        }
        if (name == QLatin1String("progressStripeImage")) {
            bar->setProgressStripeImage(value);
            return true;
        }
        if (name == QLatin1String("textVisible")) {
            const auto flag = PaneAttributes::parseBool(value);
            if (flag)
                bar->setTextVisible(*flag);
            return flag.has_value();
        }
        const auto number = PaneAttributes::parseNumber(value, -1e9, 1e9);
        if (!number)
            return false;
        if (name == QLatin1String("minimum"))
            bar->setMinimum(int(*number));
        else if (name == QLatin1String("maximum"))
            bar->setMaximum(int(*number));
        else
            bar->setValue(int(*number));
        return true;
    });
}

const QHash<QString, Handler>& handlers()
{
    static const QHash<QString, Handler> table = [] {
        QHash<QString, Handler> h;
        h[QStringLiteral("objectName")] = [](QGraphicsWidget* w, const QString& v) {
            w->setObjectName(v);
            return PaneAttributes::Applied;
        };
        h[QStringLiteral("visible")] = [](QGraphicsWidget* w, const QString& v) {
            return setBoolean(w, v, [](QGraphicsWidget* t, bool b) { return t->setVisible(b), true; });
        };
        h[QStringLiteral("enabled")] = [](QGraphicsWidget* w, const QString& v) {
            return setBoolean(w, v, [](QGraphicsWidget* t, bool b) { return t->setEnabled(b), true; });
        };
        h[QStringLiteral("acceptHover")] = [](QGraphicsWidget* w, const QString& v) {
            return setBoolean(w, v,
                              [](QGraphicsWidget* t, bool b) { return t->setAcceptHoverEvents(b), true; });
        };
        h[QStringLiteral("acceptClick")] = [](QGraphicsWidget* w, const QString& v) {
            return setBoolean(w, v, [](QGraphicsWidget* t, bool b) {
                if (auto* label = qobject_cast<PaneLabelWidget*>(t))
                    return label->setAcceptClick(b), true;
                if (auto* frame = qobject_cast<PaneFrameItemEx*>(t))
                    return frame->setAcceptClick(b), true;
                return false;
            });
        };
        h[QStringLiteral("underlineOnHover")] = [](QGraphicsWidget* w, const QString& v) {
            return setBoolean(w, v, [](QGraphicsWidget* t, bool b) {
                auto* label = qobject_cast<PaneLabelWidget*>(t);
                return label != nullptr && (label->setUnderlineOnHover(b), true);
            });
        };
        h[QStringLiteral("x")] = [](QGraphicsWidget* w, const QString& v) { return setPosition(w, v, true); };
        h[QStringLiteral("y")] = [](QGraphicsWidget* w, const QString& v) {
            return setPosition(w, v, false);
        };
        h[QStringLiteral("fixSize")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(w, [&](PaneWidget* p) {
                const auto size = PaneAttributes::parseSize(v);
                if (size)
                    p->setFixSize(*size);
                return size.has_value();
            });
        };
        h[QStringLiteral("fixWidth")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(
                w, [&](PaneWidget* p) { return applyNumber(v, 0, kMaxExtent, p, &PaneWidget::setFixWidth); });
        };
        h[QStringLiteral("fixHeight")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(w, [&](PaneWidget* p) {
                return applyNumber(v, 0, kMaxExtent, p, &PaneWidget::setFixHeight);
            });
        };
        h[QStringLiteral("spacing")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(
                w, [&](PaneWidget* p) { return applyNumber(v, 0, kMaxExtent, p, &PaneWidget::setSpacing); });
        };
        h[QStringLiteral("margins")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(w, [&](PaneWidget* p) {
                const auto margins = PaneAttributes::parseMargins(v);
                if (margins)
                    p->setMargins(*margins);
                return margins.has_value();
            });
        };
        h[QStringLiteral("layout")] = setLayoutType;
        h[QStringLiteral("anchor")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(w, [&](PaneWidget* p) { return p->setAnchor(v); });
        };
        h[QStringLiteral("colorizePolicy")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneWidget>(w, [&](PaneWidget* p) {
                const auto policy = parseColorizePolicy(v);
                if (policy)
                    p->setColorizePolicy(*policy);
                return policy.has_value();
            });
        };
        h[QStringLiteral("alignment")] = setAlignment;
        h[QStringLiteral("text")] = setText;
        h[QStringLiteral("textColor")] = setTextColor;
        h[QStringLiteral("font")] = [](QGraphicsWidget* w, const QString& v) {
            return fontAttribute(w, !v.trimmed().isEmpty(), [&](QFont& f) { f.setFamily(v.trimmed()); });
        };
        h[QStringLiteral("fontSize")] = [](QGraphicsWidget* w, const QString& v) {
            const auto size = PaneAttributes::parseNumber(v, 1, 256);
            return fontAttribute(w, size.has_value(),
                                 [&](QFont& f) { f.setPixelSize(int(size.value_or(12))); });
        };
        h[QStringLiteral("bold")] = [](QGraphicsWidget* w, const QString& v) {
            const auto flag = PaneAttributes::parseBool(v);
            return fontAttribute(w, flag.has_value(), [&](QFont& f) { f.setBold(flag.value_or(false)); });
        };
        h[QStringLiteral("imagePath")] = setImagePath;
        h[QStringLiteral("frameType")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneFrameItem>(w, [&](PaneFrameItem* f) {
                const int type = PaneFrameItem::frameTypeFromString(v);
                if (type >= 0)
                    f->setFrameType(type);
                return type >= 0;
            });
        };
        h[QStringLiteral("placeholderText")] = [](QGraphicsWidget* w, const QString& v) {
            if (auto* label = qobject_cast<PaneLabelWidget*>(w))
                return label->setPlaceholderText(v), PaneAttributes::Applied;
            return with<PaneLineEdit>(w, [&](PaneLineEdit* e) { return e->setPlaceholderText(v), true; });
        };
        h[QStringLiteral("validator")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneLineEdit>(w, [&](PaneLineEdit* e) {
                const QRegExp regExp(v);
                if (!regExp.isValid())
                    return false;
                e->setValidator(regExp);
                return true;
            });
        };
        h[QStringLiteral("maxLength")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PaneLineEdit>(w, [&](PaneLineEdit* e) {
                const auto length = PaneAttributes::parseNumber(v, 0, 32767);
                if (length)
                    e->setMaxLength(int(*length));
                return length.has_value();
            });
        };
        h[QStringLiteral("editable")] = [](QGraphicsWidget* w, const QString& v) {
            return setBoolean(w, v, [](QGraphicsWidget* t, bool b) {
                auto* combo = qobject_cast<PaneComboBox*>(t);
                return combo != nullptr && (combo->setEditable(b), true);
            });
        };
        h[QStringLiteral("buttonStyle")] = [](QGraphicsWidget* w, const QString& v) {
            return with<PanePushButton>(w, [&](PanePushButton* b) {
                const auto style = PaneAttributes::parseNumber(v, 0, 16);
                if (style)
                    b->setButtonStyle(int(*style));
                return style.has_value();
            });
        };
        for (const char* name :
             {"textVisible", "minimum", "maximum", "value", "progressImage", "progressStripeImage"}) {
            const QString key = QString::fromLatin1(name);
            h[key] = [key](QGraphicsWidget* w, const QString& v) {
                return applyProgressAttribute(w, key, v);
            };
        }
        return h;
    }();
    return table;
}

using Creator = QGraphicsWidget* (*)(QGraphicsItem*);

template <class T> QGraphicsWidget* make(QGraphicsItem* parent)
{
    return new T(parent);
}

const QHash<QString, Creator>& builtIns()
{
    static const QHash<QString, Creator> table = {
        {QStringLiteral("PaneWidget"), &make<PaneWidget>},
        {QStringLiteral("PaneLabelWidget"), &make<PaneLabelWidget>},
        {QStringLiteral("PanePushButton"), &make<PanePushButton>},
        {QStringLiteral("PaneCheckBox"), &make<PaneCheckBox>},
        {QStringLiteral("PaneComboBox"), &make<PaneComboBox>},
        {QStringLiteral("PaneLineEdit"), &make<PaneLineEdit>},
        {QStringLiteral("PaneScrollArea"), &make<PaneScrollArea>},
        {QStringLiteral("PaneScrollWidget"), &make<PaneScrollWidget>},
        {QStringLiteral("PaneSpacerItem"), &make<PaneSpacerItem>},
        {QStringLiteral("PaneImageWidget"), &make<PaneImageWidget>},
        {QStringLiteral("PaneFrameItem"), &make<PaneFrameItem>},
        {QStringLiteral("PaneFrameItemEx"), &make<PaneFrameItemEx>},
        {QStringLiteral("PaneProgressBar"), &make<PaneProgressBar>},
        {QStringLiteral("PaneStackedWidget"), &make<PaneStackedWidget>},
    };
    return table;
}

} // namespace

bool PaneAttributes::isBuiltInClass(const QString& className)
{
    return builtIns().contains(className) || className == QLatin1String("PaneFrameWindow");
}

QGraphicsWidget* PaneAttributes::createBuiltIn(const QString& className, QGraphicsItem* parent)
{
    const Creator creator = builtIns().value(className);
    return creator != nullptr ? creator(parent) : nullptr;
}

PaneAttributes::Result PaneAttributes::apply(QGraphicsWidget* widget, const QString& name,
                                             const QString& value)
{
    const Handler handler = handlers().value(name);
    if (!handler || widget == nullptr)
        return Unsupported;
    return handler(widget, value);
}

PaneAttributes::Result PaneAttributes::applyToWindow(PaneFrameWindow* window, const QString& name,
                                                     const QString& value)
{
    if (name == QLatin1String("objectName")) {
        window->setObjectName(value);
    } else if (name == QLatin1String("fixSize")) {
        const auto size = parseSize(value);
        if (!size)
            return BadValue;
        window->setFixSize(qRound(size->width()), qRound(size->height()));
    } else if (name == QLatin1String("fixWidth") || name == QLatin1String("fixHeight")) {
        const auto number = parseNumber(value, 0, kMaxExtent);
        if (!number)
            return BadValue;
        if (name == QLatin1String("fixWidth"))
            window->setFixWidth(qRound(*number));
        else
            window->setFixHeight(qRound(*number));
    } else if (name == QLatin1String("colorizePolicy")) {
        const auto policy = parseColorizePolicy(value);
        if (!policy)
            return BadValue;
        window->setColorizePolicy(*policy);
    } else if (name == QLatin1String("frameStyle")) {
        if (value == QLatin1String("FrameLess"))
            window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        else if (value == QLatin1String("Normal"))
            window->setWindowFlags(Qt::Window);
        else
            return BadValue;
    } else if (name == QLatin1String("backgroundImage")) {
        window->setBackgroundImage(value);
    } else if (name == QLatin1String("title")) {
        window->setWindowTitle(value);
    } else {
        return Unsupported;
    }
    return Applied;
}

std::optional<qreal> PaneAttributes::parseNumber(const QString& text, qreal minimum, qreal maximum)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !qIsFinite(number))
        return std::nullopt;
    return qBound(minimum, qreal(number), maximum);
}

std::optional<QSizeF> PaneAttributes::parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    const auto width = parseNumber(parts.at(0), 0, kMaxExtent);
    const auto height = parseNumber(parts.at(1), 0, kMaxExtent);
    if (!width || !height)
        return std::nullopt;
    return QSizeF(*width, *height);
}

std::optional<QMarginsF> PaneAttributes::parseMargins(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 1 && parts.size() != 4)
        return std::nullopt;
    qreal values[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        const auto number = parseNumber(parts.value(parts.size() == 1 ? 0 : i), 0, kMaxExtent);
        if (!number)
            return std::nullopt;
        values[i] = *number;
    }
    return QMarginsF(values[0], values[1], values[2], values[3]);
}

std::optional<QColor> PaneAttributes::parseColor(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1Char('#'))) {
        const QColor color(trimmed);
        return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
    }
    const QStringList parts = trimmed.split(QLatin1Char(','));
    if (parts.size() != 3 && parts.size() != 4)
        return std::nullopt;
    int channels[4] = {0, 0, 0, 255};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        channels[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || channels[i] < 0 || channels[i] > 255)
            return std::nullopt;
    }
    return QColor(channels[0], channels[1], channels[2], channels[3]);
}

std::optional<Qt::Alignment> PaneAttributes::parseAlignment(const QString& text)
{
    const QMetaEnum flags = QMetaEnum::fromType<Qt::Alignment>();
    Qt::Alignment alignment;
    const QStringList parts = text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    for (QString part : parts) {
        part = part.trimmed();
        if (part.startsWith(QLatin1String("Qt::")))
            part = part.mid(4);
        bool ok = false;
        const int value = flags.keyToValue(part.toLatin1().constData(), &ok);
        if (!ok)
            return std::nullopt;
        alignment |= Qt::Alignment(value);
    }
    return alignment;
}

std::optional<bool> PaneAttributes::parseBool(const QString& text)
{
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("true") || value == QLatin1String("1") || value == QLatin1String("yes"))
        return true;
    if (value == QLatin1String("false") || value == QLatin1String("0") || value == QLatin1String("no"))
        return false;
    return std::nullopt;
}
