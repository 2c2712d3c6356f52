#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

// Every message box of the program goes through here, so that a test can script the answer of
// the next box (which is then recorded, not shown) and a GUI test never blocks on a modal box.
class MessageBox {
public:
    struct Shown {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    static QMessageBox::StandardButton
    warning(QWidget* parent, const QString& title, const QString& text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    static QMessageBox::StandardButton
    information(QWidget* parent, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    // A box that does not wait for its answer: the program goes on while it is shown, and it
    // goes away when closed. For what the user should know but need not decide.
    static void notify(QMessageBox::Icon icon, const QString& title, const QString& text);

    // The next box is not shown: it returns this answer at once. NoButton shows boxes again.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    // Answers every box with its first button without showing it (tests).
    static void setAnswerAll(bool enabled);

    // Boxes answered by script since the last clear (boxes really shown are not kept).
    static const QList<Shown>& shownBoxes();
    static void clearShownBoxes();

private:
    static QMessageBox::StandardButton ask(QMessageBox::Icon icon, QWidget* parent,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons);
};
