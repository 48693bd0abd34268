#include "views/modeldraw.h"

namespace uav {

namespace {

constexpr int SIDE_CENTRE = 150;          // pixels, the centre of gravity
constexpr double FORCE_PIXELS_PER_N = 10.0;
constexpr double VELOCITY_PIXELS_PER_MS = 5.0;
constexpr int FORCE_ELEMENTS_DRAWN = 5;   // elements 0..4 in the side view

// Picture point to screen, first axis to the left, second up.
Pixel toScreen(int ox, int oy, double x, double y) { return {ox - px(x), oy - px(y)}; }

void addOutline(Drawing& g, const std::vector<Vec3>& pts, const Mat3& bodyToEarth, Rgb fill) {
    if (pts.empty()) return;
    std::vector<Pixel> poly;
    poly.reserve(pts.size());
    for (const Vec3& p : pts) {
        const Vec3 q = MatVec(bodyToEarth, p);
        poly.push_back(toScreen(SIDE_CENTRE, SIDE_CENTRE, q.x, q.y));
    }
    addPolygon(g, Pen{}, {fill, BrushStyle::Solid}, std::move(poly));
}

void addDot(Drawing& g, Rgb colour, Pixel c) {
    addEllipse(g, {colour}, {colour, BrushStyle::Solid}, {c.x - 2, c.y - 2}, {c.x + 2, c.y + 2});
}

std::vector<Vec3> corners(const ElementOutline& e) { return {e.p[0], e.p[1], e.p[2], e.p[3]}; }

}  // namespace

DrawOutlines startOutlines() {
    DrawOutlines o;
    o.fus = {{100, -15, 0}, {0, -15, 0},  {-100, -5, 0}, {-90, 40, 0}, {-70, 40, 0},
             {-60, 15, 0},  {45, 30, 0},  {65, 15, 0},   {100, 15, 0}};
    o.leftW = {{50, 0, -1}, {45, 0, -100}, {10, 0, -100}, {-10, 0, -1}};
    o.rightW = {{50, 0, 1}, {45, 0, 100}, {10, 0, 100}, {-10, 0, 1}};
    o.leftS = {{-60, 5, -1}, {-70, 5, -45}, {-90, 5, -45}, {-97, 5, -12}};
    o.rightS = {{-60, 5, 1}, {-70, 5, 45}, {-90, 5, 45}, {-97, 5, 12}};
    return o;
}

DrawOutlines outlinesFromModel(const ModelOutlines& m) {
    return {corners(m.fus), corners(m.leftW), corners(m.rightW),
            corners(m.leftS), corners(m.rightS), corners(m.kil)};
}

Drawing drawModel(const SimState& s, const Aircraft& ac, const DrawOutlines& o) {
    Drawing g;
    g.reserve(24);
    const Mat3& be = s.bodyToEarth;
    addFillRect(g, {WHITE, BrushStyle::Solid}, {0, 0}, {SIDE_VIEW_SIZE, SIDE_VIEW_SIZE});

    // Painter's order: the half whose wing points at the viewer (the west side,
    // the right wing when the body z axis has a negative east component) last.
    if (s.orient.m[2][2] < 0.0) {
        addOutline(g, o.leftW, be, WING_FILL);
        addOutline(g, o.leftS, be, STAB_FILL);
        addOutline(g, o.fus, be, FUSELAGE_FILL);
        addOutline(g, o.kil, be, FUSELAGE_FILL);
        addOutline(g, o.rightW, be, WING_FILL);
        addOutline(g, o.rightS, be, STAB_FILL);
    } else {
        addOutline(g, o.rightW, be, WING_FILL);
        addOutline(g, o.rightS, be, STAB_FILL);
        addOutline(g, o.fus, be, FUSELAGE_FILL);
        addOutline(g, o.kil, be, FUSELAGE_FILL);
        addOutline(g, o.leftW, be, WING_FILL);
        addOutline(g, o.leftS, be, STAB_FILL);
    }
    addDot(g, RED, {SIDE_CENTRE, SIDE_CENTRE});

    const double kvis = ac.params.kvis;
    for (int i = 0; i < FORCE_ELEMENTS_DRAWN; ++i) {
        const Vec3 p = VecScale(MatVec(be, s.elemCP[i]), kvis);
        const Pixel a = toScreen(SIDE_CENTRE, SIDE_CENTRE, p.x, p.y);
        const Vec3 f = VecScale(s.elemForceEarth[i], FORCE_PIXELS_PER_N);
        addLine(g, {LIME}, a, toScreen(a.x, a.y, f.x, f.y));
        addDot(g, NAVY, a);
    }

    addLine(g, {RED, 3}, {SIDE_CENTRE, SIDE_CENTRE},
            toScreen(SIDE_CENTRE, SIDE_CENTRE, VELOCITY_PIXELS_PER_MS * s.velocity.x,
                     VELOCITY_PIXELS_PER_MS * s.velocity.y));

    const Vec3 m = VecScale(MatVec(be, ac.params.motorPos), kvis);
    const Pixel mp = toScreen(SIDE_CENTRE, SIDE_CENTRE, m.x, m.y);
    const Vec3 t = VecScale(MatVec(be, s.thrustBody), FORCE_PIXELS_PER_N);
    addLine(g, {NAVY}, mp, toScreen(mp.x, mp.y, t.x, t.y));
    return g;
}

Mat3 forcesViewMatrix(int turnV, int turnH) {
    return MatMul(MRotX(turnV * DEG_TO_RAD), MRotY(turnH * DEG_TO_RAD));
}

ViewPreset forcesPresetForClick(ViewButton button, bool ctrlOnly) {
    switch (button) {
        case ViewButton::Left:
            if (ctrlOnly) return {true, 45, 45, true};
            return {true, 0, 0, false};
        case ViewButton::Right: return {true, 0, 90, false};
        case ViewButton::Middle: return {true, 90, 90, false};
        case ViewButton::Other: break;
    }
    return {};
}

Drawing drawStaticModel(const SimState& s, const Aircraft& ac, const Mat3& vm, const ForcesSliders& sl) {
    Drawing g;
    g.reserve(48);
    const double z = sl.zoom;
    const int cx = 150 + px(sl.shiftH * z / 10.0);
    const int cy = 150 + px(sl.shiftV * z / 10.0);
    const double sp = z * ac.params.kvis / 10.0;  // pixels per metre
    addFillRect(g, {WHITE, BrushStyle::Solid}, {0, 0}, {FORCES_VIEW_SIZE, FORCES_VIEW_SIZE});

    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const AeroElement& e = ac.elements[i];
        if (!e.active) continue;
        const Vec3 a = MatVec(vm, e.pos), ch = MatVec(vm, e.chordVec);
        const Pixel pa = toScreen(cx, cy, sp * a.x, sp * a.y);
        const Pixel pb = toScreen(pa.x, pa.y, sp * ch.x, sp * ch.y);
        addLine(g, {SILVER}, {cx, cy}, pa);
        addLine(g, {GREY}, pa, pb);
        const Vec3 f = MatVec(vm, s.elemAirflow[i]);
        addLine(g, {MAGENTA}, pa, toScreen(pa.x, pa.y, z * f.x / 4.0, z * f.y / 4.0));
        const Vec3 p = MatVec(vm, s.elemCP[i]), force = MatVec(vm, s.elemForceBody[i]);
        const Pixel pp = toScreen(cx, cy, sp * p.x, sp * p.y);
        addLine(g, {LIME}, pp, toScreen(pp.x, pp.y, z * force.x, z * force.y));
    }

    const Vec3 m = MatVec(vm, ac.params.motorPos), t = MatVec(vm, s.thrustBody);
    const Pixel pm = toScreen(cx, cy, sp * m.x, sp * m.y);
    addLine(g, {NAVY}, pm, toScreen(pm.x, pm.y, z * t.x, z * t.y));

    const Vec3 v = MatVec(vm, s.airflowBody);
    addLine(g, {RED, 1, PenStyle::Dot}, {cx, cy}, toScreen(cx, cy, z * v.x / 2.0, z * v.y / 2.0));
    addDot(g, RED, {cx, cy});
    return g;
}

}  // namespace uav
