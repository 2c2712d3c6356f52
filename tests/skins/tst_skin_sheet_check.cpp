// What a skin's sheet may name and how it must leave text: checked on real files of every
// kind in a temporary folder, before any widget sees the sheet.
#include "skins/skin_sheet_check.h"
#include "skins/style_sheet_skin.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

void writePng(const QString& path, int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    image.fill(0);
    QVERIFY2(image.save(path, "PNG"), qPrintable(path));
}

} // namespace

class TestSkinSheetCheck : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_previous = QDir::currentPath();
        // Relative names resolve against the current folder, as Qt resolves them.
        QVERIFY(QDir::setCurrent(m_folder->path()));
    }
    void cleanup() {
        QDir::setCurrent(m_previous);
        m_folder.reset();
    }

    // Each row makes the thing the sheet names, then loads a skin naming it. A refused skin
    // is never parsed (the parse would open the file) and hands no sheet on.
    void namedFilesMustBeSmallRegularImages_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("reason"); // part of the message when refused

        QTest::newRow("good png") << "png"
                                  << "url(pic.png)" << true << "";
        QTest::newRow("good png, quoted, absolute") << "png"
                                                    << "url( \"%1/pic.png\" )" << true << "";
        QTest::newRow("good png, upper case") << "png"
                                              << "URL(pic.png)" << true << "";
        QTest::newRow("fifo") << "fifo"
                              << "url(pic.png)" << false << "不是普通文件";
        QTest::newRow("fifo, single quotes") << "fifo"
                                             << "url('pic.png')" << false << "不是普通文件";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "url(pic.png)" << false << "不是普通文件";
        QTest::newRow("folder") << "folder"
                                << "url(pic.png)" << false << "不是普通文件";
        QTest::newRow("dangling link") << "dangling"
                                       << "url(pic.png)" << false << "不是普通文件";
        QTest::newRow("huge sparse file") << "sparse"
                                          << "url(pic.png)" << false << "太大";
        QTest::newRow("missing") << "none"
                                 << "url(pic.png)" << false << "没有找到";
        QTest::newRow("text, not an image") << "text"
                                            << "url(pic.png)" << false << "不是能读懂的图片";
        QTest::newRow("image bomb") << "bomb"
                                    << "url(pic.png)" << false << "太大";
        QTest::newRow("missing resource") << "none"
                                          << "url(:/no/such.png)" << false << "不存在";
        QTest::newRow("empty url") << "none"
                                   << "url()" << true << "";
        QTest::newRow("fifo in a string property")
            << "fifo"
            << "qproperty-styleSheet: \"x { image: url(pic.png) }\"" << false << "不是普通文件";
        QTest::newRow("fifo after an unclosed comment")
            << "fifo"
            << "/* url(pic.png)" << false << "不是普通文件";
        QTest::newRow("fifo in a closed comment") << "fifo"
                                                  << "/* url(pic.png) */" << true << "";
        QTest::newRow("escaped letters") << "fifo"
                                         << "u\\72l(pic.png)" << false << "反斜杠";
        QTest::newRow("url without its end") << "fifo"
                                             << "url(pic.png" << false << "没有正确结束";
    }
    void namedFilesMustBeSmallRegularImages() {
        QFETCH(QString, kind);
        QFETCH(QString, url);
        QFETCH(bool, usable);
        QFETCH(QString, reason);
        const QString target = m_folder->filePath("pic.png");
        const QByteArray name = QFile::encodeName(target);
        if (kind == "png") {
            writePng(target, 16, 16, QImage::Format_RGB32);
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link("/dev/zero", target));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(target));
        } else if (kind == "dangling") {
            QVERIFY(QFile::link(m_folder->filePath("gone.png"), target));
        } else if (kind == "sparse") {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(qint64(8) << 30));
        } else if (kind == "text") {
            writeFile(target, "not a picture\n");
        } else if (kind == "bomb") {
            writePng(target, 5000, 5000, QImage::Format_Mono);
            QVERIFY(QFileInfo(target).size() < skincheck::kMaxImageBytes);
        }
        const QString skin = m_folder->filePath("x.she");
        const QString sheet = url.contains("qproperty") || url.startsWith("/*")
                                  ? QStringLiteral("QLabel { %1 }").arg(url)
                                  : QStringLiteral("QPushButton { image: %1; }").arg(url);
        writeFile(skin, (sheet.contains("%1") ? sheet.arg(m_folder->path()) : sheet).toUtf8());

        const skinfile::Loaded loaded = skinfile::load(skin);
        if (usable && !url.contains("qproperty")) {
            QVERIFY2(loaded.status == skinfile::Status::Ok, qPrintable(loaded.error));
            QVERIFY(!loaded.sheet.isEmpty());
            return;
        }
        QCOMPARE(int(loaded.status), int(skinfile::Status::Refused));
        QVERIFY(loaded.sheet.isEmpty());
        QVERIFY2(loaded.error.contains(skin), qPrintable(loaded.error));
        QVERIFY2(loaded.error.contains(reason), qPrintable(loaded.error));
        if (reason != "反斜杠" && reason != "没有正确结束" && kind != "none")
            QVERIFY2(loaded.error.contains(target), qPrintable(loaded.error));
    }

    // A prefix registered as a search path is looked up the way Qt looks it up.
    void searchPathNamesAreResolvedInTheirFolders() {
        const QString first = m_folder->filePath("a");
        const QString second = m_folder->filePath("b");
        QVERIFY(QDir().mkpath(first));
        QVERIFY(QDir().mkpath(second));
        QDir::setSearchPaths("dalvenortest", {first, second});
        QCOMPARE(::mkfifo(QFile::encodeName(second + "/pic.png").constData(), 0600), 0);
        QVERIFY(skincheck::resourceProblem("dalvenortest:pic.png").contains(second));
        writePng(first + "/pic.png", 8, 8, QImage::Format_RGB32);
        QCOMPARE(skincheck::resolve("dalvenortest:pic.png").path, first + "/pic.png");
        QVERIFY(skincheck::resourceProblem("dalvenortest:pic.png").isEmpty());
        QDir::setSearchPaths("dalvenortest", {});
        // Unregistered, the same name is a file of the current folder.
        QCOMPARE(skincheck::resolve("dalvenortest:pic.png").path,
                 m_folder->filePath("dalvenortest:pic.png"));
    }

    void urlsAreFoundWhereverTheyStand_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("values") << "a { background: url(x.png) no-repeat; border-image: "
                                   "url(\"y z.png\") 3 }"
                                << QStringList{"x.png", "y z.png"};
        QTest::newRow("icons and spaces")
            << "QMenu::right-arrow { image: url ( 'r.png' ) }" << QStringList{"r.png"};
        QTest::newRow("comment text skipped")
            << "/* see url(old.png) */ a { image: url(new.png) }" << QStringList{"new.png"};
        QTest::newRow("comment mark inside a string")
            << "a { qproperty-x: \"/*\" } b { image: url(f.png) } /* */" << QStringList{"f.png"};
        QTest::newRow("none") << "QPushButton { color: red }" << QStringList{};
    }
    void urlsAreFoundWhereverTheyStand() {
        QFETCH(QString, sheet);
        QFETCH(QStringList, names);
        const skincheck::Urls urls = skincheck::findUrls(sheet);
        QVERIFY2(urls.error.isEmpty(), qPrintable(urls.error));
        QCOMPARE(urls.names, names);
    }

    void textMustStayReadable_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("reason"); // empty: the sheet is accepted

        const QString same = "相同或几乎相同";
        const QString size = "字号";
        QTest::newRow("same colour in one rule")
            << "QMenu { color: white; background: white; }" << same;
        QTest::newRow("nearly the same dark grey")
            << "* { color: #101010; background-color: #121212 }" << same;
        QTest::newRow("rgb against rgba") << "QMenu { color: rgb(200,0,0); "
                                             "background: rgba(201, 1, 1, 255) }"
                                          << same;
        QTest::newRow("names and hex") << "QLabel { color: navy; background: #000082 }" << same;
        QTest::newRow("gradient of the text colour")
            << "QMenu { color: red; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
               "stop:0 red, stop:1 #fe0000) }"
            << same;
        QTest::newRow("labels on the window's background")
            << "QLabel { color: white } Form { background-color: white }" << same;
        QTest::newRow("everything on the menu's background")
            << "* { color: #fefefe } QMenu { background: #ffffff }" << same;
        QTest::newRow("selected menu item")
            << "QMenu { selection-color: blue; selection-background-color: blue }" << same;
        QTest::newRow("inside @media")
            << "@media screen { QMenu { color: red; background: red } }" << same;
        QTest::newRow("see-through background")
            << "QPushButton { color: #fefefe; background: none } Form { background: white }"
            << same;
        QTest::newRow("transparent text") << "QPushButton { color: transparent }"
                                          << "透明";
        QTest::newRow("faint text") << "QMenu { color: rgba(0, 0, 0, 10) }"
                                    << "透明";
        QTest::newRow("400 pt") << "* { font-size: 400pt; }" << size;
        QTest::newRow("400 pt shorthand") << "QMenu { font: bold 400pt \"宋体\" }" << size;
        QTest::newRow("200 px") << "* { font-size: 200px }" << size;
        QTest::newRow("10 em") << "* { font-size: 10em }" << size;
        QTest::newRow("1000 percent") << "* { font-size: 1000% }" << size;
        QTest::newRow("zero") << "* { font-size: 0pt }" << size;
        QTest::newRow("bare huge number") << "* { font-size: 500 }" << size;
        QTest::newRow("padding pushes the text out") << "QPushButton { padding: 2px 400px }"
                                                     << "太大";
        QTest::newRow("border as wide as a window") << "QMenu { border: 300px solid red }"
                                                    << "太大";
        QTest::newRow("menu item margin") << "QMenu::item { margin-left: 10em }"
                                          << "太大";
        QTest::newRow("forced height") << "QMenu { min-height: 5000px }"
                                       << "太大";
        QTest::newRow("text replaced") << "QPushButton { qproperty-text: \"\" }"
                                       << "属性";

        QTest::newRow("black on white") << "QMenu { color: black; background: white }"
                                        << "";
        QTest::newRow("button with its own background")
            << "QPushButton { color: white; background: #0000a0 } QDialog { background: white }"
            << "";
        QTest::newRow("labels are not on menus")
            << "QLabel { color: white } QMenu { background: white; color: black } "
               "QDialog { background: #202020 }"
            << "";
        QTest::newRow("white on the platform's window") << "QLabel { color: white }"
                                                        << "窗口本来的背景颜色";
        QTest::newRow("button text on the platform's button")
            << "QPushButton:default { color: " +
                   QGuiApplication::palette().color(QPalette::Button).name() + " }"
            << "窗口本来的背景颜色";
        QTest::newRow("text on a button styled in another rule")
            << "QPushButton { background: #0000c0 } QPushButton:default { color: white }"
            << "";
        QTest::newRow("gradient with a readable part")
            << "QMenu { color: white; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
               "stop:0 white, stop:1 #303030) }"
            << "";
        QTest::newRow("sane fonts") << "* { font: 75 9pt \"宋体\" } QLabel { font-size: 15pt }"
                                    << "";
        QTest::newRow("usual spacing")
            << "QPushButton { padding: 3px 24px 3px 20px; border: 1px solid #6f6f6f; "
               "border-radius: 90px; min-width: 16px } QScrollBar::add-line { width: 0 }"
            << "";
        QTest::newRow("72 pt at most") << "QLabel { font-size: 72pt }"
                                       << "";
        QTest::newRow("background of a palette colour")
            << "QPushButton { color: white; background: palette(dark) } QDialog { background: "
               "white }"
            << "";
        QTest::newRow("palette colours") << "QMenu { color: palette(window); }"
                                         << "";
    }
    void textMustStayReadable() {
        QFETCH(QString, sheet);
        QFETCH(QString, reason);
        const QString problem = skincheck::findReadabilityProblem(sheet);
        if (reason.isEmpty())
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        else
            QVERIFY2(problem.contains(reason), qPrintable(sheet + " -> " + problem));
    }

    void coloursAreReadAsQtReadsThem_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QList<QColor>>("expected");
        QTest::newRow("hex") << "#102030" << QList<QColor>{QColor(0x10, 0x20, 0x30)};
        QTest::newRow("short hex") << "#fff" << QList<QColor>{QColor(255, 255, 255)};
        QTest::newRow("name") << "red" << QList<QColor>{QColor(255, 0, 0)};
        QTest::newRow("rgba") << "rgba(1, 2, 3, 50%)" << QList<QColor>{QColor(1, 2, 3, 128)};
        QTest::newRow("url then colour")
            << "url(red.png) no-repeat #00ff00" << QList<QColor>{QColor(0, 255, 0)};
        QTest::newRow("gradient stops")
            << "qlineargradient(x1: 0, y1: 0, stop: 0 rgb(1,2,3), stop: 1 blue)"
            << QList<QColor>{QColor(1, 2, 3), QColor(0, 0, 255)};
        QTest::newRow("palette") << "palette(base)" << QList<QColor>{};
    }
    void coloursAreReadAsQtReadsThem() {
        QFETCH(QString, value);
        QFETCH(QList<QColor>, expected);
        QCOMPARE(skincheck::colours(value), expected);
    }

    // The skins the program ships pass every check, so none of them is ever refused.
    void shippedSkinsPass_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"skinh", "itunes", "office2007", "QQ2008"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void shippedSkinsPass() {
        QFETCH(QString, name);
        const QString path =
            qEnvironmentVariable("DALVENOR_SOURCE_DIR") + "/data/skins/" + name + ".she";
        const skinfile::Loaded loaded = skinfile::load(path);
        QVERIFY2(loaded.status == skinfile::Status::Ok, qPrintable(loaded.error));
    }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previous;
};

QTEST_MAIN(TestSkinSheetCheck)
#include "tst_skin_sheet_check.moc"
