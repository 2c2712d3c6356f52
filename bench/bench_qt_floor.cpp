// The toolkit's own floor for the start-up figure: a bare Qt Widgets window of the countdown's
// size and title, with one line of Chinese text, and nothing else. What the program takes
// beyond this is its own; what this takes beyond Conky is the toolkit's loading.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("距离高考还有 180天 0小时0分钟0秒"));
    label.setWindowTitle(QStringLiteral("Dalvenor"));
    label.resize(403, 216);
    label.show();
    return QApplication::exec();
}
