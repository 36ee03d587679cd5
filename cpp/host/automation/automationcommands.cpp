#include "host/automation/automationcommands.h"

#include "host/automation/automationtarget.h"
#include "host/automation/syntheticmouse.h"
#include "host/automation/widgetlocator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGraphicsObject>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <QMenu>

#include "panecheckbox.h"
#include "panecombobox.h"
#include "panelabelwidget.h"
#include "panelineedit.h"
#include "panepushbutton.h"

namespace {

QJsonObject failure(const QString& error)
{
    return {{"ok", false}, {"error", error}};
}

QJsonObject success(QJsonObject fields = {})
{
    fields.insert("ok", true);
    return fields;
}

bool readText(QObject* object, QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(object))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(object))
        text = button->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(object))
        text = edit->text();
    else if (auto* combo = qobject_cast<QComboBox*>(object))
        text = combo->currentText();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(object))
        text = plain->toPlainText();
    else if (auto* paneLabel = qobject_cast<PaneLabelWidget*>(object))
        text = paneLabel->text();
    else if (auto* paneButton = qobject_cast<PanePushButton*>(object))
        text = paneButton->text();
    else if (auto* paneEdit = qobject_cast<PaneLineEdit*>(object))
        text = paneEdit->text();
    else if (auto* paneCombo = qobject_cast<PaneComboBox*>(object))
        text = paneCombo->currentText();
    else if (auto* paneCheck = qobject_cast<PaneCheckBox*>(object))
        text = paneCheck->text();
    else
        return false;
    return true;
}

bool writeText(QObject* object, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(object)) {
        edit->setText(text);
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(object)) {
        label->setText(text);
        return true;
    }
    if (auto* paneEdit = qobject_cast<PaneLineEdit*>(object)) {
        paneEdit->setText(text);
        return true;
    }
    if (auto* paneCombo = qobject_cast<PaneComboBox*>(object); paneCombo && paneCombo->lineEdit()) {
        paneCombo->lineEdit()->setText(text);
        return true;
    }
    if (auto* paneLabel = qobject_cast<PaneLabelWidget*>(object)) {
        paneLabel->setText(text);
        return true;
    }
    return false;
}

bool indexInRange(int index, int count, QString& error)
{
    if (index >= 0 && index < count)
        return true;
    error = QStringLiteral("index %1 out of range 0..%2").arg(index).arg(count - 1);
    return false;
}

// Selects as a person's choice would: the box announces the new index to its listeners.
bool selectIndex(QObject* object, int index, QString& error)
{
    if (auto* combo = qobject_cast<QComboBox*>(object)) {
        if (!indexInRange(index, combo->count(), error))
            return false;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        return true;
    }
    if (auto* paneCombo = qobject_cast<PaneComboBox*>(object)) {
        if (!indexInRange(index, paneCombo->count(), error))
            return false;
        paneCombo->setCurrentIndex(index);
        emit paneCombo->currentIndexChanged(index);
        return true;
    }
    error = QStringLiteral("widget has no items to select");
    return false;
}

bool readChecked(QObject* object, bool& checked)
{
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        checked = button->isChecked();
        return true;
    }
    if (auto* paneCheck = qobject_cast<PaneCheckBox*>(object)) {
        checked = paneCheck->isChecked();
        return true;
    }
    return false;
}

bool isShown(const LocatedWidget& target)
{
    if (target.widget)
        return target.widget->isVisible();
    return target.item && target.item->isVisible() && target.view && target.view->isVisible();
}

bool isEnabled(const LocatedWidget& target)
{
    if (target.widget)
        return target.widget->isEnabled();
    return target.item && target.item->isEnabled();
}

QJsonArray geometryOf(const QWidget* window)
{
    const QRect frame = window->geometry();
    return {frame.x(), frame.y(), frame.width(), frame.height()};
}

} // namespace

QJsonObject AutomationCommands::executeLine(const QByteArray& line)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failure(QStringLiteral("bad JSON: %1").arg(parseError.errorString()));
    if (!document.isObject())
        return failure(QStringLiteral("bad JSON: expected one object"));
    return execute(document.object());
}

QJsonObject AutomationCommands::execute(const QJsonObject& command)
{
    const QString name = command.value("cmd").toString(command.value("command").toString());
    QJsonObject answer;
    if (name == "state")
        answer = success(m_target->hostState());
    else if (name == "windows")
        answer = windows();
    else if (name == "click" || name == "hover" || name == "text" || name == "setText" || name == "select" ||
             name == "check")
        answer = onWidget(name, command);
    else if (name == "grab")
        answer = grab(command);
    else if (name == "addon") {
        const QString error = m_target->clickAddon();
        answer = error.isEmpty() ? success() : failure(error);
    } else if (name == "subchannel") {
        const double id = command.value("id").toDouble(-1);
        const QString error = (id < 1 || id > 4294967295.0 || id != static_cast<quint32>(id))
                                  ? QStringLiteral("subchannel needs \"id\", a number from 1 to 4294967295")
                                  : m_target->switchSubChannel(static_cast<quint32>(id));
        answer = error.isEmpty() ? success() : failure(error);
    } else if (name == "activate") {
        const QJsonValue active = command.value("active");
        const QString error = active.isBool() ? m_target->activateChannelWindow(active.toBool())
                                              : QStringLiteral("activate needs \"active\": true or false");
        answer = error.isEmpty() ? success() : failure(error);
    } else if (name == "webLink") {
        answer = webLink(command);
    } else if (name == "quit") {
        m_target->quitSoon();
        answer = success();
    } else {
        answer = failure(name.isEmpty() ? QStringLiteral("missing \"cmd\"")
                                        : QStringLiteral("unknown command '%1'").arg(name));
    }
    if (command.contains("id"))
        answer.insert("id", command.value("id"));
    return answer;
}

QJsonObject AutomationCommands::windows() const
{
    QJsonArray list;
    QWidget* active = QApplication::activeWindow();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        // Widgets embedded in a graphics scene, and hidden helper widgets without title or name,
        // are windows to Qt but not to the user (nor can a command name them).
        const bool anonymousHelper =
            !window->isVisible() && window->windowTitle().isEmpty() && window->objectName().isEmpty();
        if (!window->isWindow() || window->graphicsProxyWidget() != nullptr || type == Qt::Popup ||
            type == Qt::ToolTip || type == Qt::Desktop || anonymousHelper)
            continue;
        list.append(QJsonObject{{"title", window->windowTitle()},
                                {"objectName", window->objectName()},
                                {"className", QString::fromLatin1(window->metaObject()->className())},
                                {"visible", window->isVisible()},
                                {"minimized", window->isMinimized()},
                                {"active", window == active},
                                {"geometry", geometryOf(window)}});
    }
    return success({{"windows", list}});
}

QJsonObject AutomationCommands::onWidget(const QString& name, const QJsonObject& command)
{
    QWidget* window = WidgetLocator::findWindow(command.value("window").toString());
    if (window == nullptr)
        return failure(QStringLiteral("no window '%1'").arg(command.value("window").toString()));
    QString error;
    const LocatedWidget target = WidgetLocator::find(window, command.value("widget").toString(), &error);
    if (!target.isValid())
        return failure(error);
    QObject* object = target.object();
    if (name == "click")
        return SyntheticMouse::click(target, &error) ? success() : failure(error);
    if (name == "hover")
        return SyntheticMouse::hover(target, &error) ? success() : failure(error);
    if (name == "text") {
        QString text;
        if (!readText(object, text))
            return failure(QStringLiteral("widget has no text"));
        return success({{"text", text}, {"visible", isShown(target)}, {"enabled", isEnabled(target)}});
    }
    if (name == "setText") {
        if (!command.value("text").isString())
            return failure(QStringLiteral("setText needs \"text\""));
        return writeText(object, command.value("text").toString())
                   ? success()
                   : failure(QStringLiteral("widget takes no text"));
    }
    if (name == "select") {
        if (!command.value("index").isDouble())
            return failure(QStringLiteral("select needs \"index\""));
        return selectIndex(object, command.value("index").toInt(), error) ? success() : failure(error);
    }
    if (!command.value("checked").isBool())
        return failure(QStringLiteral("check needs \"checked\": true or false"));
    bool checked = false;
    if (!readChecked(object, checked))
        return failure(QStringLiteral("widget cannot be checked"));
    const bool wanted = command.value("checked").toBool();
    if (checked == wanted)
        return success();
    if (!SyntheticMouse::click(target, &error))
        return failure(error);
    if (!readChecked(object, checked) || checked != wanted)
        return failure(QStringLiteral("widget did not change its state (disabled?)"));
    return success();
}

QJsonObject AutomationCommands::grab(const QJsonObject& command)
{
    QWidget* window = WidgetLocator::findWindow(command.value("window").toString());
    if (window == nullptr)
        return failure(QStringLiteral("no window '%1'").arg(command.value("window").toString()));
    const QString file = command.value("file").toString();
    if (file.isEmpty())
        return failure(QStringLiteral("grab needs \"file\""));
    if (!window->grab().save(file, "PNG"))
        return failure(QStringLiteral("cannot write '%1'").arg(file));
    return success({{"file", file}});
}

QJsonObject AutomationCommands::webLink(const QJsonObject& command)
{
    const QJsonValue open = command.value("open");
    if (!open.isUndefined() && !open.isBool())
        return failure(QStringLiteral("webLink takes \"open\": true or false"));
    QUrl link;
    const QString error = m_target->webViewerLink(open.toBool(), &link);
    if (!error.isEmpty())
        return failure(error);
    return success({{"url", QString::fromUtf8(link.toEncoded())}, {"opened", open.toBool()}});
}
