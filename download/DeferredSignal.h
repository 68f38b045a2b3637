#pragma once

// A cache question on its way to the download manager's thread: there the manager emits the question
// signal with the answer's address, then wakes the loop in which the asking thread waits. Owns none of
// what it carries; the event system deletes it after delivery.

#include "download/DownloadManager.h"

#include <QEvent>
#include <QPointer>

class QEventLoop;

class DeferredSignal : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(1000);

    DeferredSignal(DownloadManager::QuestionSignal signal, DownloadManager::DownloadActionAnswer* answer,
                   DownloadItem* item, QEventLoop* loop, bool isXml);
    ~DeferredSignal() override;

    DownloadManager::QuestionSignal getSignal() const;
    DownloadManager::DownloadActionAnswer* getAnswer() const;
    // Null once the item is gone.
    DownloadItem* getItem() const;
    QEventLoop* getLoop() const;
    bool isXml() const;

private:
    DownloadManager::QuestionSignal m_signal;
    DownloadManager::DownloadActionAnswer* m_answer;
    QPointer<DownloadItem> m_item;
    QEventLoop* m_loop;
    bool m_isXml;
};
