#pragma once

// The panel of the main window that slides open with a message (rich text or the contents of a
// file), shows a shrinking ring for the time left and slides shut when the time is over. The
// window owns it through its form; everything runs on the GUI thread.

#include "platform/log/LoggedObject.h"

#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QPropertyAnimation;
class QVariantAnimation;

namespace Ui {
class NotifierWidget;
}

class NotifierWidget : public QWidget, public LoggedObject
{
    Q_OBJECT

public:
    explicit NotifierWidget(QWidget* parent = nullptr);
    ~NotifierWidget() override;

    // Also the layout's right margin, so the ring keeps clear of the text's scroll bar.
    void setRightScrollBarMargin(int margin);
    // The size the panel needs for the current text, never below the preferred 250 x 80.
    QSize findOptimalSize();

public slots:
    // Replaces whatever shows: the panel closes at once, then opens on `text` for `durationMs`
    // (clamped to the timer's range).
    void displayMessage(const QString& text, uint64_t durationMs);
    void hideWidget();
    // The countdown runs either way.
    void setProgressVisible(bool visible);

private:
    // The countdown ring shows the share of the display time left.
    void showRemaining(double percent);

    std::unique_ptr<Ui::NotifierWidget> ui;
    QTimer m_hideTimer;
    const QSize m_preferredSize{250, 80};
    int m_rightScrollBarMargin = 0;
    QPropertyAnimation* m_showAnimation;
    QPropertyAnimation* m_hideAnimation;
    QVariantAnimation* m_countdownAnimation;
};
