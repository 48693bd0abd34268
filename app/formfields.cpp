#include "app/formfields.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QToolButton>

#include "app/hints.h"
#include "app/widgets.h"

namespace uav {

void styleToolWindow(QWidget* w) {
    QFont f = w->font();
    f.setPixelSize(TOOL_FONT_PX);
    w->setFont(f);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QLineEdit* addField(QWidget* parent, const QString& caption, const QString& name, int x, int y, int labelW,
                    int fieldW) {
    auto* l = new QLabel(caption, parent);
    l->setGeometry(x, y + 2, labelW - 4, 15);
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setGeometry(x + labelW, y, fieldW, TOOL_FIELD_H);
    l->setBuddy(e);
    return e;
}

QToolButton* makeApplyButton(QWidget* parent, int x, int y) {
    auto* b = new QToolButton(parent);
    b->setIcon(QIcon(buttonGlyph(Glyph::Reset)));
    b->setIconSize(QSize(20, 20));
    b->setGeometry(x, y, 32, 28);
    setHint(b, QStringLiteral("Установить начальные значения"));
    return b;
}

}  // namespace uav
