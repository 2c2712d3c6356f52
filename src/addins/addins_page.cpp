#include "addins/addins_page.h"

#include "forms/message_box.h"
#include "forms/twips_layout.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

AddinsPage::AddinsPage(AppContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {}

bool AddinsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && m_dragSurfaces.contains(watched)) {
        emit dragRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AddinsPage::addDragSurface(QWidget* surface) {
    m_dragSurfaces.insert(surface);
    surface->installEventFilter(this);
}

QLabel* AddinsPage::addLabel(QWidget* parent, const char* name, const QString& text, double left,
                             double top, double width, double height) {
    auto* label = twipslayout::add<QLabel>(parent, name, left, top, width, height, text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Labels lie under the boxes and buttons they touch, so they never take their clicks.
    label->lower();
    return label;
}

QLineEdit* AddinsPage::addTextBox(QWidget* parent, const char* name, double left, double top,
                                  double width, double height) {
    return twipslayout::add<QLineEdit>(parent, name, left, top, width, height);
}

QComboBox* AddinsPage::addCombo(QWidget* parent, const char* name, double left, double top) {
    auto* combo = twipslayout::add<QComboBox>(parent, name, left, top, 735, 300);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QPushButton* AddinsPage::addButton(QWidget* parent, const char* name, const QString& text,
                                   double left, double top, double width, double height) {
    return twipslayout::add<QPushButton>(parent, name, left, top, width, height, text);
}

void AddinsPage::warn(const QString& text) {
    MessageBox::warning(window(), window()->windowTitle(), text);
}

void AddinsPage::warnNotSaved(const QString& error) {
    warn(error + QStringLiteral("\n\n原来的文件没有改动，输入的内容仍保留在窗口中。"));
}
