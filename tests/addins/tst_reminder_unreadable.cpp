// 提醒窗口 with a "settings.ini" that cannot be read: the page says so instead of showing three
// empty boxes, and "确认" does not replace what it could not read without saying so.
#include "addins/addins_window.h"
#include "addins/reminder_settings_page.h"
#include "find_control.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "settings/data_files.h"
#include "settings/regular_file.h"
#include "settings/text_file.h"
#include "test_context.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// File permissions bind this thread for as long as it lives, also as the superuser (CI runs
// as root): the two capabilities that let root read any file leave the effective set, and
// come back at the end. For another user they are not there to begin with.
class PermissionsBind {
public:
    PermissionsBind() {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        m_ok = ::syscall(SYS_capget, &m_header, m_saved) == 0;
        if (!m_ok)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_ok = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~PermissionsBind() {
        if (m_ok)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    bool ok() const { return m_ok; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_ok = false;
};

const QByteArray kOld("旧标题\r\n旧内容\r\n30\r\n");
const QStringList kNew = {QStringLiteral("新标题"), QStringLiteral("新内容"), QStringLiteral("10")};

} // namespace

class TestReminderUnreadable : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installFontSubstitutions();
        MessageBox::setAnswerAll(true);
    }
    void init() {
        MessageBox::clearShownBoxes();
        m_test = std::make_unique<TestContext>();
        m_test->registry.registerForm("frmAddins",
                                      [this] { return new AddinsWindow(m_test->context); });
    }
    void cleanup() {
        m_test.reset();
        m_bind.reset();
    }

    void unreadableFileIsSaidAndNotReplaced_data();
    void unreadableFileIsSaidAndNotReplaced();
    void readableFileShowsNoNotice_data();
    void readableFileShowsNoNotice();
    void fileMadeReadableAfterTheLoadStillAsks();

private:
    QString settingsPath() const { return m_test->paths().dataFile("settings.ini"); }
    AddinsWindow* load() { return qobject_cast<AddinsWindow*>(m_test->registry.load("frmAddins")); }
    void typeAndConfirm(AddinsWindow* w) {
        control<QLineEdit>(w, "Text1")->setText(QStringLiteral("新标题"));
        control<QLineEdit>(w, "Text2")->setText(QStringLiteral("新内容"));
        control<QLineEdit>(w, "Text3")->setText(QStringLiteral("10"));
        w->reminderSettings().Command2_Click();
    }
    // Builds the unreadable kind at the path of "settings.ini".
    void make(const QString& kind);
    // What is at the path now, for "nothing replaced".
    QByteArray state() const;

    std::unique_ptr<TestContext> m_test;
    std::unique_ptr<PermissionsBind> m_bind;
};

void TestReminderUnreadable::make(const QString& kind) {
    const QString path = settingsPath();
    const QByteArray name = QFile::encodeName(path);
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(path + "/inside"));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (kind == "dangling link") {
        QVERIFY(QFile::link(m_test->path("gone.ini"), path));
    } else if (kind == "link to a folder") {
        QVERIFY(QDir().mkpath(m_test->path("elsewhere")));
        QVERIFY(QFile::link(m_test->path("elsewhere"), path));
    } else if (kind == "no permission") {
        QVERIFY(writeBytes(path, kOld));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        m_bind = std::make_unique<PermissionsBind>();
        QVERIFY(m_bind->ok());
        QFile probe(path);
        QVERIFY2(!probe.open(QIODevice::ReadOnly), "the file is still readable");
    } else {
        QFAIL(qPrintable("unknown kind " + kind));
    }
}

QByteArray TestReminderUnreadable::state() const {
    const QFileInfo info(settingsPath());
    if (info.isSymLink())
        return "link:" + QFile::encodeName(info.symLinkTarget());
    if (info.isDir())
        return "dir:" + QDir(settingsPath())
                            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                            .join(',')
                            .toUtf8();
    struct stat st {};
    if (::lstat(QFile::encodeName(settingsPath()).constData(), &st) == 0 && S_ISFIFO(st.st_mode))
        return "fifo";
    return "file:" + QByteArray::number(info.size());
}

void TestReminderUnreadable::unreadableFileIsSaidAndNotReplaced_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause"); // in the notice and the box
    QTest::addColumn<bool>("asked");    // a question (else a refusal)
    QTest::addColumn<int>("answer");    // to the question
    QTest::addColumn<bool>("replaced");

    const QString notFile = QStringLiteral("不是普通文件");
    const QString cannot = QStringLiteral("无法读取文件");
    QTest::newRow("folder") << "folder" << notFile << false << 0 << false;
    QTest::newRow("fifo") << "fifo" << notFile << false << 0 << false;
    QTest::newRow("dangling link") << "dangling link" << notFile << false << 0 << false;
    QTest::newRow("link to a folder") << "link to a folder" << notFile << false << 0 << false;
    QTest::newRow("no permission, kept")
        << "no permission" << cannot << true << int(QMessageBox::No) << false;
    QTest::newRow("no permission, replaced on request")
        << "no permission" << cannot << true << int(QMessageBox::Yes) << true;
}

void TestReminderUnreadable::unreadableFileIsSaidAndNotReplaced() {
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    QFETCH(bool, asked);
    QFETCH(int, answer);
    QFETCH(bool, replaced);

    make(kind);
    if (QTest::currentTestFailed())
        return;
    AddinsWindow* w = load();
    QVERIFY(w);

    // The page says what is wrong, in place of its heading; the boxes stay empty.
    QVERIFY(!control<QLabel>(w, "LabReminderProblem")->isHidden());
    QVERIFY(control<QLabel>(w, "Label13")->isHidden());
    const QString notice = control<QLabel>(w, "LabReminderProblem")->text();
    QVERIFY2(notice.contains(QStringLiteral("settings.ini")), qPrintable(notice));
    QVERIFY2(notice.contains(cause), qPrintable(notice));
    QVERIFY2(notice.contains(QStringLiteral("不是文件里的内容")), qPrintable(notice));
    // Whole within its place on the page, which the boxes follow below.
    QVERIFY2(control<QLabel>(w, "LabReminderProblem")
                     ->heightForWidth(control<QLabel>(w, "LabReminderProblem")->width()) <=
                 control<QLabel>(w, "LabReminderProblem")->height(),
             qPrintable(notice));
    QVERIFY(control<QLabel>(w, "LabReminderProblem")->geometry().bottom() <
            control<QLineEdit>(w, "Text1")->geometry().top());
    QVERIFY(control<QLabel>(w, "LabReminderProblem")->toolTip().contains(settingsPath()));
    for (QLineEdit* box : {control<QLineEdit>(w, "Text1"), control<QLineEdit>(w, "Text2"),
                           control<QLineEdit>(w, "Text3")})
        QVERIFY(box->text().isEmpty());
    QVERIFY(MessageBox::shownBoxes().isEmpty());

    const QByteArray before = state();
    if (asked)
        MessageBox::setNextAnswer(QMessageBox::StandardButton(answer));
    typeAndConfirm(w);

    QVERIFY(!MessageBox::shownBoxes().isEmpty());
    const QString box = MessageBox::shownBoxes().first().text;
    QVERIFY2(box.contains(QStringLiteral("settings.ini")) && box.contains(cause), qPrintable(box));
    QVERIFY2(box.contains(asked ? QStringLiteral("要用窗口中的内容替换它吗")
                                : QStringLiteral("提醒设置没有保存")),
             qPrintable(box));
    m_bind.reset(); // the test reads as itself again
    if (replaced) {
        QCOMPARE(readReminderFile(settingsPath()).lines, kNew);
        QVERIFY(control<QLabel>(w, "LabReminderProblem")->isHidden());
        QVERIFY(!control<QLabel>(w, "Label13")->isHidden());
        QVERIFY(w->reminderSettings().reminder().isRunning());
    } else {
        QCOMPARE(state(), before);
        if (kind == "no permission")
            QCOMPARE(readBytes(settingsPath()), kOld);
        QVERIFY(!control<QLabel>(w, "LabReminderProblem")->isHidden());
        // The reminder does not start on settings that are not on disk; what was typed stays.
        QVERIFY(!w->reminderSettings().reminder().isRunning());
        QCOMPARE(control<QLineEdit>(w, "Text1")->text(), QStringLiteral("新标题"));
    }
}

void TestReminderUnreadable::readableFileShowsNoNotice_data() {
    QTest::addColumn<bool>("present");
    QTest::newRow("readable file") << true;
    QTest::newRow("no file yet") << false;
}

void TestReminderUnreadable::readableFileShowsNoNotice() {
    QFETCH(bool, present);
    if (present)
        QVERIFY(writeBytes(settingsPath(), kOld));
    AddinsWindow* w = load();
    QVERIFY(w);
    QVERIFY(control<QLabel>(w, "LabReminderProblem")->isHidden());
    QVERIFY(!control<QLabel>(w, "Label13")->isHidden());
    QCOMPARE(control<QLineEdit>(w, "Text1")->text(),
             present ? QStringLiteral("旧标题") : QString());
    typeAndConfirm(w);
    // Saved without a question.
    QVERIFY(MessageBox::shownBoxes().isEmpty());
    QCOMPARE(readReminderFile(settingsPath()).lines, kNew);
    QVERIFY(w->reminderSettings().reminder().isRunning());
}

void TestReminderUnreadable::fileMadeReadableAfterTheLoadStillAsks() {
    make(QStringLiteral("no permission"));
    AddinsWindow* w = load();
    QVERIFY(w);
    QVERIFY(!control<QLabel>(w, "LabReminderProblem")->isHidden());
    // Readable now, but the page never showed what it holds.
    m_bind.reset();
    QVERIFY(
        QFile::setPermissions(settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    MessageBox::setNextAnswer(QMessageBox::No);
    typeAndConfirm(w);
    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    QVERIFY(
        MessageBox::shownBoxes().first().text.contains(QStringLiteral("要用窗口中的内容替换它吗")));
    QCOMPARE(readBytes(settingsPath()), kOld);
    QVERIFY(!w->reminderSettings().reminder().isRunning());
}

QTEST_MAIN(TestReminderUnreadable)
#include "tst_reminder_unreadable.moc"
