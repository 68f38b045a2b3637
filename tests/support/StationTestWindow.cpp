// A small window for proving the desktop test station: a full-screen window with a blue panel,
// a button that turns it green and the key Y that turns it yellow; closing the window ends the
// program with exit code 0. With --grab-check it checks itself instead: it grabs the screen from
// inside (QScreen::grabWindow) and exits 0 when the panel shows blue there.

#include "ScreenShot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTextStream>
#include <QWidget>

namespace {

const QRect kPanel(100, 100, 300, 200);
const QRect kButton(500, 100, 200, 60);

class StationTestWindow : public QWidget
{
public:
    StationTestWindow()
    {
        setWindowTitle(QStringLiteral("Station test window"));
        setGeometry(0, 0, 1024, 768);
        setAutoFillBackground(true);
        setPalette(QPalette(Qt::white));
        m_panel.setParent(this);
        m_panel.setGeometry(kPanel);
        m_panel.setAutoFillBackground(true);
        paintPanel(Qt::blue);
        auto* button = new QPushButton(QStringLiteral("Turn green"), this);   // the window deletes it
        button->setGeometry(kButton);
        connect(button, &QPushButton::clicked, this, [this] { paintPanel(Qt::green); });
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Y)
            paintPanel(Qt::yellow);
        QWidget::keyPressEvent(event);
    }

private:
    void paintPanel(const QColor& colour)
    {
        QPalette palette = m_panel.palette();
        palette.setColor(QPalette::Window, colour);
        m_panel.setPalette(palette);
    }

    QWidget m_panel;
};

// Grabs the whole screen until the panel shows blue, for at most ten seconds.
int grabCheck()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        const ScreenShot shot(QGuiApplication::primaryScreen()->grabWindow(0).toImage());
        if (shot.fractionNear(kPanel, Qt::blue) == 1 && shot.image().size() == QSize(1024, 768))
            return 0;
    }
    QTextStream(stderr) << "the grabbed screen never showed the blue panel\n";
    return 1;
}

}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    StationTestWindow window;
    window.show();
    return application.arguments().contains(QStringLiteral("--grab-check")) ? grabCheck() : application.exec();
}
