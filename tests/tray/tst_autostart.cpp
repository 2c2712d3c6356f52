#include "tray/autostart_linux.h"
#include "tray/desktop_entry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

// Reads an Exec value back the way a launcher does (the Desktop Entry rules): first the
// general string unescaping, then the argument quoting, then "%%". Anything the writer must
// never produce (an unescaped reserved character, an unknown escape, a field code) fails.
std::optional<QStringList> parseExec(const QString& value) {
    QString unescaped;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\') {
            unescaped += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        switch (value[i].unicode()) {
        case 's':
            unescaped += u' ';
            break;
        case 'n':
            unescaped += u'\n';
            break;
        case 't':
            unescaped += u'\t';
            break;
        case 'r':
            unescaped += u'\r';
            break;
        case '\\':
            unescaped += u'\\';
            break;
        default:
            return std::nullopt;
        }
    }

    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QStringList arguments;
    QString current;
    bool inArgument = false;
    for (int i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (c == u' ') {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == u'"') {
            for (++i;; ++i) {
                if (i == unescaped.size())
                    return std::nullopt; // no closing quote
                const QChar q = unescaped[i];
                if (q == u'"')
                    break;
                if (q == u'\\') {
                    if (++i == unescaped.size())
                        return std::nullopt;
                    const QChar e = unescaped[i];
                    if (e != u'"' && e != u'`' && e != u'$' && e != u'\\')
                        return std::nullopt;
                    current += e;
                    continue;
                }
                if (q == u'`' || q == u'$')
                    return std::nullopt; // must have been escaped
                current += q;
            }
            continue;
        }
        if (kReserved.contains(c))
            return std::nullopt;
        current += c;
    }
    if (inArgument)
        arguments << current;

    for (QString& argument : arguments) {
        QString plain;
        for (int i = 0; i < argument.size(); ++i) {
            if (argument[i] == u'%') {
                if (i + 1 == argument.size() || argument[i + 1] != u'%')
                    return std::nullopt; // a field code
                ++i;
            }
            plain += argument[i];
        }
        argument = plain;
    }
    return arguments;
}

QMap<QString, QString> readEntry(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> keys;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const int equals = line.indexOf(u'=');
        keys.insert(equals < 0 ? line : line.left(equals),
                    equals < 0 ? QString() : line.mid(equals + 1));
    }
    return keys;
}

void addHostilePaths() {
    QTest::addColumn<QString>("program");
    QTest::newRow("plain") << QStringLiteral("/opt/dalvenor/dalvenor");
    QTest::newRow("space") << QStringLiteral("/home/student/My Programs/dalvenor");
    QTest::newRow("double quote") << QStringLiteral("/tmp/say \"hi\"/dalvenor");
    QTest::newRow("single quote") << QStringLiteral("/tmp/it's/dalvenor");
    QTest::newRow("dollar") << QStringLiteral("/tmp/$HOME/dalvenor");
    QTest::newRow("percent") << QStringLiteral("/tmp/100%/dalvenor");
    QTest::newRow("field code lookalike") << QStringLiteral("/tmp/%f %U/dalvenor");
    QTest::newRow("backslash") << QStringLiteral("/tmp/back\\slash/dalvenor");
    QTest::newRow("backtick") << QStringLiteral("/tmp/`reboot`/dalvenor");
    QTest::newRow("shell chars") << QStringLiteral("/tmp/a;b&c|d>e<f*g?h#i(j)~k/dalvenor");
    QTest::newRow("cjk") << QStringLiteral("/home/学生/高考 倒计时/达尔韦诺");
    QTest::newRow("tab") << QStringLiteral("/tmp/tab\there/dalvenor");
    QTest::newRow("everything") << QStringLiteral("/tmp/\\\"$`%' 高考/dal venor");
}

} // namespace

class TstAutostart : public QObject {
    Q_OBJECT
private slots:
    void init();

    void enableWritesEntryForProgram();
    void enableTwiceLeavesOneEntry();
    void enableAfterMovePointsToNewPlace();
    void disableRemovesEntry();
    void disableWithoutEntrySucceeds();
    void defaultFolderFollowsXdgConfigHome();
    void execQuotingRoundTrips_data();
    void execQuotingRoundTrips();
    void backslashIsWrittenFourfold();
    void entryPassesValidator_data();
    void entryPassesValidator();
    void unwritableFolderFailsAndKeepsNothing();

private:
    QString folder() const { return m_dir->filePath(QStringLiteral("config/autostart")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TstAutostart::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TstAutostart::enableWritesEntryForProgram() {
    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"), folder());
    QString error;
    QVERIFY(autostart.enable(&error));
    QVERIFY(error.isEmpty());
    QCOMPARE(autostart.entryPath(), folder() + QStringLiteral("/Dalvenor.desktop"));

    const auto keys = readEntry(autostart.entryPath());
    QVERIFY(keys.contains(QStringLiteral("[Desktop Entry]")));
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Dalvenor"));
    QCOMPARE(parseExec(keys.value(QStringLiteral("Exec"))),
             std::optional<QStringList>(QStringList{QStringLiteral("/opt/dalvenor/dalvenor")}));
}

void TstAutostart::enableTwiceLeavesOneEntry() {
    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"), folder());
    QVERIFY(autostart.enable(nullptr));
    QFile first(autostart.entryPath());
    QVERIFY(first.open(QIODevice::ReadOnly));
    const QByteArray before = first.readAll();
    first.close();

    QVERIFY(autostart.enable(nullptr));
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Dalvenor.desktop"});
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), before);
}

void TstAutostart::enableAfterMovePointsToNewPlace() {
    QVERIFY(XdgAutostart(QStringLiteral("/old/place/dalvenor"), folder()).enable(nullptr));
    // The name of the entry stays "Dalvenor" whatever the executable is called.
    XdgAutostart moved(QStringLiteral("/new place/renamed-countdown"), folder());
    QVERIFY(moved.enable(nullptr));
    QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList{"Dalvenor.desktop"});
    const auto keys = readEntry(moved.entryPath());
    QCOMPARE(
        parseExec(keys.value(QStringLiteral("Exec"))),
        std::optional<QStringList>(QStringList{QStringLiteral("/new place/renamed-countdown")}));
}

void TstAutostart::disableRemovesEntry() {
    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"), folder());
    QVERIFY(autostart.enable(nullptr));
    // Someone else's entry in the same folder is left alone.
    QFile other(folder() + QStringLiteral("/other.desktop"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    QString error;
    QVERIFY(autostart.disable(&error));
    QVERIFY(error.isEmpty());
    QVERIFY(!QFile::exists(autostart.entryPath()));
    QVERIFY(QFile::exists(other.fileName()));
}

void TstAutostart::disableWithoutEntrySucceeds() {
    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"), folder());
    QString error;
    QVERIFY(autostart.disable(&error));
    QVERIFY(error.isEmpty());
    QVERIFY(autostart.disable(&error));
    QVERIFY(!QFileInfo::exists(folder()));
}

void TstAutostart::defaultFolderFollowsXdgConfigHome() {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("xdg")).toUtf8());
    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"));
    const bool enabled = autostart.enable(nullptr);
    qputenv("XDG_CONFIG_HOME", saved);
    QVERIFY(enabled);
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("xdg/autostart/Dalvenor.desktop"))));
}

void TstAutostart::execQuotingRoundTrips_data() {
    addHostilePaths();
}

void TstAutostart::execQuotingRoundTrips() {
    QFETCH(QString, program);
    XdgAutostart autostart(program, folder());
    QVERIFY(autostart.enable(nullptr));
    const QString exec = readEntry(autostart.entryPath()).value(QStringLiteral("Exec"));
    QVERIFY(!exec.contains(u'\n'));
    const std::optional<QStringList> parsed = parseExec(exec);
    QVERIFY2(parsed.has_value(), qPrintable(exec));
    QCOMPARE(*parsed, QStringList{program});
}

void TstAutostart::backslashIsWrittenFourfold() {
    QCOMPARE(desktop_entry::execValue(QStringLiteral("/a\\b")), QStringLiteral("\"/a\\\\\\\\b\""));
    QCOMPARE(desktop_entry::execValue(QStringLiteral("/a b/%")), QStringLiteral("\"/a b/%%\""));
    QCOMPARE(desktop_entry::execValue(QStringLiteral("/plain")), QStringLiteral("/plain"));
}

void TstAutostart::entryPassesValidator_data() {
    addHostilePaths();
}

void TstAutostart::entryPassesValidator() {
    QFETCH(QString, program);
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    XdgAutostart autostart(program, folder());
    QVERIFY(autostart.enable(nullptr));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {autostart.entryPath()});
    QVERIFY(process.waitForFinished(30000));
    const QString output = QString::fromUtf8(process.readAll());
    QVERIFY2(process.exitCode() == 0 && output.trimmed().isEmpty(), qPrintable(output));
}

void TstAutostart::unwritableFolderFailsAndKeepsNothing() {
    // Root writes through any mode bits, so the folder is blocked by a regular file instead.
    QDir().mkpath(m_dir->filePath(QStringLiteral("config")));
    QFile blocker(folder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();

    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"), folder());
    QString error;
    QVERIFY(!autostart.enable(&error));
    QVERIFY2(error.contains(QStringLiteral("无法设置开机启动")), qPrintable(error));
    QVERIFY(QFileInfo(folder()).isFile());
    QVERIFY(blocker.open(QIODevice::ReadOnly));
    QCOMPARE(blocker.readAll(), QByteArray("not a folder"));
}

QTEST_GUILESS_MAIN(TstAutostart)
#include "tst_autostart.moc"
