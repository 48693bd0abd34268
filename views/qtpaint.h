// Replays a list of drawing primitives with QPainter. The only place where the
// 2-D views meet Qt.
#pragma once

#include "views/primitives.h"

class QPainter;
class QImage;

namespace uav {

void paintDrawing(QPainter& painter, const Drawing& drawing);

// Paints the drawing into the image, replacing its content where drawn.
void paintDrawing(QImage& image, const Drawing& drawing);

}  // namespace uav
