// Small finders over a drawing, so a test can ask for "the yellow line".
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/simstate.h"
#include "views/primitives.h"

namespace uav::test {

// Primitives of one kind (and pen colour, when given), in drawing order.
inline std::vector<const Primitive*> find(const Drawing& d, PrimKind kind, std::optional<Rgb> penColour = {}) {
    std::vector<const Primitive*> out;
    for (const Primitive& p : d)
        if (p.kind == kind && (!penColour || p.pen.colour == *penColour)) out.push_back(&p);
    return out;
}

inline const Primitive& only(const Drawing& d, PrimKind kind, Rgb penColour) {
    const auto all = find(d, kind, penColour);
    if (all.size() != 1) ADD_FAILURE() << "expected one primitive of that kind and colour, found " << all.size();
    static const Primitive none;
    return all.empty() ? none : *all.front();
}

inline std::vector<Pixel> pts(std::initializer_list<Pixel> p) { return p; }

// A state with attitude `orient` and the snapshots a tick would take of it.
inline SimState withOrient(const Mat3& orient) {
    SimState s;
    s.orient = s.earthToBody = orient;
    s.bodyToEarth = MatTranspose(orient);
    return s;
}

}  // namespace uav::test
