// Building blocks of the settings windows: a caption with its text field in
// window pixels, and the small font those windows use.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace uav {

// The font of the tool windows, in pixels (8 points at 96 dpi).
inline constexpr int TOOL_FONT_PX = 11;
inline constexpr int TOOL_FIELD_H = 19;

// Sets the small font and the light grey background of a tool window.
void styleToolWindow(QWidget* w);

// A caption at (x, y + 3), `labelW` wide, and its field right of it at
// (x + labelW, y), `fieldW` wide; the field gets `name` as its object name.
QLineEdit* addField(QWidget* parent, const QString& caption, const QString& name, int x, int y, int labelW,
                    int fieldW);

// The apply button of a settings window: the glyph button with the hint
// "Установить начальные значения", 32 x 28 at (x, y).
QToolButton* makeApplyButton(QWidget* parent, int x, int y);

}  // namespace uav
