#pragma once

#include <QStringList>

class QAbstractItemView;

// The label lists of the matching tabs.
class HLabelList
{
public:
    // Installs a new string list model of the labels on the view, as every refresh does;
    // the replaced model and its selection model are disposed of once control is back in
    // the event loop, since a refresh may run inside the view's own signal.
    static void install(QAbstractItemView *view, const QStringList &labels);
};
