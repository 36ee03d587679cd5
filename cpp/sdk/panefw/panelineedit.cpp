#include "panelineedit.h"

#include "panefwinit.h"

#include <QEvent>
#include <QGraphicsProxyWidget>
#include <QPainter>
#include <QLineEdit>
#include <QRegExpValidator>

namespace {

const QColor kBorder(201, 209, 219);
const QColor kFocusBorder(58, 142, 230);

} // namespace

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
    m_edit->setFrame(false);
    m_edit->setTextMargins(6, 0, 6, 0);
    m_edit->installEventFilter(this);
    applyTextColor();
    connect(m_edit, &QLineEdit::textChanged, this, &PaneLineEdit::textChanged);
    connect(m_edit, &QLineEdit::textEdited, this, &PaneLineEdit::textEdited);
    connect(m_edit, &QLineEdit::editingFinished, this, &PaneLineEdit::editingFinished);
    connect(m_edit, &QLineEdit::returnPressed, this, &PaneLineEdit::returnPressed);
    setPreferredSize(120, 28);
}

PaneLineEdit::~PaneLineEdit()
{
    // The edit outlives this object's own part (it goes with the proxy child); a focused edit
    // reports editingFinished as it goes, which must not reach this half-destroyed widget.
    m_edit->removeEventFilter(this);
    disconnect(m_edit, nullptr, this, nullptr);
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
    applyTextColor();
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
    update();
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
    // Inside the border this widget draws.
    m_proxy->setGeometry(rect().adjusted(1, 1, -1, -1));
}

void PaneLineEdit::applyTextColor()
{
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    palette.setColor(QPalette::Text, m_textColor);
    palette.setColor(QPalette::Highlight, kFocusBorder);
    m_edit->setPalette(palette);
}

void PaneLineEdit::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (!m_frameVisible)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(hasEditFocus() ? kFocusBorder : kBorder);
    painter->setBrush(isEnabled() && !m_edit->isReadOnly() ? QColor(Qt::white) : QColor(242, 242, 242));
    painter->drawRoundedRect(rect().adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter->restore();
}

bool PaneLineEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return PaneWidget::eventFilter(watched, event);
}
