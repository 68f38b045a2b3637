#pragma once

// A tab of the main window: the widget it shows, the configuration it would flash now, and what it
// says about closing and about files dropped on its tool button. The window shows one tab at a
// time and asks the current one; the flash tab and the flash editor implement it.

#include "loader/FileManager2.h"
#include "model/FlashConfiguration.h"
#include "platform/log/LoggedObject.h"

#include <QSharedPointer>
#include <QString>

#include <initializer_list>

class QDropEvent;
class QObject;
class QWidget;

class FlashTab : public LoggedObject
{
public:
    ~FlashTab() override;

    // The configuration the tab would flash now; null when there is none.
    virtual QSharedPointer<FlashConfiguration> getCurrentFlashFile() const = 0;
    // A text naming the tab's current flash file and configuration.
    virtual QString getCurrentFlashFileId() const = 0;
    // Called each time the tab has been made current.
    virtual void onEnter() = 0;
    // Asked when the window is about to close; false refuses the close.
    virtual bool mainWindowAboutToQuit();
    // Told when the window closes.
    virtual void mainWindowQuit();
    // Whether a file dragged onto the tab's tool button may be dropped, and taking it.
    virtual bool allowFileDrop(QDropEvent* event) const;
    virtual void fileDropped(QDropEvent* event);
    // The widget shown, hidden and focused for the tab.
    virtual QWidget* getWidget() = 0;
    // The object that emits the tab's flashFileChanged(bool) and documentationChanged().
    virtual QObject* getEventMgr() = 0;
    // Whether the device area shows while the tab is current.
    virtual bool needDeviceArea() = 0;

protected:
    // The local path of the first dropped URL whose file kind is one of `kinds`; empty when none.
    static QString firstDroppedFile(const QDropEvent* event, std::initializer_list<FileManager2::FileType> kinds);
};
