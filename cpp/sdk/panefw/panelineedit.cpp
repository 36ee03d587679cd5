#include "panelineedit.h"

#include "panefwinit.h"

#include <QGraphicsProxyWidget>
#include <QLineEdit>
#include <QRegExpValidator>

PaneLineEdit::PaneLineEdit(QGraphicsItem* parent) : PaneWidget(parent), m_textColor(51, 51, 51)
{
    setLayout(Anchor);
    setFlag(ItemIsFocusable, true);
    setFocusPolicy(Qt::StrongFocus);
    m_edit = new QLineEdit;
    m_edit->setFont(panefw::defaultFont());
    m_proxy = new QGraphicsProxyWidget(this);
    m_proxy->setWidget(m_edit);
    setFocusProxy(m_proxy);
    applyStyle();
    connect(m_edit, &QLineEdit::textChanged, this, &PaneLineEdit::textChanged);
    connect(m_edit, &QLineEdit::textEdited, this, &PaneLineEdit::textEdited);
    connect(m_edit, &QLineEdit::editingFinished, this, &PaneLineEdit::editingFinished);
    connect(m_edit, &QLineEdit::returnPressed, this, &PaneLineEdit::returnPressed);
    setPreferredSize(120, 28);
}

QString PaneLineEdit::text() const
{
    return m_edit->text();
}

void PaneLineEdit::setText(const QString& text)
{
    m_edit->setText(text);
}

void PaneLineEdit::setPlaceholderText(const QString& text)
{
    m_edit->setPlaceholderText(text);
}

QString PaneLineEdit::placeholderText() const
{
    return m_edit->placeholderText();
}

void PaneLineEdit::setValidator(const QRegExp& regExp)
{
    m_regExp = regExp;
    // The old validator is a child of the edit and goes with it; replace it explicitly.
    delete m_edit->validator();
    m_edit->setValidator(regExp.isEmpty() ? nullptr : new QRegExpValidator(regExp, m_edit));
}

bool PaneLineEdit::hasAcceptableInput() const
{
    return m_edit->hasAcceptableInput();
}

void PaneLineEdit::setMaxLength(int length)
{
    m_edit->setMaxLength(length);
}

int PaneLineEdit::maxLength() const
{
    return m_edit->maxLength();
}

void PaneLineEdit::setReadOnly(bool readOnly)
{
    m_edit->setReadOnly(readOnly);
}

void PaneLineEdit::setTextColor(const QColor& color)
{
    m_textColor = color;
    applyStyle();
}

void PaneLineEdit::setFont(const QFont& font)
{
    m_edit->setFont(font);
}

void PaneLineEdit::setAlignment(Qt::Alignment alignment)
{
    m_edit->setAlignment(alignment);
}

void PaneLineEdit::setFrameVisible(bool visible)
{
    m_frameVisible = visible;
    applyStyle();
}

void PaneLineEdit::selectAll()
{
    m_edit->selectAll();
}

void PaneLineEdit::setEditFocus()
{
    setFocus(Qt::OtherFocusReason);
    m_proxy->setFocus(Qt::OtherFocusReason);
    m_edit->setFocus(Qt::OtherFocusReason);
}

bool PaneLineEdit::hasEditFocus() const
{
    return m_proxy->hasFocus() || m_edit->hasFocus();
}

void PaneLineEdit::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    PaneWidget::resizeEvent(event);
    m_proxy->setGeometry(rect());
}

void PaneLineEdit::applyStyle()
{
    const QString border = m_frameVisible ? QStringLiteral("1px solid #c9d1db") : QStringLiteral("none");
    const QString focusBorder = m_frameVisible ? QStringLiteral("1px solid #3a8ee6") : QStringLiteral("none");
    m_edit->setStyleSheet(
        QStringLiteral("QLineEdit { background: #ffffff; color: %1; border: %2; border-radius: 3px;"
                       " padding: 0 6px; selection-background-color: #3a8ee6; }"
                       " QLineEdit:focus { border: %3; }"
                       " QLineEdit:disabled { background: #f2f2f2; color: #a8a8a8; }")
            .arg(m_textColor.name(), border, focusBorder));
}
