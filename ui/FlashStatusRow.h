#pragma once

// The status row of a device view: the flash file kind icon, the progress bar coloured by the
// flash's outcome and the current command. It only paints what it is told; the view decides whose
// flash it is. GUI thread.

#include "core/FlashTypes.h"
#include "platform/device/SharedPointer.h"

#include <QString>

#include <cstdint>

class FlashRunner;
class QLabel;
class QProgressBar;

class FlashStatusRow
{
public:
    FlashStatusRow(QLabel* kindIcon, QProgressBar* progressBar, QLabel* status);

    // A 64-bit done and total brought into the bar's int range by scaling both alike, so that
    // a count above 2^31 keeps its proportion.
    static void scaleToInt(uint64_t done, uint64_t total, int& scaledDone, int& scaledTotal);

    // Shows the row; the kind icon and its tool tip follow the runner's configuration when it has one.
    void showRunner(const SharedPointer<FlashRunner>& runner);
    void showStart();
    void showProgress(uint64_t done, uint64_t total);
    void showFinish(FlashTypes::FlashStatus status);
    void showInfo(const QString& text);
    void clear();

private:
    void show();

    QLabel* m_kindIcon;          // the view's form owns the three widgets
    QProgressBar* m_progressBar;
    QLabel* m_status;
    QString m_styleFlashing;
    QString m_styleSuccess;
    QString m_styleFailure;
    QString m_styleInterrupted;
};
