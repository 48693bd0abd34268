// uavsim-gen-icon OUTDIR: draws the program's icon, a high-wing trainer seen
// from above on a sky tile, as OUTDIR/uavsim.svg and as 48, 128 and 256 pixel
// PNGs (OUTDIR/uavsim-48.png, ...). Both come from the one list of shapes
// below, in a 256 x 256 unit square, y down.
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double UNITS = 256.0;
constexpr double TILE_MARGIN = 8.0, TILE_RADIUS = 40.0;
const char* const SKY_TOP = "#2f6fc4";
const char* const SKY_BOTTOM = "#a8d8f6";
constexpr double OUTLINE_WIDTH = 5.0;
const char* const OUTLINE = "#1c2a3a";

struct Shape {
    std::vector<QPointF> points;
    const char* fill;
    bool outlined;
};

// Drawn in this order: wing, tailplane, fuselage over both, wing-tip marks,
// propeller.
std::vector<Shape> aircraft() {
    return {
        {{{36, 92}, {220, 92}, {228, 100}, {228, 128}, {220, 136}, {36, 136}, {28, 128}, {28, 100}}, "#ffffff", true},
        {{{84, 186}, {172, 186}, {176, 192}, {176, 206}, {80, 206}, {80, 192}}, "#ffffff", true},
        {{{128, 40}, {140, 52}, {138, 214}, {128, 224}, {118, 214}, {116, 52}}, "#f2f2f2", true},
        {{{31, 101}, {52, 101}, {52, 127}, {31, 127}}, "#d8342b", false},
        {{{204, 101}, {225, 101}, {225, 127}, {204, 127}}, "#d8342b", false},
        {{{96, 30}, {160, 30}, {160, 38}, {96, 38}}, "#3b3b3b", false},
    };
}

std::string svgText() {
    std::ostringstream s;
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
      << "  <defs>\n"
      << "    <linearGradient id=\"sky\" x1=\"0\" y1=\"" << TILE_MARGIN << "\" x2=\"0\" y2=\"" << UNITS - TILE_MARGIN
      << "\" gradientUnits=\"userSpaceOnUse\">\n"
      << "      <stop offset=\"0\" stop-color=\"" << SKY_TOP << "\"/>\n"
      << "      <stop offset=\"1\" stop-color=\"" << SKY_BOTTOM << "\"/>\n"
      << "    </linearGradient>\n"
      << "  </defs>\n"
      << "  <rect x=\"" << TILE_MARGIN << "\" y=\"" << TILE_MARGIN << "\" width=\"" << UNITS - 2 * TILE_MARGIN
      << "\" height=\"" << UNITS - 2 * TILE_MARGIN << "\" rx=\"" << TILE_RADIUS << "\" fill=\"url(#sky)\"/>\n";
    for (const Shape& sh : aircraft()) {
        s << "  <path d=\"";
        for (std::size_t i = 0; i < sh.points.size(); ++i)
            s << (i == 0 ? "M" : " L") << sh.points[i].x() << ' ' << sh.points[i].y();
        s << " Z\" fill=\"" << sh.fill << '"';
        if (sh.outlined)
            s << " stroke=\"" << OUTLINE << "\" stroke-width=\"" << OUTLINE_WIDTH << "\" stroke-linejoin=\"round\"";
        s << "/>\n";
    }
    s << "</svg>\n";
    return s.str();
}

QImage raster(int pixels) {
    QImage img(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels / UNITS, pixels / UNITS);
    QLinearGradient sky(0, TILE_MARGIN, 0, UNITS - TILE_MARGIN);
    sky.setColorAt(0, QColor(SKY_TOP));
    sky.setColorAt(1, QColor(SKY_BOTTOM));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(TILE_MARGIN, TILE_MARGIN, UNITS - 2 * TILE_MARGIN, UNITS - 2 * TILE_MARGIN),
                      TILE_RADIUS, TILE_RADIUS);
    for (const Shape& sh : aircraft()) {
        QPainterPath path;
        path.addPolygon(QPolygonF(QList<QPointF>(sh.points.begin(), sh.points.end())));
        path.closeSubpath();
        p.setPen(sh.outlined ? QPen(QColor(OUTLINE), OUTLINE_WIDTH, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
                             : QPen(Qt::NoPen));
        p.setBrush(QColor(sh.fill));
        p.drawPath(path);
    }
    p.end();
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: uavsim-gen-icon OUTDIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::ofstream svg(dir + "/uavsim.svg", std::ios::binary);
    svg << svgText();
    svg.close();
    if (!svg) {
        std::fprintf(stderr, "uavsim-gen-icon: cannot write %s/uavsim.svg\n", dir.c_str());
        return 1;
    }
    for (int px : {48, 128, 256}) {
        const std::string name = dir + "/uavsim-" + std::to_string(px) + ".png";
        if (!raster(px).save(QString::fromStdString(name), "PNG")) {
            std::fprintf(stderr, "uavsim-gen-icon: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
