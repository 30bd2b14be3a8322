#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // No main window: closing a panel must never end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
