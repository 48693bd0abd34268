#include "model/apply.h"

#include <cmath>
#include <optional>

#include "core/errors.h"
#include "model/inifile.h"
#include "model/numtext.h"

namespace uav {

namespace {

// Store writes that fail (read-only folder, full disk) must not stop the
// apply: the first failure is remembered and further writes are skipped.
// The writes of one apply go to the file together, all or nothing: once at
// the end; an apply stopped by a bad text, or whose writes failed, leaves the
// file with the last model applied whole.
class Storer {
public:
    Storer(IniFile* store, ApplyResult& res) : store_(store), res_(res) {
        if (store_) batch_.emplace(*store_);
    }
    void put(const std::string& section, const std::string& key, const std::string& value) {
        if (!store_ || res_.storeError) return;
        try {
            store_->writeString(section, key, value);
        } catch (const SimError& e) {
            res_.storeError = e.what();
            batch_->cancel();
        }
    }
    void commit() {
        if (!batch_ || res_.storeError) return;
        try {
            batch_->commit();
        } catch (const SimError& e) {
            res_.storeError = e.what();
        }
    }

private:
    IniFile* store_;
    ApplyResult& res_;
    std::optional<IniFile::Batch> batch_;
};

// A quantity the apply derives from the texts; an overflow stops the apply
// before the value is assigned, as a division by zero does.
double finiteOrStop(double v) {
    if (!std::isfinite(v)) throw overflow();
    return v;
}
Vec3 finiteOrStop(const Vec3& v) {
    finiteOrStop(v.x);
    finiteOrStop(v.y);
    finiteOrStop(v.z);
    return v;
}

}  // namespace

ApplyResult applyModel(const ModelTexts& t, char sep, SimState& s, Aircraft& ac, ModelOutlines& outlines,
                       IniFile* store) {
    ApplyResult res;
    // A text conf.ini cannot hold stops the apply before anything is written
    // or assigned, so the file never holds half of the new model.
    if (store) checkStorable(t);
    Storer out(store, res);
    s.fault = SimFault::None;
    auto num = [sep](const std::string& text) { return parseNumber(text, sep); };

    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const auto& p = t.params[i];
        const std::string sec = elemSection(i);
        out.put(sec, "Act", t.active[i] ? "1" : "0");
        for (int j = 0; j < PARAM_COUNT; ++j) out.put(sec, paramKey(j), p[j]);

        AeroElement& e = ac.elements[i];
        e.active = t.active[i];
        e.pos.x = num(p[P_X]);
        e.pos.y = num(p[P_Y]);
        e.pos.z = num(p[P_Z]);
        e.len = num(p[P_LEN]);
        e.normal = {0, 1, 0};
        e.chord = num(p[P_CHORD]);
        e.area = finiteOrStop(e.len * e.chord);
        e.chordVec = {-e.chord, 0, 0};
        // Rotations about body x, then y, then z.
        Mat3 r = MRotX(num(p[P_AX]) * DEG_TO_RAD);
        e.normal = MatVec(r, e.normal);
        e.chordVec = MatVec(r, e.chordVec);
        r = MRotY(num(p[P_AY]) * DEG_TO_RAD);
        e.normal = MatVec(r, e.normal);
        e.chordVec = MatVec(r, e.chordVec);
        r = MRotZ(num(p[P_AZ]) * DEG_TO_RAD);
        e.normal = MatVec(r, e.normal);
        e.chordVec = MatVec(r, e.chordVec);
        if (e.chord == 0.0) throw divisionByZero();
        e.chordDir = finiteOrStop(VecScale(e.chordVec, 1.0 / e.chord));
        e.spanDir = finiteOrStop(VecCross(e.normal, e.chordDir));
        e.k = num(p[P_K]);
        e.efTr = num(p[P_EFTR]);
        e.servoSteps = num(p[P_STEPS]);
        e.servoSpeed = num(p[P_SPEED]);
    }

    for (int k = 0; k < SCALAR_COUNT; ++k) out.put("Model", SCALAR_KEYS[k], t.scalars[k]);
    ModelParams& mp = ac.params;
    mp.inertia.x = num(t.scalars[SC_IX]);
    mp.inertia.y = num(t.scalars[SC_IY]);
    mp.inertia.z = num(t.scalars[SC_IZ]);
    mp.mass = num(t.scalars[SC_M]);
    mp.thrustMax = finiteOrStop(num(t.scalars[SC_TV]) * mp.mass * GRAVITY_G);
    mp.vycos = num(t.scalars[SC_VYCOS]) * DEG_TO_RAD;
    mp.motorPos.x = num(t.scalars[SC_XM]);
    mp.motorPos.y = num(t.scalars[SC_YM]);
    mp.motorPos.z = 0.0;
    // Tilted by Vycos about the body's own z axis (the right wing): a body-frame
    // vector, so the attitude at the moment of the apply plays no part.
    mp.thrustVec = finiteOrStop(MatVec(MRotO(mp.vycos, Vec3{0, 0, 1}), Vec3{mp.thrustMax, 0, 0}));
    mp.weight = finiteOrStop(Vec3{0, -GRAVITY_G * mp.mass, 0});

    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) {
            ac.mix.c[r][j] = num(t.mix[r][j]);
            out.put("Mix", mixKey(r, j), t.mix[r][j]);
        }

    buildOutlines(t.scalars[SC_KVIS], sep, ac, outlines);
    out.commit();
    return res;
}

void buildOutlines(const std::string& kvisText, char sep, Aircraft& ac, ModelOutlines& o) {
    const double scale = parseNumber(kvisText, sep);
    const auto& el = ac.elements;

    auto halfSpans = [](const AeroElement& e, Vec3& hm, Vec3& hp) {
        if (e.chord == 0.0) throw divisionByZero();
        const double f = e.len / (2.0 * e.chord);
        hm = VecScale(VecCross(e.chordVec, e.normal), f);
        hp = VecScale(VecCross(e.normal, e.chordVec), f);
    };
    auto panel = [](const Vec3& p0, const Vec3& p1, const Vec3& chordVec) {
        return ElementOutline{{p0, p1, VecAdd(p1, chordVec), VecAdd(p0, chordVec)}};
    };

    ModelOutlines n;
    Vec3 hm, hp;
    halfSpans(el[0], hm, hp);
    n.leftW = panel(VecSub(el[0].pos, hm), VecAdd(el[0].pos, hm), el[0].chordVec);
    halfSpans(el[1], hm, hp);
    n.rightW = panel(VecSub(el[1].pos, hp), VecAdd(el[1].pos, hp), el[1].chordVec);
    halfSpans(el[2], hm, hp);
    n.leftS = panel(el[2].pos, VecAdd(el[2].pos, hm), el[2].chordVec);
    n.rightS = panel(el[2].pos, VecSub(el[2].pos, hm), el[2].chordVec);
    halfSpans(el[3], hm, hp);
    n.kil = panel(VecSub(el[3].pos, hp), VecAdd(el[3].pos, hp), el[3].chordVec);
    const double x = el[3].pos.x;  // tail arm, negative behind the CG
    n.fus = ElementOutline{{{x, x / 10, 0}, {x, -x / 10, 0}, {-x / 2, -x / 10, 0}, {-x / 2, x / 10, 0}}};

    for (ElementOutline* ol : {&n.leftW, &n.rightW, &n.leftS, &n.rightS, &n.kil, &n.fus})
        for (Vec3& pt : ol->p) pt = VecScale(pt, scale);
    for (Vec3& pt : n.fus.p) pt.z = 0.0;
    for (ElementOutline* ol : {&n.leftW, &n.rightW, &n.leftS, &n.rightS, &n.kil, &n.fus})
        for (const Vec3& pt : ol->p) finiteOrStop(pt);

    o = n;
    ac.params.kvis = scale;
}

}  // namespace uav
