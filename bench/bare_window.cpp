// The reference for the start-up figure: the least a Qt Widgets program can show, one window
// with a label.

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Hello"));
    label.setWindowTitle(QStringLiteral("bare"));
    label.show();
    return QApplication::exec();
}
