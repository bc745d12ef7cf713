// A window of a program on the accessibility bus, for the capture tests to stop (SIGSTOP) so that it
// stands for a browser that does not answer. Usage: accessible_standin TITLE
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("stand-in"));
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Stand-in"));
    window.resize(240, 80);
    window.show();
    return app.exec();
}
