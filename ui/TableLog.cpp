#include "ui/TableLog.h"

#include "core/MessageHandler.h"
#include "core/Utils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QList>
#include <QPixmap>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItem>
#include <QTableView>
#include <QTextStream>

namespace {

constexpr int LevelRole = Qt::UserRole + 1;
constexpr int ColumnCount = 3;
constexpr int ScrollIntervalMs = 200;

struct LevelStyle
{
    const char* icon;
    QColor background;  // invalid: none
    QColor foreground;  // invalid: none
    bool bold;
};

// Indexed by level; a value outside 0..5 is styled as INFO (no colours).
const std::array<LevelStyle, 6>& levelStyles()
{
    static const std::array<LevelStyle, 6> styles = {{
        {":/icons/icons/fatal.png", QColor(171, 0, 97), QColor(255, 255, 255), true},
        {":/icons/icons/error.png", QColor(190, 0, 0), QColor(255, 255, 255), true},
        {":/icons/icons/alert.png", QColor(), QColor(255, 140, 0), false},
        {":/icons/icons/info.png", QColor(), QColor(), false},
        {":/icons/icons/debug.png", QColor(), QColor(Qt::darkGreen), false},
        {":/icons/icons/trace.png", QColor(), QColor(Qt::gray), false},
    }};
    return styles;
}

size_t styleIndex(LOGLEVEL level)
{
    const auto index = static_cast<unsigned>(level);
    return index < levelStyles().size() ? index : static_cast<size_t>(INFO);
}

} // namespace

TableLog::TableLog(QObject* parent)
    : QStandardItemModel(0, ColumnCount, parent)
    , m_proxy(new QSortFilterProxyModel(this))
{
    m_proxy->setSourceModel(this);
    m_proxy->setFilterKeyColumn(0);
    m_proxy->setFilterRole(LevelRole);
    for (size_t level = 0; level < m_levelIcons.size(); ++level) {
        const QPixmap pixmap(QString::fromLatin1(levelStyles()[level].icon));
        m_levelIcons[level] = QIcon(pixmap.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }

    MessageHandler* log = MessageHandler::instance();
    connect(log, &MessageHandler::scrolledToBottom, this, &TableLog::scrollToBottom);
    // Messages of every thread arrive here, in the order the log emitted them.
    connect(log, &MessageHandler::newLog, this, &TableLog::logMessage, Qt::QueuedConnection);

    connect(&m_scrollTimer, &QTimer::timeout, this, &TableLog::do_followEnd);
    m_scrollTimer.start(ScrollIntervalMs);
}

TableLog::~TableLog() = default;

void TableLog::setTableView(QTableView* view)
{
    m_view = view;
    if (view == nullptr)
        return;
    view->setShowGrid(false);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->setFont(QFont(QStringLiteral("MS Shell Dlg 2"), 8, QFont::Normal, false));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setModel(m_proxy);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->setMinimumSectionSize(16);
    view->verticalHeader()->setDefaultSectionSize(16);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void TableLog::logMessage(LOGLEVEL level, const QString& timeStamp, const QString& text)
{
    if (isViewAtEnd())
        m_following = true;

    const LevelStyle& style = levelStyles()[styleIndex(level)];
    auto* iconItem = new QStandardItem;
    auto* timeItem = new QStandardItem(timeStamp);
    auto* textItem = new QStandardItem(text);
    iconItem->setIcon(m_levelIcons[styleIndex(level)]);
    for (QStandardItem* item : {timeItem, textItem}) {
        if (style.background.isValid())
            item->setBackground(style.background);
        if (style.foreground.isValid())
            item->setForeground(style.foreground);
    }
    if (style.bold) {
        QFont font = textItem->font();
        font.setWeight(QFont::Bold);
        textItem->setFont(font);
    }

    iconItem->setData(timeStamp, Qt::UserRole);
    iconItem->setData(static_cast<int>(level), LevelRole);
    timeItem->setData(MessageHandler::instance()->getLogLevelStr(level), Qt::UserRole);
    textItem->setData(text, Qt::UserRole);
    appendRow(QList<QStandardItem*>{iconItem, timeItem, textItem});
}

void TableLog::setLogFilter(int level)
{
    m_proxy->setFilterRegularExpression(QRegularExpression(QStringLiteral("[0-%1]").arg(level)));

    // Only the text views change: the log file and the history already hold these messages.
    MessageHandler* log = MessageHandler::instance();
    log->clear();
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        const QModelIndex first = m_proxy->index(row, 0);
        log->logMessageWithDate(LOGLEVEL(first.data(LevelRole).toInt()), first.data(Qt::UserRole).toString(),
                                m_proxy->index(row, 2).data(Qt::UserRole).toString());
    }
}

void TableLog::scrollToBottom()
{
    if (m_view != nullptr)
        m_view->scrollToBottom();
}

bool TableLog::save(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        MessageHandler::instance()->logMessage(ERROR, QStringLiteral("Failed to open log file"));
        return false;
    }
    const QCoreApplication* application = QCoreApplication::instance();
    const QString name = QCoreApplication::applicationName();
    QTextStream out(&file);
    out << "# " << name << " - Logs generated on " << QDateTime::currentDateTime().toString(Qt::ISODate) << '\n';
    out << "# " << name
        << QStringLiteral(" V %1 %2 (build on %3)")
               .arg(QCoreApplication::applicationVersion(), application->property("APP_ARCH").toString(),
                    application->property("APP_BUILD_TIME").toString())
        << '\n';
    out << "# OS: " << Utils::getOsName() << '\n';

    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < ColumnCount; ++column) {
            const QStandardItem* cell = item(row, column);
            out << (cell != nullptr ? cell->data(Qt::UserRole).toString() : QString())
                << (column + 1 < ColumnCount ? '\t' : '\n');
        }
    }
    return true;
}

void TableLog::clear()
{
    setRowCount(0);
}

bool TableLog::isViewAtEnd() const
{
    if (m_view == nullptr)
        return false;
    const QScrollBar* bar = m_view->verticalScrollBar();
    return bar->value() == bar->maximum();
}

void TableLog::do_followEnd()
{
    // A user who scrolled up stays where he is until he comes back to the end.
    if (m_view == nullptr || (!isViewAtEnd() && !m_following))
        return;
    m_view->scrollToBottom();
    m_following = false;
}
