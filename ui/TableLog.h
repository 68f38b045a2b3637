#pragma once

// The log history of the desktop face: one row per message of the application log (level icon,
// time stamp, text), a level filter that re-fills the application log's text views, and the saved
// log file. It can also drive a table view of its own, which follows the end of the log unless the
// user has scrolled up.

#include "core/LogLevel.h"

#include <QIcon>
#include <QPointer>
#include <QStandardItemModel>
#include <QString>
#include <QTimer>

#include <array>

class QSortFilterProxyModel;
class QTableView;

class TableLog : public QStandardItemModel
{
    Q_OBJECT

public:
    explicit TableLog(QObject* parent = nullptr);
    ~TableLog() override;

    // The view shows the rows that pass the level filter; null detaches it.
    void setTableView(QTableView* view);

public slots:
    void logMessage(LOGLEVEL level, const QString& timeStamp, const QString& text);
    // Admits levels 0 to `level` and re-fills the application log's text views with those rows.
    void setLogFilter(int level);
    void scrollToBottom();
    // Every row, also those the filter hides, after three header lines. False when the file
    // cannot be opened (logged at ERROR); write errors after opening go unnoticed.
    bool save(const QString& path);
    // Drops every row; the columns and the filter stay.
    void clear();

private slots:
    void do_followEnd();

private:
    bool isViewAtEnd() const;

    QPointer<QTableView> m_view;
    QSortFilterProxyModel* m_proxy;
    std::array<QIcon, 6> m_levelIcons;
    // The user was at the end when a row arrived: the next tick scrolls.
    bool m_following = true;
    QTimer m_scrollTimer;
};
