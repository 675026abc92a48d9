#pragma once

class QWidget;

// Keeps a top-level window on the screen it belongs to (the screen under its centre, else the
// primary one): a window larger than the screen's free area is shrunk to it, one outside
// is moved in. Call before show() or exec() of a window whose geometry comes from a form
// or from settings.
class HOnScreen
{
public:
    static void fit(QWidget *window);
};
