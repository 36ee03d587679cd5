#pragma once

// Non-modal message boxes: shown at once, the call returns at once, the box deletes itself when
// closed. The receiver's member (a SLOT(...) text) is called with the clicked standard button.

#include <QMessageBox>
#include <QPointer>

class PaneMessageBox : public QMessageBox
{
    Q_OBJECT
public:
    static PaneMessageBox* warningAsync(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                        QObject* receiver = nullptr, const char* member = nullptr);
    static PaneMessageBox* informationAsync(QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                            QObject* receiver = nullptr, const char* member = nullptr);

    // The most recently shown box while it is open, else null.
    static PaneMessageBox* lastBox();

signals:
    void buttonChosen(int standardButton);

private:
    PaneMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                   QWidget* parent);
    static PaneMessageBox* showAsync(Icon icon, QWidget* parent, const QString& title, const QString& text,
                                     StandardButtons buttons, StandardButton defaultButton, QObject* receiver,
                                     const char* member);
    static QPointer<PaneMessageBox> s_last;
};
