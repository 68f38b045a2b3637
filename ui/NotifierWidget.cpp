#include "ui/NotifierWidget.h"

#include "ui_NotifierWidget.h"

#include <QEasingCurve>
#include <QFileInfo>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <climits>

namespace {

constexpr int kSlideMs = 500;
const QSize kClosed(0, 0);

} // namespace

NotifierWidget::NotifierWidget(QWidget* parent)
    : QWidget(parent)
    , LoggedObject(QStringLiteral("Notifier"))
    , ui(std::make_unique<Ui::NotifierWidget>())
{
    ui->setupUi(this);
    setMaximumSize(kClosed);
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &NotifierWidget::hideWidget);

    m_showAnimation = new QPropertyAnimation(this, "maximumSize", this);
    m_showAnimation->setObjectName(QStringLiteral("showAnimation"));
    m_showAnimation->setDuration(kSlideMs);
    m_showAnimation->setStartValue(kClosed);
    m_showAnimation->setEasingCurve(QEasingCurve::OutCubic);

    m_hideAnimation = new QPropertyAnimation(this, "maximumSize", this);
    m_hideAnimation->setObjectName(QStringLiteral("hideAnimation"));
    m_hideAnimation->setDuration(kSlideMs);
    m_hideAnimation->setStartValue(size());
    m_hideAnimation->setEndValue(kClosed);
    m_hideAnimation->setEasingCurve(QEasingCurve::InCubic);

    m_countdownAnimation = new QVariantAnimation(ui->remainingProgress);
    m_countdownAnimation->setObjectName(QStringLiteral("countdownAnimation"));
    m_countdownAnimation->setDuration(0);
    m_countdownAnimation->setStartValue(100.0);
    m_countdownAnimation->setEndValue(0.0);
    m_countdownAnimation->setEasingCurve(QEasingCurve::Linear);
    connect(m_countdownAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { showRemaining(value.toDouble()); });
}

NotifierWidget::~NotifierWidget()
{
    // The animations drive this widget and its ring: they go first, while both are whole.
    delete m_countdownAnimation;
    delete m_hideAnimation;
    delete m_showAnimation;
}

void NotifierWidget::setRightScrollBarMargin(int margin)
{
    m_rightScrollBarMargin = margin;
    QMargins margins = ui->gridLayout->contentsMargins();
    margins.setRight(margin);
    ui->gridLayout->setContentsMargins(margins);
}

void NotifierWidget::displayMessage(const QString& text, uint64_t durationMs)
{
    const int duration = int(std::min<uint64_t>(durationMs, INT_MAX));
    repaint();
    setMaximumSize(kClosed);

    QTextBrowser* browser = ui->m_pkTextBrowser;
    browser->clear();
    const bool isFile = QFileInfo::exists(text);
    if (isFile)
        browser->setSource(QUrl(QStringLiteral("file://") + QString(text).replace(QLatin1Char('\\'), QLatin1Char('/'))));
    else
        browser->setHtml(text);
    logMessage(Logger::INFO, QStringLiteral("Displaying notification during %1 ms").arg(durationMs));

    const QSize size = findOptimalSize();
    if (!isFile && size.width() <= m_preferredSize.width())
        browser->setHtml(QStringLiteral("<center>%1</center>").arg(text));

    m_countdownAnimation->stop();
    m_countdownAnimation->setDuration(duration);
    m_countdownAnimation->start();

    m_showAnimation->stop();
    m_showAnimation->setEndValue(size);
    m_showAnimation->start();

    m_hideTimer.start(duration);
}

void NotifierWidget::hideWidget()
{
    m_hideAnimation->setStartValue(this->size());
    m_hideAnimation->start();
}

void NotifierWidget::setProgressVisible(bool visible)
{
    ui->remainingProgress->setVisible(visible);
}

QSize NotifierWidget::findOptimalSize()
{
    // The browser's scroll bars span the whole content only while the panel is too small for it.
    const QTextBrowser* browser = ui->m_pkTextBrowser;
    const QSize remembered = maximumSize();
    setMaximumSize(1, 1);
    repaint();
    int width = browser->horizontalScrollBar()->maximum() + browser->verticalScrollBar()->sizeHint().width()
                + m_rightScrollBarMargin;
    if (width < m_preferredSize.width()) {
        setMaximumWidth(m_preferredSize.width());
        repaint();
        width = m_preferredSize.width();
    }
    const int height = std::max(browser->verticalScrollBar()->maximum()
                                    + browser->horizontalScrollBar()->sizeHint().height(),
                                m_preferredSize.height());
    setMaximumSize(remembered);
    repaint();
    return QSize(width, height);
}

void NotifierWidget::showRemaining(double percent)
{
    ui->remainingProgress->setRange(0, 100);
    ui->remainingProgress->setValue(qRound(percent));
}
