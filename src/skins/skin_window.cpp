#include "skins/skin_window.h"

#include "forms/app_context.h"
#include "forms/message_box.h"
#include "forms/program_control.h"
#include "forms/program_icon.h"
#include "forms/skin_library.h"
#include "forms/twips_layout.h"
#include "forms/window_registry.h"
#include "settings/atomic_file.h"
#include "settings/regular_file.h"
#include "skins/style_sheet_skin.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

const QString kTitle = QStringLiteral("提示");
const QString kManager = QStringLiteral("皮肤管理器");

// A preview is a picture of 80 x 52 pixels; anything much larger is not one of ours.
constexpr qint64 kMaxPreviewBytes = 256 * 1024;

constexpr const char* kBuiltIn[] = {"skinh.she", "itunes.she", "office2007.she", "QQ2008.she"};

} // namespace

QString SkinWindow::builtInFile(int button) {
    return button >= 1 && button <= 4 ? QString::fromLatin1(kBuiltIn[button - 1]) : QString();
}

SkinWindow::SkinWindow(AppContext& context, SkinFolders folders, QWidget* parent)
    : Form(context, kName, parent), m_folders(std::move(folders)) {
    setCentredWhenFirstShown(true);
    if (m_folders.builtInDir().isEmpty())
        m_folders = SkinFolders::forProgram(m_context.paths);

    // A fixed single border with a minimise button and a taskbar entry, but no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips::toPixelsX(5820), twips::toPixelsY(3930));

    // Created in tab order: the four built-in buttons, the list, "使用此皮肤", "不使用皮肤".
    Command1 = addButton("Command1", 600, 1440, &SkinWindow::Command1_Click);
    Command2 = addButton("Command2", 2160, 1440, &SkinWindow::Command2_Click);
    Command3 = addButton("Command3", 600, 3120, &SkinWindow::Command3_Click);
    Command4 = addButton("Command4", 2160, 3120, &SkinWindow::Command4_Click);

    Picture1 = addPicture("Picture1", 600, 720);
    Picture2 = addPicture("Picture2", 2160, 720);
    Picture3 = addPicture("Picture3", 600, 2400);
    Picture4 = addPicture("Picture4", 2160, 2400);

    File1 = twipslayout::add<QListWidget>(this, "File1", 3840, 720, 1215, 1170);
    File1->setSelectionMode(QAbstractItemView::SingleSelection);
    File1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Command5 = addButton("Command5", 3840, 2400, &SkinWindow::Command5_Click);
    Label1 = addHeading("Label1", 1440, 120, 1335, 375);
    Label2 = addHeading("Label2", 3840, 120, 1215, 375);
    Command6 = addButton("Command6", 3840, 3120, &SkinWindow::Command6_Click);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, File1);
    setTabOrder(File1, Command5);
    setTabOrder(Command5, Command6);
}

QPushButton* SkinWindow::addButton(const char* name, double left, double top,
                                   void (SkinWindow::*handler)()) {
    auto* button = twipslayout::add<QPushButton>(this, name, left, top, 1215, 495);
    connect(button, &QPushButton::clicked, this, handler);
    return button;
}

QLabel* SkinWindow::addPicture(const char* name, double left, double top) {
    auto* picture = twipslayout::add<QLabel>(this, name, left, top, 1215, 495);
    // Shown as drawn, from the top left corner, clipped by the box.
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setScaledContents(false);
    picture->installEventFilter(this);
    return picture;
}

QLabel* SkinWindow::addHeading(const char* name, double left, double top, double width,
                               double height) {
    auto* label = twipslayout::add<QLabel>(this, name, left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(15);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label->setPalette(palette);
    label->installEventFilter(this);
    return label;
}

void SkinWindow::Form_Load() {
    setWindowTitle(kManager);
    const Form* tray = m_context.registry.form(FormName::Tray);
    setWindowIcon(tray ? tray->windowIcon() : programIcon());
    Label1->setText(QStringLiteral("基本皮肤"));
    Label2->setText(QStringLiteral("其他皮肤"));
    Command1->setText(QStringLiteral("默认"));
    Command2->setText(QStringLiteral("itunes"));
    Command3->setText(QStringLiteral("office2007"));
    Command4->setText(QStringLiteral("QQ2008"));
    Command5->setText(QStringLiteral("使用此皮肤"));
    Command6->setText(QStringLiteral("不使用皮肤"));
    showPreviews();
    // Read once: a skin added while the window is open is listed when it is opened again.
    listSkins();
}

void SkinWindow::showPreviews() {
    QLabel* pictures[] = {Picture1, Picture2, Picture3, Picture4};
    for (int i = 0; i < 4; ++i) {
        // Read by the regular-file rule and decoded from memory: a FIFO put in a preview's
        // place must not hang the window.
        textfile::RegularFile file;
        QByteArray bytes;
        QPixmap preview;
        if (file.open(m_folders.preview(builtInFile(i + 1))) == textfile::ReadStatus::Ok &&
            file.readAll(bytes, kMaxPreviewBytes) == textfile::ReadStatus::Ok)
            preview.loadFromData(bytes, "PNG");
        pictures[i]->setPixmap(preview);
    }
}

void SkinWindow::listSkins() {
    File1->clear();
    for (const SkinFolders::Entry& entry : m_folders.list()) {
        auto* item = new QListWidgetItem(entry.name, File1);
        // The name resolves to the folder it was listed from.
        item->setData(Qt::UserRole, entry.path);
        item->setToolTip(entry.path);
    }
}

QString SkinWindow::selectedSkin() const {
    const QList<QListWidgetItem*> selected = File1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(Qt::UserRole).toString();
}

void SkinWindow::Form_Unload(bool& cancel) {
    Q_UNUSED(cancel)
    if (!RestartPending)
        return;
    if (!m_context.program.restart())
        MessageBox::warning(nullptr, QStringLiteral("Dalvenor"),
                            QStringLiteral("Dalvenor 无法重新启动自己，请再启动一次。"));
}

void SkinWindow::Command1_Click() {
    ApplySkin(m_folders.builtInSkin(builtInFile(1)));
}

void SkinWindow::Command2_Click() {
    ApplySkin(m_folders.builtInSkin(builtInFile(2)));
}

void SkinWindow::Command3_Click() {
    ApplySkin(m_folders.builtInSkin(builtInFile(3)));
}

void SkinWindow::Command4_Click() {
    ApplySkin(m_folders.builtInSkin(builtInFile(4)));
}

void SkinWindow::Command5_Click() {
    const QString skin = selectedSkin();
    if (skin.isEmpty()) {
        MessageBox::information(this, kTitle, QStringLiteral("请先选择一款皮肤。"));
        return;
    }
    ApplySkin(skin);
}

void SkinWindow::Command6_Click() {
    RemoveSkin();
}

void SkinWindow::ApplySkin(const QString& source) {
    // Checked before anything changes: a skin that cannot be used must not replace the one
    // in use, which the next start would otherwise find unusable too.
    const skinfile::Loaded skin = skinfile::load(source);
    if (skin.status != skinfile::Status::Ok) {
        MessageBox::warning(this, kManager, skin.error);
        return;
    }
    const QString active = m_context.skin.activeSkinFile();
    QString why;
    if (!atomicfile::write(active, skin.bytes, &why)) {
        MessageBox::warning(
            this, kManager,
            QStringLiteral("无法写入皮肤文件“%1”：%2。皮肤没有更换。").arg(active, why));
        return;
    }
    m_context.registry.unload(FormName::Main);
    m_context.registry.show(FormName::Main);
}

void SkinWindow::RemoveSkin() {
    const QString active = m_context.skin.activeSkinFile();
    const QFileInfo info(active);
    if (!info.exists() && !info.isSymLink()) {
        MessageBox::information(this, kTitle, QStringLiteral("您当前没有使用皮肤。"));
        return;
    }
    QFile file(active);
    if (!file.remove()) {
        // Restarting would bring the same skin back.
        MessageBox::warning(
            this, kManager,
            QStringLiteral("无法删除皮肤文件“%1”：%2。").arg(active, file.errorString()));
        return;
    }
    RestartPending = true;
    WindowRegistry& registry = m_context.registry;
    for (QLatin1String name : {FormName::About, FormName::Addins, FormName::Caution, FormName::Main,
                               FormName::Tray, FormName::Windows, FormName::Skins})
        registry.unload(name);
    // Also when a window refused its unload ("附加功能" only hides itself): the new instance
    // must be the only one. This window is deleted later, by the event loop.
    ProgramControl& program = m_context.program;
    program.exit();
}

void SkinWindow::Form_MouseDown() {
    DragWindow(this);
}

bool SkinWindow::eventFilter(QObject* watched, QEvent* event) {
    // Label1, Label2 and the four previews drag the window, with any button.
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
        Form_MouseDown();
        return true;
    }
    return Form::eventFilter(watched, event);
}

void SkinWindow::mousePressEvent(QMouseEvent* event) {
    Form_MouseDown();
    event->accept();
}
