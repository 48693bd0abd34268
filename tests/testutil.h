// Helpers the test folders share; including this header brings in GoogleTest.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/simstate.h"
#include "core/vecmath.h"
#include "core/wind.h"
#include "views/primitives.h"

namespace uav::test {

// The message of the SimError an action throws, so a test can compare it.
inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SimError& e) {
        return e.what();
    }
    return "no error";
}

// Every field of two states, exactly, each failure naming its field (the
// state's one field list, so a new field is compared too).
inline void expectSameState(const SimState& a, const SimState& b) {
    forEachSimStateMember([&](const char* name, auto member) { EXPECT_EQ(a.*member, b.*member) << name; });
}

inline void expectVec(const Vec3& v, const Vec3& want, double tol = 1e-12) {
    EXPECT_NEAR(v.x, want.x, tol);
    EXPECT_NEAR(v.y, want.y, tol);
    EXPECT_NEAR(v.z, want.z, tol);
}

// Replays fixed numbers in place of the random generator, so the draw order is visible.
struct ScriptedRandom final : UniformRandom {
    explicit ScriptedRandom(std::vector<double> v) : values(std::move(v)) {}
    double next01() override { return values.at(drawn++); }
    std::vector<double> values;
    std::size_t drawn = 0;
};

// A scratch folder, removed with its contents.
struct TempDir {
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "uavsim-test-XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        path = t;
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

inline void putFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// Reads a socket until its peer closes it or sends nothing for 5 s; the bytes read.
inline std::size_t bytesUntilQuiet(int fd) {
    std::size_t total = 0;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return total;
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0) return total;
        total += static_cast<std::size_t>(r);
    }
}

inline std::string fileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();  // a folder or a missing file reads as nothing
    return s.str();
}

// Primitives of one kind (and pen colour, when given), in drawing order, so a
// view test can ask for "the yellow line".
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
