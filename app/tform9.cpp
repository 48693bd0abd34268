#include "app/tform9.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>
#include <GL/gl.h>

#include <chrono>

#include "app/guarded.h"
#include "app/programfiles.h"
#include "app/tform1.h"
#include "views/mapimage.h"

// Qt resources of a static library are registered by name, outside any namespace.
static void initTxtResources() { Q_INIT_RESOURCE(txt); }

namespace uav {

namespace {
const char* const DEFAULT_MAP = ":/TXT/default.bmp";
constexpr int VIEW_W = 640, VIEW_H = 480;  // pixels of the drawing area
constexpr int SWAP_DELAY_MS = 12;          // from a frame's submission to its swap
}  // namespace

View3dSurface::View3dSurface(std::function<void()> onExpose) : onExpose_(std::move(onExpose)) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(QSurfaceFormat::defaultFormat());
}

void View3dSurface::exposeEvent(QExposeEvent*) {
    if (isExposed() && onExpose_) onExpose_();
}

void View3dSurface::resizeEvent(QResizeEvent*) {
    if (isExposed() && onExpose_) onExpose_();
}

bool TForm9::openGlAvailable() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return false;
    QOpenGLContext probe;
    probe.setFormat(QSurfaceFormat::defaultFormat());
    if (!probe.create()) return false;
    const QSurfaceFormat f = probe.format();
    // A core profile has no glBegin, lights or display lists.
    return !(f.profile() == QSurfaceFormat::CoreProfile && f.version() >= qMakePair(3, 2));
}

TForm9::TForm9(SimApp& sim, QWidget* mainWindow) : QMainWindow(mainWindow), sim_(sim) {
    initTxtResources();
    setObjectName(QStringLiteral("Form9"));
    setWindowFlags(Qt::Window);
    setWindowTitle(QStringLiteral("Form9"));
    buildMenu();
    if (openGlAvailable()) {
        surface_ = new View3dSurface([this] { DrawPic(); });
        QWidget* container = QWidget::createWindowContainer(surface_, this);
        container->setMinimumSize(160, 120);
        setCentralWidget(container);
    } else {
        auto* notice = new QLabel(QStringLiteral("Трёхмерный вид недоступен: нет OpenGL"), this);
        notice->setAlignment(Qt::AlignCenter);
        setCentralWidget(notice);
    }
    resize(VIEW_W, VIEW_H + menuBar()->sizeHint().height());
    FormCreate();
}

TForm9::~TForm9() {
    // FormDestroy: the lists and the texture go with the context.
    if (context_ && surface_ && surface_->handle() && context_->makeCurrent(surface_)) {
        renderer_.release();
        context_->doneCurrent();
    }
}

void TForm9::buildMenu() {
    QMenu* settings = menuBar()->addMenu(QStringLiteral("Настройки"));
    QMenu* maps = settings->addMenu(QStringLiteral("Карта"));
    N2 = maps->addAction(QStringLiteral("Горы"));
    N3 = maps->addAction(QStringLiteral("Поле с озерами"));
    N4 = maps->addAction(QStringLiteral("Грунт"));
    N5 = menuBar()->addAction(QStringLiteral("Выход"));
    connect(N2, &QAction::triggered, this, [this] { loadMap(txtFile(sim_, "mountains.bmp")); });
    connect(N3, &QAction::triggered, this, [this] { loadMap(txtFile(sim_, "field_lake.bmp")); });
    connect(N4, &QAction::triggered, this, [this] { loadMap(txtFile(sim_, "desert.bmp")); });
    connect(N5, &QAction::triggered, this, &TForm9::N5Click);
}

// The terrain of the built-in map at zoom 1 over home. The GL half (projection,
// lights, sky) follows when the view first draws.
void TForm9::FormCreate() {
    terrain_ = Terrain3d{};
    QFile f(QString::fromLatin1(DEFAULT_MAP));
    if (!f.open(QIODevice::ReadOnly)) throw SimError("The built-in map is missing");
    const QByteArray bytes = f.readAll();
    const RgbImage map =
        decodeBmp("default.bmp", reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
    CrMainBuff(terrain_, map);
    CreateBuf(terrain_, 5, 1);
    CreateBufT(terrain_, 0, 0, sim_.ap.returnSettings.returnAltitude);
}

void TForm9::loadMap(const QString& path) {
    guarded(this, [&] {
        const RgbImage map = loadMapFile(path.toStdString());  // throws before anything changes
        CrMainBuff(terrain_, map);
        // Rebuilt for the zoom and the cell the aircraft is over now, so the
        // new map shows at the right scale and place from the next frame on.
        rebuildForZoom();
        renderer_.terrainChanged();
    });
}

void TForm9::rebuildForZoom() {
    CreateBuf(terrain_, 5.0 * terrain_.k, terrain_.k);
    CreateBufT(terrain_, 0, 0, sim_.ap.returnSettings.returnAltitude);
    terrain_.ci = terrain_.cj = FAR_CELL_INDEX;
}

void TForm9::N5Click() {
    TForm1* f1 = sim_.windows.form1;
    if (f1 && f1->CheckBox1) {
        f1->CheckBox1->setChecked(false);
        f1->CheckBox1Click();
    } else {
        hide();
    }
}

void TForm9::closeEvent(QCloseEvent* e) {
    e->accept();
    N5Click();
}

// Called inside the first frame, from the display tick: a modal box there
// would hold every view until closed, so this one is modeless and the flight
// and its views go on behind it.
void TForm9::showSkyError(const TextureLoad& sky) {
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromStdString(sky.caption),
                                QString::fromStdString(sky.message), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setObjectName(QStringLiteral("skyError"));
    box->show();
}

bool TForm9::makeCurrent() {
    if (!surface_ || !surface_->isExposed()) return false;
    if (!context_) {
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(QSurfaceFormat::defaultFormat());
        if (!context_->create()) {
            context_.reset();
            return false;
        }
    }
    if (!context_->makeCurrent(surface_)) return false;
    if (!initialised_) {
        initialised_ = true;
        renderer_.initialise();
        // Nothing larger than the context takes is allocated (see loadTextureFile).
        const int maxSide = renderer_.maxTextureSide();
        const std::string skyPath = skyFile.empty() ? txtFile(sim_, "Sky.tga").toStdString() : skyFile;
        const TextureLoad sky = loadTextureFile(skyPath, maxSide > 0 ? maxSide : MAX_TEXTURE_SIDE);
        if (sky.ok)
            renderer_.setSky(sky.image);
        else if (!sky.message.empty())
            showSkyError(sky);
    }
    const qreal dpr = surface_->devicePixelRatio();
    renderer_.resize(static_cast<int>(surface_->width() * dpr), static_cast<int>(surface_->height() * dpr));
    return true;
}

void TForm9::PosModel() {
    camera_ = uav::PosModel(terrain_, sim_.state, sim_.ap.returnSettings.returnAltitude);
    if (camera_.gridChanged) renderer_.terrainChanged();
    const QString caption = QString::fromStdString(homeCaption(sim_.state, camera_.poleShown));
    if (caption != windowTitle()) setWindowTitle(caption);
    DrawPic();
}

// The frame is submitted here and handed to the renderer's threads; the swap,
// which waits for them and copies the picture to the window, follows a little
// later, so the dynamics ticks due meanwhile run on time instead of waiting
// behind the software rasteriser.
void TForm9::DrawPic() {
    if (camera_.fx == 0 && camera_.fy == 0 && camera_.fz == 0) return;  // no camera yet
    if (!makeCurrent()) return;
    renderer_.render(terrain_, camera_);
    glFlush();
    if (swapAtOnce) return swap();
    if (swapPending_) return;  // the pending swap shows this frame
    swapPending_ = true;
    QTimer::singleShot(SWAP_DELAY_MS, Qt::PreciseTimer, this, &TForm9::swap);
}

void TForm9::swap() {
    swapPending_ = false;
    const auto t0 = std::chrono::steady_clock::now();
    if (!surface_ || !surface_->isExposed() || !context_ || !context_->makeCurrent(surface_)) return;
    context_->swapBuffers(surface_);
    lastSwapMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

QImage TForm9::grabFrame() {
    if (camera_.fx == 0 && camera_.fy == 0 && camera_.fz == 0)
        camera_ = uav::PosModel(terrain_, sim_.state, sim_.ap.returnSettings.returnAltitude);
    if (!makeCurrent()) return {};
    renderer_.render(terrain_, camera_);
    glFinish();
    const qreal dpr = surface_->devicePixelRatio();
    const int w = static_cast<int>(surface_->width() * dpr), h = static_cast<int>(surface_->height() * dpr);
    QImage img(w, h, QImage::Format_RGBA8888);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, img.bits());
    return img.mirrored();
}

}  // namespace uav
