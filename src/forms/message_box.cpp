#include "forms/message_box.h"

namespace {

QMessageBox::StandardButton g_nextAnswer = QMessageBox::NoButton;
bool g_answerAll = false;
QList<MessageBox::Shown> g_shown;

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (quint32 bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (buttons.testFlag(QMessageBox::StandardButton(bit)))
            return QMessageBox::StandardButton(bit);
    }
    return QMessageBox::NoButton;
}

} // namespace

QMessageBox::StandardButton MessageBox::warning(QWidget* parent, const QString& title,
                                                const QString& text,
                                                QMessageBox::StandardButtons buttons) {
    return ask(QMessageBox::Warning, parent, title, text, buttons);
}

QMessageBox::StandardButton MessageBox::information(QWidget* parent, const QString& title,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons) {
    return ask(QMessageBox::Information, parent, title, text, buttons);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) {
    g_nextAnswer = answer;
}

void MessageBox::setAnswerAll(bool enabled) {
    g_answerAll = enabled;
}

const QList<MessageBox::Shown>& MessageBox::shownBoxes() {
    return g_shown;
}

void MessageBox::clearShownBoxes() {
    g_shown.clear();
}

void MessageBox::notify(QMessageBox::Icon icon, const QString& title, const QString& text) {
    if (g_answerAll || g_nextAnswer != QMessageBox::NoButton) {
        g_shown.append({icon, title, text});
        g_nextAnswer = QMessageBox::NoButton;
        return;
    }
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QMessageBox::StandardButton MessageBox::ask(QMessageBox::Icon icon, QWidget* parent,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons) {
    // Only boxes answered by script are kept, for the test that scripted them; a real box
    // leaves nothing behind.
    if (g_nextAnswer != QMessageBox::NoButton) {
        g_shown.append({icon, title, text});
        const QMessageBox::StandardButton answer = g_nextAnswer;
        g_nextAnswer = QMessageBox::NoButton;
        return answer;
    }
    if (g_answerAll) {
        g_shown.append({icon, title, text});
        return firstButton(buttons);
    }
    QMessageBox box(icon, title, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}
