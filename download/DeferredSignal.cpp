#include "download/DeferredSignal.h"

#include "download/DownloadItem.h"

DeferredSignal::DeferredSignal(DownloadManager::QuestionSignal signal,
                               DownloadManager::DownloadActionAnswer* answer, DownloadItem* item,
                               QEventLoop* loop, bool isXml)
    : QEvent(EventType)
    , m_signal(signal)
    , m_answer(answer)
    , m_item(item)
    , m_loop(loop)
    , m_isXml(isXml)
{
}

DeferredSignal::~DeferredSignal() = default;

DownloadManager::QuestionSignal DeferredSignal::getSignal() const
{
    return m_signal;
}

DownloadManager::DownloadActionAnswer* DeferredSignal::getAnswer() const
{
    return m_answer;
}

DownloadItem* DeferredSignal::getItem() const
{
    return m_item.data();
}

QEventLoop* DeferredSignal::getLoop() const
{
    return m_loop;
}

bool DeferredSignal::isXml() const
{
    return m_isXml;
}
