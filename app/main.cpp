#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lite"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.3.2.0"));
    QTextStream(stdout) << QCoreApplication::applicationName() << ' '
                        << QCoreApplication::applicationVersion() << '\n';
    return 0;
}
