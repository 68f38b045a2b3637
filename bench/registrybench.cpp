// Cost of the registry text parser on the shape that once made it quadratic: many root hubs, then
// many root hubs with a device each that share one line key, each replacing the one before.
//
//   registrybench [--nodes 10000] [--steps 3] [--repeat 3]
//
// Parses the shape with N hubs and N replacements, then with twice as many, `steps` sizes in all,
// best of `repeat` runs each. Prints the text's size, the time and the ratio to the size before:
// near 2 per doubling is linear work, near 4 quadratic. Exits 1 when a tree is wrong.

#include "tests/usbtree/UsbTestSupport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <limits>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the registry text parser on replacing root hubs."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("nodes"), QStringLiteral("Hubs and replacements of the first size."),
                      QStringLiteral("count"), QStringLiteral("10000")});
    parser.addOption({QStringLiteral("steps"), QStringLiteral("Sizes, each twice the one before."),
                      QStringLiteral("count"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("repeat"), QStringLiteral("Runs per size; the best counts."),
                      QStringLiteral("count"), QStringLiteral("3")});
    parser.process(application);
    const int first = std::max(1, parser.value(QStringLiteral("nodes")).toInt());
    const int steps = std::max(1, parser.value(QStringLiteral("steps")).toInt());
    const int repeat = std::max(1, parser.value(QStringLiteral("repeat")).toInt());

    QTextStream out(stdout);
    out << "nodes\tMB\tms\tratio\n";
    double previousMs = 0;
    for (int step = 0, nodes = first; step < steps; ++step, nodes *= 2) {
        const std::string text = replacingHubsText(nodes, nodes);
        qint64 bestNs = std::numeric_limits<qint64>::max();
        for (int run = 0; run < repeat; ++run) {
            QElapsedTimer timer;
            timer.start();
            USBTreePtr tree(parseUsbTree(text));
            bestNs = std::min(bestNs, timer.nsecsElapsed());
            if (!tree || tree->children.size() != size_t(nodes) + 1) {
                out << "wrong tree for " << nodes << " nodes\n";
                return 1;
            }
        }
        const double ms = bestNs / 1e6;
        out << nodes << '\t' << QString::number(text.size() / 1e6, 'f', 1) << '\t'
            << QString::number(ms, 'f', 1) << '\t'
            << (previousMs > 0 ? QString::number(ms / previousMs, 'f', 2) : QStringLiteral("-")) << '\n';
        out.flush();
        previousMs = ms;
    }
    return 0;
}
