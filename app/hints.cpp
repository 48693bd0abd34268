#include "app/hints.h"

#include <QApplication>
#include <QWidget>

namespace uav {

int HintStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const {
    if (hint == SH_ToolTip_WakeUpDelay) return HINT_PAUSE_MS;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void installHintTiming() {
    if (!dynamic_cast<HintStyle*>(QApplication::style())) QApplication::setStyle(new HintStyle);
}

void setHint(QWidget* w, const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    w->setToolTip(t);
    w->setToolTipDuration(HINT_HIDE_PAUSE_MS);
}

}  // namespace uav
