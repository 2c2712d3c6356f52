#include "form.h"

#include "app_context.h"
#include "window_registry.h"

#include <QCloseEvent>

Form::Form(AppContext& context, const QString& name, QWidget* parent)
    : QWidget(parent), m_context(context), m_formName(name) {
    setObjectName(name);
}

void Form::closeEvent(QCloseEvent* event) {
    // The registry decides: an unload that the window cancels keeps it open (or hidden).
    event->ignore();
    m_context.registry->unload(m_formName);
}
