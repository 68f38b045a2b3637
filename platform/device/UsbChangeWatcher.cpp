#include "platform/device/UsbChangeWatcher.h"

#include "platform/device/DeviceScanner.h"
#include "platform/device/SysfsUsbReader.h"

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kKernelRoot = QStringLiteral("/sys/bus/usb/devices");
// Long enough for the uevents of one device (device, then its interfaces) to arrive together.
const int kSettleMs = 20;
const unsigned kKernelEventGroup = 1;

} // namespace

UsbChangeWatcher::UsbChangeWatcher(DeviceScanner* scanner, const QString& root, QObject* parent)
    : QObject(parent)
    , m_scanner(scanner)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { m_scanner->requestScan(); });

    const QString tree = root.isEmpty() ? SysfsUsbReader::defaultRoot() : root;
    if (tree == kKernelRoot) {
        listenToKernel();
        return;
    }
    m_folderWatcher = new QFileSystemWatcher(this);
    if (!m_folderWatcher->addPath(tree)) {
        delete m_folderWatcher;
        m_folderWatcher = nullptr;
        return;
    }
    connect(m_folderWatcher, &QFileSystemWatcher::directoryChanged, this, &UsbChangeWatcher::changed);
}

UsbChangeWatcher::~UsbChangeWatcher()
{
    delete m_notifier;
    if (m_socket >= 0)
        ::close(m_socket);
}

bool UsbChangeWatcher::isWatching() const
{
    return m_notifier != nullptr || m_folderWatcher != nullptr;
}

bool UsbChangeWatcher::listenToKernel()
{
    m_socket = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (m_socket < 0)
        return false;
    sockaddr_nl address = {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelEventGroup;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_socket);
        m_socket = -1;
        return false;
    }
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &UsbChangeWatcher::readKernelEvents);
    return true;
}

void UsbChangeWatcher::readKernelEvents()
{
    // "ACTION@DEVPATH", then NUL-separated "KEY=VALUE" fields; only the USB subsystem matters.
    char buffer[8192];
    bool usb = false;
    for (;;) {
        const ssize_t size = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (size <= 0)
            break;
        const QByteArray event = QByteArray::fromRawData(buffer, int(size));
        for (const QByteArray& field : event.split('\0')) {
            if (field == "SUBSYSTEM=usb")
                usb = true;
        }
    }
    if (usb)
        changed();
}

void UsbChangeWatcher::changed()
{
    m_settle.start();
}
