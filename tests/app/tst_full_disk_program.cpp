// The whole program, built as main() builds it, with its folder and the user's configuration
// on a small disk that is full: every command that saves a file must leave the old file byte
// for byte and tell the user in Chinese, and nothing else may break. The commands are given
// as the user gives them, through the windows' own buttons and the tray menu's actions.
#include "app/application.h"
#include "forms/countdown_style.h"
#include "forms/form.h"
#include "forms/form_names.h"
#include "forms/message_box.h"
#include "forms/window_registry.h"
#include "full_disk.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

template <typename T> T* child(QWidget* window, const char* name) {
    return window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// The files as the program finds them before the command: whole, and different from what the
// command would write.
const QByteArray kOldSettings = "[frmMain]\nFontName=宋体\nFontSize=20\nFontBold=False\n"
                                "FontItalic=False\nFontUnderline=False\nFontStrikethru=False\n"
                                "ForeColor=255\n[frmWindows]\nWidth=6045\nHeight=3240\n"
                                "Top=1500\nLeft=1500\n";
const QByteArray kOldCountdown = "旧的第一行\r\n旧的还有：\r\n6/7/2030\r\n9:00:00 AM\r\n";
const QByteArray kOldReminder = "旧的标题\r\n旧的内容\r\n45\r\n";
const QByteArray kOldEntry = "[Desktop Entry]\nType=Application\nName=Dalvenor\n"
                             "Exec=/old/place/dalvenor\n";

} // namespace

class TestFullDiskProgram : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { MessageBox::setAnswerAll(true); }
    void cleanupTestCase() { MessageBox::setAnswerAll(false); }

    void commandOnFullDiskKeepsFileAndTells_data();
    void commandOnFullDiskKeepsFileAndTells();
};

void TestFullDiskProgram::commandOnFullDiskKeepsFileAndTells_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("file"); // relative to the disk
    QTest::addColumn<QString>("told"); // what the message must say
    QTest::newRow("显示设置 → 完成") << "done"
                                     << "config/Dalvenor/Dalvenor.ini"
                                     << "无法保存倒计时的位置";
    QTest::newRow("退出") << "exit"
                          << "config/Dalvenor/Dalvenor.ini"
                          << "无法保存倒计时的字体和颜色";
    QTest::newRow("reload of frmMain") << "reload"
                                       << "config/Dalvenor/Dalvenor.ini"
                                       << "无法保存倒计时的字体和颜色";
    QTest::newRow("skin put on") << "skin"
                                 << "program/skinh.she"
                                 << "无法写入皮肤文件";
    QTest::newRow("开机启动 → 开启") << "autostart"
                                     << "config/autostart/Dalvenor.desktop"
                                     << "无法设置开机启动";
    QTest::newRow("自定义倒计时 → 确认") << "countdown"
                                         << "program/countdown.ini"
                                         << "无法写入文件";
    QTest::newRow("提醒 → 确认") << "reminder"
                                 << "program/settings.ini"
                                 << "无法写入文件";
}

void TestFullDiskProgram::commandOnFullDiskKeepsFileAndTells() {
    QFETCH(QString, command);
    QFETCH(QString, file);
    QFETCH(QString, told);

    FullDisk disk(256 * 1024);
    QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
    const QString program = disk.filePath(QStringLiteral("program"));
    const QString config = disk.filePath(QStringLiteral("config"));
    const QString skins = QDir(program).filePath(QStringLiteral("skins"));
    QVERIFY(QDir().mkpath(skins));
    QVERIFY(writeBytes(QDir(program).filePath(QStringLiteral("dalvenor.portable")), {}));
    const QString shipped = qEnvironmentVariable("DALVENOR_SOURCE_DIR") + "/data/skins/";
    for (const char* name : {"skinh.she", "itunes.she", "office2007.she", "QQ2008.she"})
        QVERIFY(QFile::copy(shipped + name, QDir(skins).filePath(QString::fromLatin1(name))));
    QVERIFY(writeBytes(QDir(program).filePath(QStringLiteral("ral.txt")), "认真读题\r\n"));
    QVERIFY(writeBytes(QDir(program).filePath(QStringLiteral("countdown.ini")), kOldCountdown));
    QVERIFY(writeBytes(QDir(program).filePath(QStringLiteral("settings.ini")), kOldReminder));
    QVERIFY(
        QFile::copy(shipped + "skinh.she", QDir(program).filePath(QStringLiteral("skinh.she"))));
    QVERIFY(
        writeBytes(QDir(config).filePath(QStringLiteral("Dalvenor/Dalvenor.ini")), kOldSettings));
    QVERIFY(
        writeBytes(QDir(config).filePath(QStringLiteral("autostart/Dalvenor.desktop")), kOldEntry));
    const QString target = disk.filePath(file);
    const QByteArray old = readBytes(target);
    QVERIFY(!old.isEmpty());

    const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const auto restoreConfig = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configBefore); });

    auto app = std::make_unique<Application>(program);
    const auto endProgram = qScopeGuard([&] { app.reset(); });
    WindowRegistry& registry = app->context().registry;
    app->start();
    QWidget* tray = registry.load(FormName::Tray);
    QVERIFY(tray);
    MessageBox::clearShownBoxes();

    // What the student changed before the command (a colour from 显示设置), so that the
    // command has something new to store.
    app->context().style.setForeColor(0x00FF00);

    if (command == "done") {
        QWidget* windows = registry.show(FormName::Windows);
        auto* place = child<QPushButton>(windows, "Command2");
        QVERIFY(place);
        place->click();
        windows->move(windows->pos() + QPoint(37, 23));
        QVERIFY(disk.fill());
        auto* done = child<QPushButton>(windows, "Command1");
        QVERIFY(done);
        done->click();
    } else if (command == "exit" || command == "autostart") {
        auto* action = child<QAction>(tray, command == "exit" ? "mnuExit" : "mnuOpen");
        QVERIFY(action);
        QVERIFY(disk.fill());
        action->trigger();
    } else if (command == "reload") {
        QVERIFY(disk.fill());
        registry.unload(FormName::Main);
        QVERIFY(registry.show(FormName::Main));
    } else if (command == "skin") {
        QWidget* manager = registry.show(FormName::Skins);
        auto* itunes = child<QPushButton>(manager, "Command2");
        QVERIFY(itunes);
        QVERIFY(disk.fill());
        itunes->click();
    } else {
        QWidget* addins = registry.show(FormName::Addins);
        QVERIFY(addins);
        const bool countdown = command == "countdown";
        const QStringList typed =
            countdown ? QStringList{"新的第一行", "还有：", "6/7/2031", "9:00:00 AM"}
                      : QStringList{"新的标题", "新的内容", "30"};
        const char* const boxes[] = {countdown ? "Text4" : "Text1", countdown ? "Text5" : "Text2",
                                     countdown ? "Text6" : "Text3", "Text7"};
        for (int i = 0; i < typed.size(); ++i) {
            auto* box = child<QLineEdit>(addins, boxes[i]);
            QVERIFY(box);
            box->setText(typed[i]);
        }
        auto* confirm = child<QPushButton>(addins, countdown ? "Command3" : "Command2");
        QVERIFY(confirm);
        QVERIFY(disk.fill());
        confirm->click();
    }

    QCOMPARE(readBytes(target), old);
    // No temporary file was left beside it.
    QStringList beside = QDir(QFileInfo(target).absolutePath())
                             .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    beside.removeAll(QStringLiteral(".filler"));
    for (const QString& name : beside)
        QVERIFY2(!name.startsWith(QFileInfo(target).fileName() + u'.'), qPrintable(name));

    bool toldUser = false;
    QStringList shown;
    for (const MessageBox::Shown& box : MessageBox::shownBoxes()) {
        shown << box.text;
        if (box.icon == QMessageBox::Warning && box.text.contains(told) &&
            box.text.contains(QFileInfo(target).fileName()) &&
            box.text.contains(QStringLiteral("磁盘空间不足")))
            toldUser = true;
    }
    QVERIFY2(toldUser, qPrintable(shown.join(QStringLiteral(" | "))));
}

int main(int argc, char* argv[]) {
    FullDisk::enterPrivateMounts();
    // The program must never reach this machine's system bus from a test: an address that
    // leads nowhere, inside the test's own folder.
    QTemporaryDir noBus;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS",
            "unix:path=" + QFile::encodeName(noBus.filePath(QStringLiteral("no-bus"))));
    QApplication app(argc, argv);
    TestFullDiskProgram test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_full_disk_program.moc"
