// Small finders over a drawing, so a test can ask for "the yellow line".
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "views/primitives.h"

namespace uav::test {

inline std::vector<const Primitive*> find(const Drawing& d, PrimKind kind, Rgb penColour) {
    std::vector<const Primitive*> out;
    for (const Primitive& p : d)
        if (p.kind == kind && p.pen.colour == penColour) out.push_back(&p);
    return out;
}

inline const Primitive& only(const Drawing& d, PrimKind kind, Rgb penColour) {
    const auto all = find(d, kind, penColour);
    if (all.size() != 1) ADD_FAILURE() << "expected one primitive of that kind and colour, found " << all.size();
    static const Primitive none;
    return all.empty() ? none : *all.front();
}

inline std::vector<Pixel> pts(std::initializer_list<Pixel> p) { return p; }

}  // namespace uav::test
