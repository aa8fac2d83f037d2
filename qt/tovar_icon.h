#pragma once
#include <QIcon>
#include <QPixmap>

// The application icon, drawn in code so it stays sharp at every size: a board chip with a
// download arrow on a blue tile.
QPixmap TovarIconPixmap(int nSize);
QIcon TovarIcon();
