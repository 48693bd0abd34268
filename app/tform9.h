// The 3D view window (caption "Form9" at creation; while shown, "y  " with the
// home's offset east and north in metres when the home pole is drawn, "n"
// otherwise). It is shown and hidden by the main window's "3D" check box and
// renders one frame per display tick while shown.
//
// The terrain is decoded at creation; the OpenGL context (compatibility
// profile, double-buffered RGBA) is created only where one can be had: on the
// offscreen platform, or without GL, the window shows a notice instead and
// the program runs on. The sky texture is loaded when the view first draws;
// an error in it is shown in a modeless box, so the views run on meanwhile.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QWindow>
#include <functional>
#include <memory>

#include "app/gl3d.h"
#include "app/simapp.h"
#include "views/terrain3d.h"

class QAction;
class QOpenGLContext;

namespace uav {

// The native window the frames are drawn into, inside TForm9.
class View3dSurface : public QWindow {
public:
    explicit View3dSurface(std::function<void()> onExpose);

protected:
    void exposeEvent(QExposeEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    std::function<void()> onExpose_;
};

class TForm9 : public QMainWindow {
    Q_OBJECT
public:
    TForm9(SimApp& sim, QWidget* mainWindow);
    ~TForm9() override;

    // One camera update and frame, called by the display tick while shown.
    void PosModel();

    // Menu "Настройки" → "Карта" and "Выход".
    QAction* N2 = nullptr;  // "Горы"
    QAction* N3 = nullptr;  // "Поле с озерами"
    QAction* N4 = nullptr;  // "Грунт"
    QAction* N5 = nullptr;  // "Выход"
    // Loads a map file (path relative to the working directory); on failure
    // shows the reason and keeps the current map.
    void loadMap(const QString& path);
    void N5Click();

    // Whether frames can be drawn here (a GL context was created).
    bool hasGl() const { return surface_ != nullptr; }
    // Renders the frame of the present state and reads it back (no swap);
    // a null image without GL or while the window is not exposed.
    QImage grabFrame();

    // A drawn frame waits for its swap (see DrawPic); the swap's duration, ms.
    bool swapPending() const { return swapPending_; }
    bool swapAtOnce = false;  // swap within DrawPic (for comparison in the benchmark)
    double lastSwapMs = 0;

    Terrain3d& terrain() { return terrain_; }
    Gl3dRenderer& renderer() { return renderer_; }
    const Camera3d& camera() const { return camera_; }

    // The OpenGL context cannot be had on this platform (offscreen, minimal)
    // or the driver gives no fixed-function profile.
    static bool openGlAvailable();

    // The sky texture, read when the view first draws; empty: Sky.tga of the
    // program's TXT folder.
    std::string skyFile;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void buildMenu();
    bool makeCurrent();  // creates and initialises the context on first use
    void showSkyError(const TextureLoad& sky);
    void DrawPic();      // renders the last camera; the swap follows shortly
    void swap();
    void rebuildForZoom();

    SimApp& sim_;
    Terrain3d terrain_;
    Camera3d camera_;
    Gl3dRenderer renderer_;
    View3dSurface* surface_ = nullptr;  // owned by its container widget
    std::unique_ptr<QOpenGLContext> context_;
    bool initialised_ = false;
    bool swapPending_ = false;
};

}  // namespace uav
