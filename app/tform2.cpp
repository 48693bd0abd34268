#include "app/tform2.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>

#include "app/formfields.h"
#include "app/guarded.h"
#include "app/hints.h"
#include "app/programfiles.h"
#include "app/tform1.h"
#include "app/toolwindow.h"
#include "model/inifile.h"
#include "model/modelcheck.h"

namespace uav {

namespace {

struct FieldText {
    const char* caption;
    const char* hint;
};

constexpr std::array<FieldText, SCALAR_COUNT> SCALAR_TEXTS = {{
    {" Ix [кг*м2]", "Момент инерции относительно оси модели"},
    {" Iy [кг*м2]", "Момент инерции относительно вертикальной главной оси модели"},
    {" Iz [кг*м2]", "Момент инерции относительно горизонтальной поперечной главной оси модели"},
    {" M, кг", "Масса"},
    {"K vis", "Масштаб отображения (точек/метр)"},
    {"Т.вооруж", "Тяговооруженность"},
    {"Выкос", "Вертикальный выкос (положительный - вверх)"},
    {"Xm", "Положение мотора относительно цт вдоль оси модели (вдоль Х)"},
    {"Ym", "Положение мотора относительно цт вверх (вдоль Y)"},
}};
constexpr std::array<int, SCALAR_COUNT> SCALAR_Y = {10, 32, 54, 78, 102, 126, 150, 174, 198};

constexpr std::array<FieldText, PARAM_COUNT> PARAM_TEXTS = {{
    {"X, м", "Расстояние от цт до носика САХ по Х"},
    {"Y, м", "Расстояние от цт до носика САХ по Y"},
    {"Z, м", "Расстояние от цт до носика САХ по Z"},
    {"L, м", "Длина элемента (изначально вдоль Z)"},
    {"Ax, °", "Повернуто вокруг Х (в градусах)"},
    {"Ay, °", "Повернуто вокруг Y (в градусах)"},
    {"Az, °", "Повернуто вокруг Z (в градусах)"},
    {"B, м", "Хорда (изначально вдоль Х в сторону хвоста)"},
    {"K", "Эффективность рулей"},
    {"Имя", ""},
    {"Ef tr", "Воздействие мотора"},
    {"дискр. серв", "Дискретность сервопривода. Значение=количество шагов"},
    {"скор. серв", "Скорость сервопривода, рад/с"},
}};

// Top of parameter j's field in its panel: a 20-pixel pitch, 25 for the two
// servo rows, whose captions take two lines.
constexpr int paramRowY(int j) { return 36 + 20 * j + (j > P_EFTR ? 5 * (j - P_EFTR) : 0); }

constexpr std::array<const char*, MIX_ROWS> MIX_ROW_CAPTIONS = {"Tro", "Rud", "Ale", "Ele"};

// Sizes in window pixels; fields are a pixel shorter than the 20-pixel row pitch.
constexpr int PANEL_X0 = 120, PANEL_DX = 110, PANEL_Y = 10, PANEL_W = 100, PANEL_H = 315;
constexpr int GRID_COLS = ELEMENT_COUNT + 1, GRID_ROWS = MIX_ROWS + 1;

const QColor FIELD_OK(Qt::white);
const QColor FIELD_BAD(Qt::red);
const QColor FIXED_CELL(0xF0, 0xF0, 0xF0);

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& t) { return t.toStdString(); }

QLabel* makeCaption(const char* caption, const char* hint, QWidget* parent, int x, int y, int w) {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    l->setGeometry(x, y, w, 15);
    if (*hint) setHint(l, QString::fromUtf8(hint));
    return l;
}

// A text set from a file shows its beginning, as one typed from the start.
void showText(QLineEdit* e, const QString& text) {
    e->setText(text);
    e->setCursorPosition(0);
}

void colour(QLineEdit* e, bool pass) {
    QPalette p = e->palette();
    p.setColor(QPalette::Base, pass ? FIELD_OK : FIELD_BAD);
    e->setPalette(p);
}

}  // namespace

TForm2::TForm2(SimApp& sim, TForm1& main) : QDialog(&main), sim_(sim), main_(main) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Настройка модели"));
    buildLayout();
    FormCreate();
}

void TForm2::buildLayout() {
    styleToolWindow(this);
    setFixedSize(1000, 558);

    MainMenu1 = new QMenuBar(this);
    QMenu* file = MainMenu1->addMenu(QStringLiteral("Файл"));
    menuOpen = file->addAction(QStringLiteral("Открыть"));
    menuSave = file->addAction(QStringLiteral("Сохранить"));
    const int menuH = MainMenu1->sizeHint().height();
    MainMenu1->setGeometry(0, 0, width(), menuH);
    client = new QWidget(this);
    client->setGeometry(0, menuH, width(), height() - menuH);
    client->installEventFilter(this);

    // Left column: the nine scalar fields. Captions at x = 8 carry the hints;
    // the fields sit right of the widest caption.
    for (int k = 0; k < SCALAR_COUNT; ++k) {
        makeCaption(SCALAR_TEXTS[k].caption, SCALAR_TEXTS[k].hint, client, 8, SCALAR_Y[k] + 3, 62);
        Edit[k] = new QLineEdit(client);
        Edit[k]->setObjectName(QStringLiteral("Edit%1").arg(k + 1));
        Edit[k]->setGeometry(70, SCALAR_Y[k], 44, TOOL_FIELD_H);
    }
    Button1 = new QPushButton(QStringLiteral("Применить"), client);
    Button1->setGeometry(16, 224, 75, 25);
    Button1->setAutoDefault(false);  // Enter in a field does not apply

    // Eight element panels: "Активный", then the thirteen captions and fields.
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        auto* panel = new QGroupBox(client);
        panel->setGeometry(PANEL_X0 + PANEL_DX * i, PANEL_Y, PANEL_W, PANEL_H);
        activeBoxes[i] = new QCheckBox(QStringLiteral("Активный"), panel);
        activeBoxes[i]->setGeometry(5, 18, 90, 18);
        for (int j = 0; j < PARAM_COUNT; ++j) {
            const FieldText& t = PARAM_TEXTS[j];
            const int y = paramRowY(j);
            QLabel* l = makeCaption(t.caption, t.hint, panel, 5, y + 2, 40);
            if (QFontMetrics(l->font()).horizontalAdvance(l->text()) > l->width()) {
                // "дискр. серв", "скор. серв": two short lines beside the field.
                QFont small = l->font();
                small.setPixelSize(TOOL_FONT_PX - 1);
                l->setFont(small);
                l->setWordWrap(true);
                l->setGeometry(4, y - 2, 42, 23);
            }
            paramEdits[i][j] = new QLineEdit(panel);
            paramEdits[i][j]->setGeometry(45, y, 50, TOOL_FIELD_H);
        }
        panel->setTitle(QStringLiteral("Элемент №%1").arg(i));
        panels[i] = panel;
    }

    // The mixer grid: row 0 and column 0 are fixed captions.
    SGMix = new QTableWidget(GRID_ROWS, GRID_COLS, client);
    SGMix->setObjectName(QStringLiteral("SGMix"));
    SGMix->setGeometry(24, 360, 289, 89);
    SGMix->horizontalHeader()->hide();
    SGMix->verticalHeader()->hide();
    SGMix->horizontalHeader()->setMinimumSectionSize(10);
    SGMix->verticalHeader()->setMinimumSectionSize(10);
    SGMix->horizontalHeader()->setDefaultSectionSize(30);
    SGMix->verticalHeader()->setDefaultSectionSize(15);
    SGMix->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SGMix->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SGMix->setSelectionMode(QAbstractItemView::ContiguousSelection);
    SGMix->setEditTriggers(QAbstractItemView::AllEditTriggers);
    QFont gridFont = SGMix->font();
    gridFont.setPixelSize(TOOL_FONT_PX - 1);
    SGMix->setFont(gridFont);
    for (int r = 0; r < GRID_ROWS; ++r)
        for (int c = 0; c < GRID_COLS; ++c) {
            auto* item = new QTableWidgetItem;
            if (r == 0 || c == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(FIXED_CELL);
            }
            SGMix->setItem(r, c, item);
        }
    for (int i = 0; i < ELEMENT_COUNT; ++i) setCell(i + 1, 0, QStringLiteral("El. %1").arg(i));
    for (int r = 0; r < MIX_ROWS; ++r) setCell(0, r + 1, QString::fromUtf8(MIX_ROW_CAPTIONS[r]));

    // Both file dialogs start in the program's directory (the documents folder
    // when the program runs installed), show "*.mdl" files
    // under "Ostrel" and give a name typed without extension ".mdl".
    const QString dir = dialogFolder(sim_);
    for (QFileDialog** d : {&OpenDialog1, &SaveDialog1}) {
        *d = new QFileDialog(this);
        (*d)->setOption(QFileDialog::DontUseNativeDialog);
        (*d)->setDirectory(dir);
        (*d)->setNameFilter(QStringLiteral("Ostrel (*.mdl)"));
        (*d)->setDefaultSuffix(QStringLiteral("mdl"));
    }
    OpenDialog1->setWindowTitle(QStringLiteral("Открыть"));
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    SaveDialog1->setWindowTitle(QStringLiteral("Сохранить"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);  // and it asks before replacing a file

    // Every text change runs the check; the check box and the grid change
    // texts only (the grid is checked just for what a file can hold).
    // A file keeps 2047 characters of a value: a longer text would not come back.
    constexpr int MAX_TEXT_CHARS = 2047;
    for (QLineEdit* e : Edit) {
        e->setMaxLength(MAX_TEXT_CHARS);
        connect(e, &QLineEdit::textChanged, this, &TForm2::fieldChanged);
    }
    for (auto& row : paramEdits)
        for (QLineEdit* e : row) {
            e->setMaxLength(MAX_TEXT_CHARS);
            connect(e, &QLineEdit::textChanged, this, &TForm2::fieldChanged);
        }
    connect(SGMix, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* it) {
        if (it->row() > 0 && it->column() > 0) fieldChanged();
    });
    connect(Button1, &QPushButton::clicked, this, [this] { guarded(this, [&] { applyModel(); }); });
    connect(menuOpen, &QAction::triggered, this, &TForm2::loadModelFile);
    connect(menuSave, &QAction::triggered, this, &TForm2::saveModelFile);
}

void TForm2::FormCreate() {
    if (!sim_.files.firstStartModel.empty()) {
        // No conf.ini yet: the reference trainer rather than the model of
        // all-default texts, which cannot fly. The start-up applies it and so
        // writes it into conf.ini.
        const std::string& path = sim_.files.firstStartModel;
        try {
            setTexts(referenceModelTexts(path, sim_.decimalSep));
            std::fprintf(stderr, "uavsim: first start, no %s yet: the model is the reference trainer %s\n",
                         confIniPath(sim_).c_str(), path.c_str());
            showNotice(QMessageBox::Information,
                       QStringLiteral("Первый запуск: файла настроек ещё нет, поэтому моделью стал учебный самолёт "
                                      "из %1.\nНастройки хранятся в %2.")
                           .arg(q(path), q(confIniPath(sim_))));
            return;
        } catch (const SimError& e) {
            showNotice(QMessageBox::Warning, q(e.what()));
        }
    }
    setTexts(loadModelTexts(*sim_.confIni, TextDefaults::StartUp));
}

// A message that must not hold up start-up: shown without a modal loop.
// Owned by the active window: under the main window it could not be
// dismissed while this (modal) window is open.
void TForm2::showNotice(QMessageBox::Icon icon, const QString& text) {
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : &main_;
    auto* box = new QMessageBox(icon, QStringLiteral("uavsim"), text, QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    QTimer::singleShot(0, box, &QMessageBox::show);
}

QString TForm2::cell(int col, int row) const { return SGMix->item(row, col)->text(); }

void TForm2::setCell(int col, int row, const QString& text) { SGMix->item(row, col)->setText(text); }

ModelTexts TForm2::texts() const {
    ModelTexts t;
    for (int k = 0; k < SCALAR_COUNT; ++k) t.scalars[k] = s(Edit[k]->text());
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        t.active[i] = activeBoxes[i]->isChecked();
        for (int j = 0; j < PARAM_COUNT; ++j) t.params[i][j] = s(paramEdits[i][j]->text());
    }
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) t.mix[r][j] = s(cell(j + 1, r + 1));
    return t;
}

void TForm2::setTexts(const ModelTexts& t) {
    filling_ = true;
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        activeBoxes[i]->setChecked(t.active[i]);
        for (int j = 0; j < PARAM_COUNT; ++j) showText(paramEdits[i][j], q(t.params[i][j]));
    }
    for (int k = 0; k < SCALAR_COUNT; ++k) showText(Edit[k], q(t.scalars[k]));
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) setCell(j + 1, r + 1, q(t.mix[r][j]));
    filling_ = false;
    fieldChanged();
}

bool TForm2::validateModelFields() {
    const ModelCheck c = checkModelTexts(texts(), sim_.decimalSep);
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (int j = 0; j < PARAM_COUNT; ++j) colour(paramEdits[i][j], c.params[i][j]);
    for (int k = 0; k < SCALAR_COUNT; ++k) colour(Edit[k], c.scalars[k]);
    const QSignalBlocker quiet(SGMix);  // colouring a cell is no text change
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j)
            SGMix->item(r + 1, j + 1)->setBackground(c.mix[r][j] ? FIELD_OK : FIELD_BAD);
    return c.ok;
}

void TForm2::fieldChanged() {
    if (filling_) return;
    const bool ok = validateModelFields();
    Button1->setEnabled(ok);
    menuSave->setEnabled(ok);
}

void TForm2::applyModel() {
    const ModelTexts t = texts();
    sim_.record(ev::ModelApply{std::make_shared<ModelTexts>(t), sim_.decimalSep});
    modelApplied(uav::applyModel(t, sim_.decimalSep, sim_.state, sim_.aircraft, sim_.modelOutlines,
                                 sim_.confIni.get()));
}

void TForm2::modelApplied(const ApplyResult& r) {
    sim_.outlines = outlinesFromModel(sim_.modelOutlines);
    if (r.storeError && !storeErrorShown_) {
        // Told once per run, without holding anything up: the model is applied
        // all the same, only conf.ini stays as it was. Owned by the active
        // window: under the main window it could not be dismissed while this
        // (modal) window is open.
        storeErrorShown_ = true;
        showNotice(QMessageBox::Warning, QString::fromStdString(*r.storeError));
    }
}

void TForm2::saveModelFile() {
    if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty()) return;
    const std::string path = SaveDialog1->selectedFiles().first().toStdString();
    guarded(this, [&] { uav::saveModelFile(path, texts()); });
}

void TForm2::loadModelFile() {
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return;
    const std::string path = OpenDialog1->selectedFiles().first().toStdString();
    guarded(this, [&] {
        const ModelTexts t = uav::loadModelFile(path);
        // An empty, binary or foreign file reads as the all-default model: say so first.
        if (!modelFileHoldsModel(path))
            QMessageBox::warning(this, QStringLiteral("uavsim"), QString::fromStdString(noModelWarning(path)));
        setTexts(t);
    });
}

void TForm2::showModalWindow() {
    setWindowModality(Qt::ApplicationModal);
    showToolWindow(this, &main_);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client && event->type() == QEvent::MouseButtonPress) {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (!client->childAt(e->position().toPoint())) FormClick();
    }
    return QDialog::eventFilter(watched, event);
}

// A click on the window's background shows its size in the caption.
void TForm2::FormClick() { setWindowTitle(QStringLiteral("%1   %2").arg(width()).arg(height())); }

}  // namespace uav
