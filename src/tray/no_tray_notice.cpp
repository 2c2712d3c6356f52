#include "tray/no_tray_notice.h"

#include "forms/form.h"
#include "forms/form_names.h"
#include "forms/window_registry.h"
#include "tray/notice_placement.h"
#include "tray/tray_presence.h"
#include "tray/tray_window.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

NoTrayNotice::NoTrayNotice(TrayPresence& presence, WindowRegistry& registry, QObject* parent)
    : QObject(parent), m_registry(registry) {
    connect(&presence, &TrayPresence::noticeDue, this, &NoTrayNotice::show);
    connect(&presence, &TrayPresence::noticeWithdrawn, this, &NoTrayNotice::withdraw);
}

NoTrayNotice::~NoTrayNotice() {
    delete m_box.data();
}

void NoTrayNotice::show() {
    // Said once per run: a user who closed it knows already.
    if (m_shown)
        return;
    m_shown = true;
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Dalvenor"),
                                TrayWindow::noTrayNotice(), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("noTrayNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The student may be typing elsewhere; nothing waits for the answer.
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    m_box = box;

    const Form* countdown = m_registry.form(FormName::Main);
    QScreen* screen =
        countdown && countdown->screen() ? countdown->screen() : QGuiApplication::primaryScreen();
    const QRect avoid = countdown && countdown->isVisible() ? countdown->frameGeometry() : QRect();
    box->ensurePolished();
    box->adjustSize();
    if (screen) {
        // The frame the window manager adds is not known before mapping; the margin leaves
        // room for it.
        const QRect area = screen->availableGeometry();
        box->move(noticeplacement::place(area, box->size(), avoid, kMargin));
        box->show();
        // Showing may lay the box out again at another size.
        box->move(noticeplacement::place(area, box->frameGeometry().size(), avoid, kMargin));
    } else {
        box->show();
    }
}

void NoTrayNotice::withdraw() {
    if (m_box)
        m_box->close();
}
