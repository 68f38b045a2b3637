#include <QElapsedTimer>
#include <QtTest>

#include <unistd.h>

#include "tests/usbtree/UsbTestSupport.h"

// The registry text parser and its helpers, on registry text fixtures.
class tst_RegistryParser : public QObject
{
    Q_OBJECT

private slots:
    void splitter_data();
    void splitter();
    void openProcessRunsWithoutShell_data();
    void openProcessRunsWithoutShell();
    void openProcessGivesItsOwnGroupAndNoInput();
    void textWithoutNodesGivesSyntheticRoot();
    void registryRootBecomesTheTree();
    void rootHubsAreNumberedInLineOrder();
    void nodesHangBelowTheirIndentation();
    void endDevicesListChildrenFirst();
    void malformedLinesEndPropertyBlocks();
    void severalTopEntriesKeepSyntheticRoot();
    void lostIndentationDropsTheRest();
    void longNodeLineParsesInLinearTime();
    void replacedRootHubsLeaveTheNumbering();
};

void tst_RegistryParser::splitter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("two lines") << "a\nb\n" << "\n" << QStringList{"a", "b", ""};
    QTest::newRow("leading delimiter kept") << "\nab\nc" << "\n" << QStringList{"\nab", "c"};
    QTest::newRow("empty text") << "" << "\n" << QStringList{""};
    QTest::newRow("no delimiter") << "abc" << "<" << QStringList{"abc"};
    QTest::newRow("adjacent delimiters") << "x<<y" << "<" << QStringList{"x", "", "y"};
    QTest::newRow("value with separator") << "key = b = c" << " = " << QStringList{"key", "b", "c"};
    QTest::newRow("name shorter than separator") << "ab = 1" << " = " << QStringList{"ab = 1"};
}

void tst_RegistryParser::splitter()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(QStringList, pieces);
    QStringList actual;
    for (const std::string& piece : stdStringSpliter(text.toStdString(), delimiter.toStdString()))
        actual << QString::fromStdString(piece);
    QCOMPARE(actual, pieces);
}

void tst_RegistryParser::openProcessRunsWithoutShell_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("output");
    QTest::newRow("shell characters stay arguments") << "/bin/echo a;b  $HOME|x" << true << "a;b $HOME|x\n";
    QTest::newRow("found on PATH") << "echo hello" << true << "hello\n";
    QTest::newRow("non-zero status") << "/bin/false" << false << "";
    QTest::newRow("missing program") << "/nonexistent/ioreg -l" << false << "";
    QTest::newRow("empty command") << "" << false << "";
}

void tst_RegistryParser::openProcessRunsWithoutShell()
{
    QFETCH(QString, command);
    QFETCH(bool, ok);
    QFETCH(QString, output);
    std::string collected = "kept:";
    QCOMPARE(openProcess(command.toUtf8().constData(), &collected), ok);
    QCOMPARE(QString::fromStdString(collected), "kept:" + output);
    QCOMPARE(openProcess(command.toUtf8().constData(), nullptr), ok);
}

void tst_RegistryParser::openProcessGivesItsOwnGroupAndNoInput()
{
    // The program leads a group of its own: in /proc/<pid>/stat its group (field 5) is its pid.
    std::string stat;
    QVERIFY(openProcess("cat /proc/self/stat", &stat));
    const QStringList fields = QString::fromStdString(stat).section(QLatin1Char(')'), -1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QVERIFY2(fields.size() > 3, stat.c_str());
    QCOMPARE(fields.at(2), QString::fromStdString(stat).section(QLatin1Char(' '), 0, 0));

    // Our own standard input has something to read; the program reads nothing of it.
    int input[2];
    QVERIFY(pipe(input) == 0);
    const int savedInput = dup(STDIN_FILENO);
    dup2(input[0], STDIN_FILENO);
    close(input[0]);
    QVERIFY(write(input[1], "ours\n", 5) == 5);
    close(input[1]);
    std::string read;
    const bool ok = openProcess("cat", &read);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    QVERIFY(ok);
    QCOMPARE(QString::fromStdString(read), QString());
}

void tst_RegistryParser::textWithoutNodesGivesSyntheticRoot()
{
    for (const char* text : {"", "no registry here\n  {\n    \"a\" = 1\n  }\n"}) {
        USBTreePtr tree(parseUsbTree(text));
        QVERIFY(tree);
        QCOMPARE(tree->name, std::string("MainRoot"));
        QCOMPARE(tree->klass, std::string("Root"));
        QCOMPARE(tree->depth, -1);
        QVERIFY(!tree->parent);
        QVERIFY(tree->children.empty());
        QVERIFY(tree->properties.empty());
    }
}

void tst_RegistryParser::registryRootBecomesTheTree()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-two-buses.txt"));
    QVERIFY(tree);
    QCOMPARE(tree->name, std::string("Root"));
    QCOMPARE(tree->klass, std::string("IORegistryEntry"));
    QCOMPARE(tree->depth, 0);
    QVERIFY(!tree->parent);
    QCOMPARE(tree->properties.size(), size_t(2));
    QCOMPARE(propertyOf(tree.get(), "IOKitBuildVersion"),
             QStringLiteral("Darwin Kernel Version 14.5.0: Wed Jul 29 02:26:53 PDT 2015"));
    QCOMPARE(propertyOf(tree.get(), "IOKitDiagnostics"), QStringLiteral("{Classes={IOUSBDevice=5}}"));
}

void tst_RegistryParser::rootHubsAreNumberedInLineOrder()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-two-buses.txt"));
    QVERIFY(tree);
    USBTree* superSpeed = child(tree.get(), "  +-o XHCI Root Hub SS Simulation@14000000");
    USBTree* highSpeed = child(tree.get(), "  +-o XHCI Root Hub USB 2.0 Simulation@14800000");
    QVERIFY(superSpeed && highSpeed);
    QCOMPARE(tree->children.size(), size_t(2));
    QCOMPARE(superSpeed->klass, std::string("IOUSBRootHubDevice"));
    QCOMPARE(superSpeed->name, std::string("XHCI Root Hub SS Simulation"));
    QCOMPARE(superSpeed->depth, 1);
    QCOMPARE(superSpeed->parent, tree.get());
    // The registry printed 7 and 0; the line order decides.
    QCOMPARE(propertyOf(superSpeed, "PortNum"), QStringLiteral("0"));
    QCOMPARE(propertyOf(highSpeed, "PortNum"), QStringLiteral("1"));
    QCOMPARE(propertyOf(highSpeed, "locationID"), QStringLiteral("343932928"));
}

void tst_RegistryParser::nodesHangBelowTheirIndentation()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-two-buses.txt"));
    QVERIFY(tree);
    USBTree* rootHub = child(tree.get(), "  +-o XHCI Root Hub USB 2.0 Simulation@14800000");
    QVERIFY(rootHub);
    USBTree* hub = child(rootHub, "    +-o USB2.0 Hub@14830000");
    QVERIFY(hub);
    QCOMPARE(hub->depth, 2);
    QCOMPARE(hub->parent, rootHub);
    USBTree* android = child(hub, "      +-o Android@14832000");
    USBTree* keyboard = child(hub, "      +-o Keyboard@14831000");
    QVERIFY(android && keyboard);
    QCOMPARE(android->depth, 3);
    QCOMPARE(android->parent, hub);
    QCOMPARE(keyboard->parent, hub);
    QCOMPARE(android->klass, std::string("IOUSBDevice"));
    QCOMPARE(android->properties.size(), size_t(7));
    QCOMPARE(propertyOf(android, "USB Serial Number"), QStringLiteral("0123456789ABCDEF"));
    QCOMPARE(propertyOf(android, "USB Vendor Name"), QStringLiteral("Google"));
    QCOMPARE(propertyOf(android, "idProduct"), QStringLiteral("20199"));
    QCOMPARE(propertyOf(keyboard, "USB Serial Number"), QStringLiteral("<absent>"));

    USBTree* flash = child(child(tree.get(), "  +-o XHCI Root Hub SS Simulation@14000000"), "  | +-o Flash Drive@14100000");
    QVERIFY(flash);
    QCOMPARE(flash->depth, 2);
    QCOMPARE(propertyOf(flash, "Device Speed"), QStringLiteral("3"));
}

void tst_RegistryParser::endDevicesListChildrenFirst()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-two-buses.txt"));
    QVERIFY(tree);
    const std::list<USBTree*> devices = getEndDevices(tree.get(), nullptr);
    QCOMPARE(names(devices), (QStringList{"Flash Drive", "Android", "Keyboard", "USB2.0 Hub"}));

    std::list<USBTree*> into{tree.get()};
    const std::list<USBTree*> appended = getEndDevices(tree.get(), &into);
    QCOMPARE(into.size(), size_t(5));
    QCOMPARE(appended, into);
    QCOMPARE(into.front(), tree.get());
    QVERIFY(getEndDevices(nullptr, nullptr).empty());
}

void tst_RegistryParser::malformedLinesEndPropertyBlocks()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-quirks.txt"));
    QVERIFY(tree);
    QCOMPARE(tree->children.size(), size_t(1));
    USBTree* rootHub = tree->children.begin()->second;
    // "\S*," finds the comma of the entry name before the class.
    QCOMPARE(rootHub->klass, std::string("Simulation@1D"));
    QCOMPARE(rootHub->name, std::string("EHCI Root Hub Simulation"));
    QCOMPARE(propertyOf(rootHub, "PortNum"), QStringLiteral("9"));

    QCOMPARE(rootHub->children.size(), size_t(2));
    USBTree* camera = child(rootHub, "    +-o Camera@fd110000");
    QVERIFY(camera);
    QCOMPARE(camera->properties.size(), size_t(1));
    QCOMPARE(propertyOf(camera, "idVendor"), QStringLiteral("<absent>"));

    // The second "Modem" line replaces the first; its short property name ended nothing there.
    USBTree* modem = child(rootHub, "    +-o Modem@fd120000");
    QVERIFY(modem);
    QCOMPARE(propertyOf(modem, "PortNum"), QStringLiteral("4"));
    QCOMPARE(propertyOf(modem, "idProduct"), QStringLiteral("22136"));
    QCOMPARE(propertyOf(modem, "idVendor"), QStringLiteral("<absent>"));

    USBTreePtr shortName(parseUsbTree("+-o A  <class IOUSBDevice, id 1>\n  {\n    \"ab\" = 1\n    \"idVendor\" = 5\n  }\n"));
    QVERIFY(shortName->properties.empty());
}

void tst_RegistryParser::severalTopEntriesKeepSyntheticRoot()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-two-tops.txt"));
    QVERIFY(tree);
    QCOMPARE(tree->name, std::string("MainRoot"));
    QCOMPARE(tree->depth, -1);
    QCOMPARE(tree->children.size(), size_t(2));
    USBTree* looseHub = child(tree.get(), "+-o Loose Hub@2a000000");
    QVERIFY(looseHub);
    QCOMPARE(looseHub->parent, tree.get());
    QCOMPARE(looseHub->depth, 0);
    QCOMPARE(propertyOf(looseHub, "PortNum"), QStringLiteral("0"));
    USBTree* sensor = child(looseHub, "  +-o Sensor@2a100000");
    QVERIFY(sensor);
    QCOMPARE(hexBytes(getUSBAddress(sensor)), QStringLiteral("00 01 00 00 00 00 00 02"));
}

void tst_RegistryParser::lostIndentationDropsTheRest()
{
    const std::string text =
        "+-o Root  <class IORegistryEntry, id 1>\n  {\n  }\n"
        "          +-o Deep@1  <class IOUSBDevice, id 2>\n  {\n  }\n"
        "  +-o Shallow@2  <class IOUSBDevice, id 3>\n  {\n  }\n"
        "    +-o Below@3  <class IOUSBDevice, id 4>\n  {\n  }\n";
    USBTreePtr tree(parseUsbTree(text));
    QVERIFY(tree);
    QCOMPARE(tree->name, std::string("Root"));
    QCOMPARE(tree->children.size(), size_t(1));
    QCOMPARE(names(getEndDevices(tree.get(), nullptr)), QStringList{"Deep"});
}

void tst_RegistryParser::longNodeLineParsesInLinearTime()
{
    // 400 KB of blank-separated words without a comma: a class search that went back to the start
    // of the line for every word took minutes.
    std::string line = "+-o Huge@1  <";
    for (int i = 0; i < 200000; ++i)
        line += "x ";
    line += ">\n  {\n    \"idVendor\" = 1234\n  }\n";
    QElapsedTimer timer;
    timer.start();
    USBTreePtr tree(parseUsbTree(line));
    const qint64 elapsed = timer.elapsed();
    QVERIFY(tree);
    QCOMPARE(tree->name, std::string("Huge"));
    QCOMPARE(tree->klass, std::string());
    QCOMPARE(propertyOf(tree.get(), "idVendor"), QStringLiteral("1234"));
    // Linear work is milliseconds; the bound only tells linear from quadratic, with room for load.
    QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
}

void tst_RegistryParser::replacedRootHubsLeaveTheNumbering()
{
    // The shape that once cost a pass over every hub for each replaced node (bench/registrybench
    // times it).
    const int hubs = 3000;
    const int replacements = 3000;
    USBTreePtr tree(parseUsbTree(replacingHubsText(hubs, replacements)));
    QVERIFY(tree);
    QCOMPARE(tree->children.size(), size_t(hubs + 1));
    for (int i : {0, 1, hubs - 1}) {
        const USBTree* hub = child(tree.get(), "  +-o Hub " + std::to_string(i) + "@" + std::to_string(i));
        QVERIFY(hub);
        QCOMPARE(propertyOf(hub, "PortNum"), QString::number(i));
    }
    const USBTree* spare = child(tree.get(), "  +-o Spare Hub@ff000000");
    QVERIFY(spare);
    QCOMPARE(propertyOf(spare, "Replacement"), QString::number(replacements - 1));
    QCOMPARE(propertyOf(spare, "PortNum"), QString::number(hubs));
    QCOMPARE(spare->children.size(), size_t(1));
    QCOMPARE(propertyOf(spare->children.begin()->second, "Replacement"), QString::number(replacements - 1));
}

QTEST_GUILESS_MAIN(tst_RegistryParser)
#include "tst_RegistryParser.moc"
