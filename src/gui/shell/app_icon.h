#pragma once

#include <QIcon>
#include <QPixmap>

namespace vqs {

// The program's icon and product picture, drawn rather than shipped as files.
QIcon programIcon();
QPixmap productPicture(int width, int height);
// The row icons of the title lists: 1 not recorded, 2 paid prices, 3 all quote kinds.
QIcon titelRowIcon(int index);

}  // namespace vqs
