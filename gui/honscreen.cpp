#include "honscreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void HOnScreen::fit(QWidget *window)
{
    if (!window)
        return;
    QScreen *screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The frame adds a title bar and borders to the client area; keep room for them.
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    const int extraWidth = std::max(0, frame.width() - client.width());
    const int extraHeight = std::max(0, frame.height() - client.height());
    const int width = std::min(client.width(), area.width() - extraWidth);
    const int height = std::min(client.height(), area.height() - extraHeight);
    if (width != client.width() || height != client.height())
        window->resize(width, height);
    const QRect now = window->frameGeometry();
    const int x = std::clamp(now.x(), area.left(), area.right() + 1 - now.width());
    const int y = std::clamp(now.y(), area.top(), area.bottom() + 1 - now.height());
    if (x != now.x() || y != now.y())
        window->move(x, y);
}
