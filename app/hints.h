// Hints (tool tips) of every window: shown after 100 ms, kept for 10 s.
#pragma once

#include <QProxyStyle>
#include <QString>

class QWidget;

namespace uav {

inline constexpr int HINT_PAUSE_MS = 100;
inline constexpr int HINT_HIDE_PAUSE_MS = 10000;

class HintStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

// Installs the hint timing for the whole application.
void installHintTiming();

// The widget's hint with the program's display time. Line breaks "\r\n" of a
// hint text become plain line breaks.
void setHint(QWidget* w, const QString& text);

}  // namespace uav
