#pragma once

// A single-line text input: a frameless QLineEdit embedded through a QGraphicsProxyWidget, so
// keyboard focus, input methods and clipboard behave as in any Qt window. The box itself (white
// field, border that turns blue with focus) is drawn here, which is far cheaper than a style sheet.

#include "panewidget.h"

#include <QRegExp>

class QGraphicsProxyWidget;
class QLineEdit;

class PaneLineEdit : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneLineEdit(QGraphicsItem* parent = nullptr);
    ~PaneLineEdit() override;

    QString text() const;
    void setText(const QString& text);
    void setPlaceholderText(const QString& text);
    QString placeholderText() const;
    // The whole input must match; edits that could not lead to a match are refused.
    void setValidator(const QRegExp& regExp);
    void setValidator(const QString& pattern) { setValidator(QRegExp(pattern)); }
    QRegExp validatorRegExp() const { return m_regExp; }
    // True when the text matches the validator completely (or there is no validator).
    bool hasAcceptableInput() const;
    void setMaxLength(int length);
    int maxLength() const;
    void setReadOnly(bool readOnly);
    void setTextColor(const QColor& color);
    void setFont(const QFont& font);
    void setAlignment(Qt::Alignment alignment);
    void setFrameVisible(bool visible);
    void selectAll();
    void clear() { setText(QString()); }

    // Gives keyboard focus to the edit (the window must be active for typing).
    void setEditFocus();
    bool hasEditFocus() const;

    QLineEdit* lineEdit() const { return m_edit; }
    QGraphicsProxyWidget* proxy() const { return m_proxy; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void textChanged(const QString& text);
    void textEdited(const QString& text);
    void editingFinished();
    void returnPressed();

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyTextColor();

    QGraphicsProxyWidget* m_proxy = nullptr;
    QLineEdit* m_edit = nullptr;
    QRegExp m_regExp;
    bool m_frameVisible = true;
    QColor m_textColor;
};
