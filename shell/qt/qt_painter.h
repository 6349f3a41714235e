#pragma once
// Draws a UI model display list with GDI's rules, in the list's own pixel
// coordinates; callers scale the painter to the widget first.

#include <QFont>
#include <QPainter>
#include <vector>

#include "ui/ui_model.h"

namespace ferrolan::qt {

// The pixel size of text in display lists before scaling.
inline constexpr int kSurfaceFontPixels = 11;

void paintDisplayList(QPainter& painter, const std::vector<DrawOp>& ops, const QFont& font);

// Qt alignment flags for GDI DrawText format bits: vertical placement
// counts only for single-line text, as in GDI.
int textAlignment(unsigned format);

}  // namespace ferrolan::qt
