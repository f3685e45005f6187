#pragma once
// The program's icon: a door camera drawn at run time, so no image file is needed.

#include <QIcon>
#include <QPixmap>

namespace vantorel {

QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();

}  // namespace vantorel
