// A downloader backend for tests: answers and status lines come from its script, every call is
// recorded there.

#include "TestDravikBackend.h"

#include "platform/downloader/DravikDownloaderApi.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

TestDravikBackendScript& theScript()
{
    static TestDravikBackendScript script;
    return script;
}

QString text(const char* value)
{
    return value ? QString::fromLocal8Bit(value) : QStringLiteral("<null>");
}

class TestDownloader : public DravikDownloaderApi
{
public:
    TestDownloader()
    {
        QMutexLocker locker(&theScript().mutex);
        ++theScript().liveObjects;
    }

    ~TestDownloader() override
    {
        QMutexLocker locker(&theScript().mutex);
        --theScript().liveObjects;
    }

    void setEnumerationTimeout(int seconds) override
    {
        record(QStringLiteral("setEnumerationTimeout(%1)").arg(seconds));
    }

    void setStatusVerbosity(int level) override
    {
        record(QStringLiteral("setStatusVerbosity(%1)").arg(level));
    }

    void setStatusCallback(DravikStatusCallback callback, void* clientData) override
    {
        m_callback = callback;
        m_clientData = clientData;
        record(QStringLiteral("setStatusCallback(%1)").arg(callback && clientData ? "set" : "null"));
    }

    void setWipeIfwi(bool wipe) override
    {
        record(QStringLiteral("setWipeIfwi(%1)").arg(wipe));
    }

    void setMiscDnx(bool enable, const char* xxrDnx) override
    {
        record(QStringLiteral("setMiscDnx(%1,%2)").arg(QString::number(enable), text(xxrDnx)));
    }

    bool downloadMulti(const char* ifwiDnx, const char* ifwi, const char* osDnx, const char* os,
                       const char* gpFlag, const char* targetSerial, const char* softFuse) override
    {
        record(QStringLiteral("downloadMulti(%1)")
                   .arg(QStringList{text(ifwiDnx), text(ifwi), text(osDnx), text(os), text(gpFlag),
                                    text(targetSerial), text(softFuse)}
                            .join(QLatin1Char(','))));
        return download();
    }

    bool downloadSolo(const char* ifwiDnx, const char* ifwi, const char* osDnx, const char* os,
                      const char* gpFlag, const char* softFuse) override
    {
        record(QStringLiteral("downloadSolo(%1)")
                   .arg(QStringList{text(ifwiDnx), text(ifwi), text(osDnx), text(os), text(gpFlag),
                                    text(softFuse)}
                            .join(QLatin1Char(','))));
        return download();
    }

    void getLastError(DravikDownloaderError* error) override
    {
        record(QStringLiteral("getLastError"));
        QMutexLocker locker(&theScript().mutex);
        error->code = theScript().errorCode;
        std::strncpy(error->text, theScript().errorText.c_str(), sizeof(error->text) - 1);
        error->text[sizeof(error->text) - 1] = '\0';
    }

    std::string getVersion() override
    {
        record(QStringLiteral("getVersion"));
        QMutexLocker locker(&theScript().mutex);
        return theScript().version;
    }

private:
    void record(const QString& call)
    {
        QMutexLocker locker(&theScript().mutex);
        theScript().calls << call;
    }

    bool download()
    {
        std::vector<std::string> lines;
        bool outcome = true;
        {
            QMutexLocker locker(&theScript().mutex);
            if (theScript().hangDownloads) {
                locker.unlock();
                for (;;)
                    std::this_thread::sleep_for(std::chrono::hours(1));
            }
            lines = theScript().statusLines;
            if (m_downloads < theScript().downloads.size())
                outcome = theScript().downloads[m_downloads];
        }
        ++m_downloads;
        for (const std::string& line : lines) {
            if (m_callback)
                m_callback(line.c_str(), m_clientData);
        }
        return outcome;
    }

    DravikStatusCallback m_callback = nullptr;
    void* m_clientData = nullptr;
    std::size_t m_downloads = 0;
};

} // namespace

extern "C" {

Q_DECL_EXPORT DravikDownloaderApi* dravikdldrapi_alloc()
{
    {
        QMutexLocker locker(&theScript().mutex);
        theScript().calls << QStringLiteral("alloc");
        if (theScript().refuseAllocation)
            return nullptr;
    }
    return new TestDownloader;
}

Q_DECL_EXPORT void dravikdldrapi_dealloc(DravikDownloaderApi* api)
{
    {
        QMutexLocker locker(&theScript().mutex);
        theScript().calls << QStringLiteral("dealloc");
    }
    delete static_cast<TestDownloader*>(api);
}

Q_DECL_EXPORT TestDravikBackendScript* dravikTestBackend_script()
{
    return &theScript();
}
}
