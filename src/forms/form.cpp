#include "forms/form.h"

#include "forms/app_context.h"
#include "forms/design_font.h"
#include "forms/window_registry.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

Form::Form(AppContext& context, const QString& name, QWidget* parent)
    : QWidget(parent), m_context(context), m_formName(name) {
    setObjectName(name);
    // Controls are placed by the twips of the design, which fit the design face.
    setFont(designFont());
}

void Form::closeEvent(QCloseEvent* event) {
    // The registry decides: an unload that the window cancels keeps it open (or hidden).
    event->ignore();
    m_context.registry.unload(m_formName);
}

void Form::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shownBefore)
        return;
    m_shownBefore = true;
    if (!m_centreOnFirstShow)
        return;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
