#pragma once
#include <QIcon>
#include <QPixmap>
#include <vector>

// The application icon, drawn in code so it stays sharp at every size: a board chip with a
// download arrow on a blue tile.
QPixmap TovarIconPixmap(int nSize);
// The sizes the window's icon holds, which are also the sizes desktops look for.
const std::vector<int>& TovarIconSizes();
QIcon TovarIcon();
