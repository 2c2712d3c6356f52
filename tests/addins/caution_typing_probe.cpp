// A window the student types in while the reminder pops up: one line edit whose text is written
// to the file named by the first argument after every change, so that a desktop test can tell
// which keystrokes arrived here.
#include <QApplication>
#include <QFile>
#include <QLineEdit>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("caution-typing-probe"));
    edit.resize(300, 40);
    edit.move(40, 40);
    QObject::connect(&edit, &QLineEdit::textChanged, [path](const QString& text) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    });
    edit.show();
    edit.activateWindow();
    return app.exec();
}
