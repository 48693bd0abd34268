#include "link/apsession.h"

#include <algorithm>

namespace uav {

ApFrameAction ApSession::accept(const std::string& sender, const std::uint8_t* bytes, std::size_t n, double nowS,
                                ApServoPacket& out) {
    ++counters_.datagrams;
    if (!sender_.empty() && sender != sender_ && nowS - lastAtS_ < SENDER_ACTIVE_S) {
        ++counters_.otherSender;
        if (sender != noticedOther_) {
            noticedOther_ = sender;
            lastOther_ = sender;
            otherNoticePending_ = true;
        }
        return ApFrameAction::Ignore;
    }
    ApPacketFault fault = ApPacketFault::None;
    const std::optional<ApServoPacket> p = decodeServoPacket(bytes, n, &fault);
    if (!p) {
        if (fault == ApPacketFault::WrongSize) ++counters_.wrongSize;
        else ++counters_.wrongMagic;
        return ApFrameAction::Ignore;
    }
    // A servo packet: its sender is (or becomes, once the last one has gone
    // quiet) the one this flight answers.
    sender_ = sender;
    lastAtS_ = nowS;
    out = *p;
    if (!haveCount_) {
        haveCount_ = true;
        lastCount_ = p->frameCount;
        ++counters_.frames;
        return ApFrameAction::Step;
    }
    if (p->frameCount == lastCount_) {
        ++counters_.repeats;
        return ApFrameAction::Repeat;
    }
    const bool back = p->frameCount < lastCount_;
    if (!back && p->frameCount - lastCount_ > 1) ++counters_.countJumps;
    lastCount_ = p->frameCount;
    ++counters_.frames;
    if (back) {
        ++counters_.restarts;
        return ApFrameAction::Restart;
    }
    return ApFrameAction::Step;
}

bool ApSession::takeOtherSenderNotice(std::string& name) {
    if (!otherNoticePending_) return false;
    otherNoticePending_ = false;
    name = lastOther_;
    return true;
}

const char* launchPhaseText(LaunchPhase p) {
    switch (p) {
    case LaunchPhase::Held: return "held";
    case LaunchPhase::Stroke: return "catapult";
    case LaunchPhase::Free: return "free";
    }
    return "?";
}

ApLaunch beginHeldLaunch(SimState& s) {
    ApLaunch l;
    l.releaseSpeedMs = VecNorm(s.velocity);
    prepareLaunchTick(l, s, 0);
    return l;
}

namespace {

void holdStill(SimState& s) {
    s.velocity = {};
    s.omegaEarth = {};
    s.omegaBody = {};
    s.running = false;  // the tick refreshes airflow and forces, integrates nothing
}

}  // namespace

void prepareLaunchTick(ApLaunch& l, SimState& s, int throttleUs) {
    switch (l.phase) {
    case LaunchPhase::Held:
        holdStill(s);
        l.accelEarth = {};
        if (throttleUs <= ApLaunch::RELEASE_THROTTLE_US) return;
        if (l.releaseSpeedMs <= 0.0) {
            // Nothing to accelerate to: let go, as from a hand.
            l.phase = LaunchPhase::Free;
            s.running = true;
            return;
        }
        l.phase = LaunchPhase::Stroke;
        l.strokeElapsedS = 0.0;
        [[fallthrough]];
    case LaunchPhase::Stroke: {
        if (l.strokeElapsedS >= ApLaunch::STROKE_S - 1e-9) {
            // The stroke has ended with the release speed: fly from here.
            l.phase = LaunchPhase::Free;
            l.accelEarth = {};
            s.running = true;
            return;
        }
        const Vec3 nose = s.orient.row(0);
        const double accel = l.releaseSpeedMs / ApLaunch::STROKE_S;  // m/s^2
        const double speedBefore = VecDot(s.velocity, nose);
        l.strokeElapsedS = std::min(ApLaunch::STROKE_S, l.strokeElapsedS + s.dt);
        const double speed = std::min(l.releaseSpeedMs, accel * l.strokeElapsedS);
        s.velocity = VecScale(nose, speed);
        s.omegaEarth = {};
        s.omegaBody = {};
        s.posX += s.velocity.x * s.dt;
        s.posH += s.velocity.y * s.dt;
        s.posZ += s.velocity.z * s.dt;
        s.posD = std::sqrt(s.posX * s.posX + s.posZ * s.posZ);
        l.accelEarth = VecScale(nose, (speed - speedBefore) / s.dt);
        s.running = false;
        return;
    }
    case LaunchPhase::Free:
        return;
    }
}

Vec3 launchSpecificForceBody(const ApLaunch& l, const SimState& s, const ModelParams& mp) {
    if (l.phase == LaunchPhase::Free) return specificForceBody(s, mp);
    return kinematicSpecificForceBody(s.orient, l.accelEarth);
}

}  // namespace uav
