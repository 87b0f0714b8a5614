#pragma once

#include <QIcon>
#include <QImage>

namespace Catraca {

// The program's own artwork, drawn in code so that it needs no image files.
namespace GatePicture {

// A black free-standing gate post with a card slot and a sign on top,
// 138 x 373 pixels on a white ground.
QImage GatePost();

// The program's icon: a small gate post with a green lamp, at the sizes the
// desktop asks for.
QIcon ProgramIcon();

}  // namespace GatePicture

}  // namespace Catraca
