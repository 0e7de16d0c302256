#include "sim/Modules.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr Micros kStepMicros = 1000;          // motion is integrated in 1 ms steps
constexpr double kStepSeconds = 0.001;
constexpr double kPositionBound = 1e15;       // keeps counters far from any overflow

// A module tells its commands apart by the low four bits of the command byte;
// the high four bits are the number of data bytes.
constexpr uint8_t Op(uint8_t command) { return command & 0x0F; }

int32_t ReadLE32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

uint32_t ReadLEU32(const uint8_t* p) { return uint32_t(ReadLE32(p)); }

// v moved towards goal by at most step.
double Approach(double v, double goal, double step) {
    if (v < goal) return std::min(goal, v + step);
    if (v > goal) return std::max(goal, v - step);
    return v;
}

// One integration step of a ramp of the velocity towards goal with the
// acceleration acc (0 = at once); the position follows.
void VelocityStep(double& pos, double& vel, double goal, double acc, double dt) {
    vel = acc > 0 ? Approach(vel, goal, acc * dt) : goal;
    pos += vel * dt;
}

// One integration step of a trapezoidal move to target with the speed limit
// vmax and the acceleration acc (0 = immediate).  True once at the target.
bool PositionStep(double& pos, double& vel, double target, double vmax, double acc, double dt) {
    double rem = target - pos;
    if (rem == 0) {
        vel = 0;
        return true;
    }
    double dir = rem > 0 ? 1.0 : -1.0;
    double reachable = acc > 0 ? std::sqrt(2.0 * acc * std::fabs(rem)) : vmax;
    double goal = dir * std::min(vmax, reachable);
    vel = acc > 0 ? Approach(vel, goal, acc * dt) : goal;
    double next = pos + vel * dt;
    if ((target - next) * dir <= 0 || std::fabs(target - next) < 1e-9) {
        pos = target;
        vel = 0;
        return true;
    }
    pos = next;
    return false;
}

double Bound(double p) { return std::clamp(p, -kPositionBound, kPositionBound); }

int32_t Report(double physical, double offset) { return Wrap32(std::llround(Bound(physical - offset))); }

}  // namespace

int32_t Wrap32(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }

void AppendLE32(std::vector<uint8_t>& out, int32_t value) {
    uint32_t v = uint32_t(value);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void SimModule::advanceTo(Micros t) {
    if (t <= time_) return;
    if (idle()) {
        time_ = t;
        return;
    }
    while (time_ + kStepMicros <= t) {
        step(kStepSeconds);
        time_ += kStepMicros;
        if (idle()) {
            time_ = t;
            return;
        }
    }
}

void SimModule::appendState(std::string& out, Micros now) const {
    Put(out, typeCode());
    const Micros phase = idle() ? 0 : time_ - now;
    Put(out, phase);
    appendFields(out);
}

void SimModule::appendType(std::vector<uint8_t>& reply) const {
    reply.push_back(uint8_t(typeCode()));
    reply.push_back(firmwareVersion());
}

std::unique_ptr<SimModule> MakeModule(int typeCode) {
    switch (typeCode) {
        case kServoType: return std::make_unique<ServoModule>();
        case kIoType: return std::make_unique<IoModule>();
        case kStepperType: return std::make_unique<StepperModule>();
        default: return std::make_unique<BareModule>(typeCode);
    }
}

// ---------------------------------------------------------------------------
// Servo

void ServoModule::reset() {
    pos_ = vel_ = offset_ = target_ = 0;
    cmdVel_ = cmdAcc_ = 0;
    loadedPos_ = 0;
    loadedVel_ = loadedAcc_ = 0;
    pwm_ = 0;
    reverse_ = false;
    mode_ = Mode::Hold;
    amp_ = true;
    moveDone_ = true;
    homing_ = false;
    homeControl_ = 0;
    homePhys_ = 0;
    static const uint16_t kDefaultGains[9] = {100, 1000, 0, 0, 255, 0, 2000, 1, 0};
    std::copy(std::begin(kDefaultGains), std::end(kDefaultGains), gains_);
}

uint8_t ServoModule::statusByte() const {
    uint8_t s = 0;
    if (moveDone_) s |= MoveDone;
    if (amp_) s |= PowerOn;
    if (limit1()) s |= Limit1;
    if (limit2()) s |= Limit2;
    if (homing_) s |= Homing;
    return s;
}

int32_t ServoModule::position() const { return Report(pos_, offset_); }
int32_t ServoModule::homePosition() const { return Report(homePhys_, offset_); }

std::vector<uint8_t> ServoModule::handle(uint8_t command, const uint8_t* d, int n) {
    uint8_t items = 0;
    switch (Op(command)) {
        case Op(ServoCmd::kMove):
            if (n >= 1) move(d, n);
            break;
        case Op(ServoCmd::kStop):
            if (n >= 1) stop(d[0]);
            break;
        case Op(ServoCmd::kSetGain):
            if (n >= 14) {
                gains_[0] = uint16_t(d[0] | (d[1] << 8));
                gains_[1] = uint16_t(d[2] | (d[3] << 8));
                gains_[2] = uint16_t(d[4] | (d[5] << 8));
                gains_[3] = uint16_t(d[6] | (d[7] << 8));
                gains_[4] = d[8];
                gains_[5] = d[9];
                gains_[6] = uint16_t(d[10] | (d[11] << 8));
                gains_[7] = d[12];
                gains_[8] = d[13];
            }
            break;
        case Op(ServoCmd::kResetPosition):
            // 1 = count from the home position, else from where the shaft stands.
            offset_ = (n >= 1 && d[0] == 1) ? homePhys_ : std::round(pos_);
            break;
        case Op(ServoCmd::kStartHoming):
            if (n >= 1) startHoming(d[0]);
            break;
        case Op(kModuleGetStatus):
            items = n >= 1 ? d[0] : 0;
            break;
        default:
            break;  // not a servo command: answered with the status byte only
    }
    std::vector<uint8_t> reply{statusByte()};
    if (items & kItemPosition) AppendLE32(reply, position());
    if (items & kItemHomePosition) AppendLE32(reply, homePosition());
    if (items & kItemType) appendType(reply);
    return reply;
}

void ServoModule::move(const uint8_t* d, int n) {
    // The fields that the load bits 0x01 to 0x08 name follow in that order.
    const uint8_t c = d[0];
    const int needed = 1 + ((c & 0x01) ? 4 : 0) + ((c & 0x02) ? 4 : 0) + ((c & 0x04) ? 4 : 0) + ((c & 0x08) ? 1 : 0);
    if (n < needed) return;  // incomplete frame: ignored
    const uint8_t* f = d + 1;
    if (c & 0x01) loadedPos_ = ReadLE32(f), f += 4;
    if (c & 0x02) loadedVel_ = ReadLEU32(f), f += 4;
    if (c & 0x04) loadedAcc_ = ReadLEU32(f), f += 4;
    if (c & 0x08) pwm_ = *f;
    cmdVel_ = double(loadedVel_);
    cmdAcc_ = double(loadedAcc_) * kAccelUnit;
    if (!(c & 0x80)) return;  // parameters loaded, motion not started
    amp_ = true;
    reverse_ = (c & 0x40) != 0;
    if (!(c & 0x10)) {
        mode_ = Mode::Pwm;
        moveDone_ = true;
    } else if (c & 0x20) {
        mode_ = Mode::Velocity;
        moveDone_ = false;
    } else {
        // 0x40 in position mode: relative to where the shaft stands.
        target_ = reverse_ ? std::round(pos_) + double(loadedPos_) : offset_ + double(loadedPos_);
        mode_ = Mode::Position;
        moveDone_ = false;
    }
}

void ServoModule::stop(uint8_t c) {
    amp_ = (c & 0x01) && !(c & 0x02);
    if (!amp_ || !(c & 0x08)) {
        // Motor off, stop abruptly, or no mode given: the motor stands at once.
        vel_ = 0;
        mode_ = Mode::Hold;
        moveDone_ = true;
    } else if (mode_ != Mode::Hold) {
        mode_ = Mode::Decelerate;
    }
}

void ServoModule::startHoming(uint8_t c) {
    homing_ = true;
    homeControl_ = c;
    // Without any condition the home position is taken at once.
    if ((c & 0xCB) == 0 || ((c & 0x01) && limit1()) || ((c & 0x02) && limit2())) {
        homePhys_ = std::round(pos_);
        homing_ = false;
        applyStopAction(c);
    }
}

void ServoModule::applyStopAction(uint8_t c) {
    if (c & 0x04) {
        amp_ = false;
        vel_ = 0;
        mode_ = Mode::Hold;
        moveDone_ = true;
    } else if (c & 0x10) {
        vel_ = 0;
        mode_ = Mode::Hold;
        moveDone_ = true;
    } else if ((c & 0x20) && mode_ != Mode::Hold) {
        mode_ = Mode::Decelerate;
    }
}

void ServoModule::checkHoming(double before) {
    const uint8_t c = homeControl_;
    bool index = (c & 0x08) && std::floor(before / double(kIndexSpacing)) != std::floor(pos_ / double(kIndexSpacing));
    if (((c & 0x01) && limit1()) || ((c & 0x02) && limit2()) || index) {
        homePhys_ = std::round(pos_);
        homing_ = false;
        applyStopAction(c);
    }
}

void ServoModule::step(double dt) {
    const double before = pos_;
    const double dir = reverse_ ? -1.0 : 1.0;
    switch (mode_) {
        case Mode::Hold:
            vel_ = 0;
            break;
        case Mode::Position:
            if (PositionStep(pos_, vel_, target_, cmdVel_, cmdAcc_, dt)) {
                mode_ = Mode::Hold;
                moveDone_ = true;
            }
            break;
        case Mode::Velocity: {
            double goal = dir * cmdVel_;
            VelocityStep(pos_, vel_, goal, cmdAcc_, dt);
            if (vel_ == goal) moveDone_ = true;
            break;
        }
        case Mode::Pwm:
            vel_ = dir * double(pwm_) * kPwmUnit;
            pos_ += vel_ * dt;
            break;
        case Mode::Decelerate:
            VelocityStep(pos_, vel_, 0, cmdAcc_, dt);
            if (vel_ == 0) {
                mode_ = Mode::Hold;
                moveDone_ = true;
            }
            break;
    }
    pos_ = Bound(pos_);
    if (homing_) checkHoming(before);
}

void ServoModule::appendFields(std::string& out) const {
    for (double v : {pos_, vel_, offset_, target_, cmdVel_, cmdAcc_, homePhys_}) Put(out, v);
    Put(out, loadedPos_);
    Put(out, loadedVel_);
    Put(out, loadedAcc_);
    Put(out, pwm_);
    Put(out, reverse_);
    Put(out, mode_);
    Put(out, amp_);
    Put(out, moveDone_);
    Put(out, homing_);
    Put(out, homeControl_);
    for (uint16_t g : gains_) Put(out, g);
}

bool ServoModule::idle() const { return mode_ == Mode::Hold || (mode_ == Mode::Pwm && pwm_ == 0); }

// ---------------------------------------------------------------------------
// Stepper

void StepperModule::reset() {
    pos_ = vel_ = offset_ = target_ = 0;
    cmdSpeed_ = cmdAcc_ = 0;
    mode_ = Mode::Hold;
    amp_ = true;
    homing_ = false;
    homeControl_ = 0;
    homePhys_ = 0;
    params_ = 0x03;
    factor_ = 1;
    minSpeed_ = 1;
    runCurrent_ = 20;
    holdCurrent_ = 10;
    thermalLimit_ = 0;
    outputs_ = 0x0E;
    speedByte_ = accelByte_ = 0;
    reverse_ = false;
}

bool StepperModule::homeSwitch() const {
    if (external_ & HomeSwitch) return true;
    return pos_ >= double(kHomeSwitchFrom) && pos_ < double(kHomeSwitchTo + 1);
}

uint8_t StepperModule::statusByte() const {
    uint8_t s = PowerOn;
    if (mode_ != Mode::Hold) s |= Moving;
    if (amp_) s |= AmpEnabled;
    if (mode_ != Mode::Hold && mode_ != Mode::Decelerate && cmdSpeed_ > 0 && std::fabs(vel_) >= cmdSpeed_)
        s |= AtSpeed;
    if (homing_) s |= Homing;
    return s;
}

uint8_t StepperModule::inputByte() const {
    uint8_t b = external_;
    if (limit1()) b |= Limit1;
    if (limit2()) b |= Limit2;
    if (homeSwitch()) b |= HomeSwitch;
    return b;
}

int32_t StepperModule::position() const { return Report(pos_, offset_); }
int32_t StepperModule::homePosition() const { return Report(homePhys_, offset_); }

std::vector<uint8_t> StepperModule::handle(uint8_t command, const uint8_t* d, int n) {
    uint8_t items = 0;
    switch (Op(command)) {
        case Op(StepCmd::kMove):
            if (n >= 1) move(d, n);
            break;
        case Op(StepCmd::kStop):
            if (n >= 1) {
                amp_ = (d[0] & 0x01) != 0;
                stopMotion(!amp_ || !(d[0] & 0x08));
            }
            break;
        case Op(StepCmd::kSetParam):
            if (n >= 5) {
                params_ = d[0];
                static const int kFactor[4] = {8, 4, 2, 1};
                factor_ = kFactor[d[0] & 0x03];
                minSpeed_ = d[1];
                runCurrent_ = d[2];
                holdCurrent_ = d[3];
                thermalLimit_ = d[4];
            }
            break;
        case Op(StepCmd::kSetOutputs):
            if (n >= 1) outputs_ = d[0];
            break;
        case Op(StepCmd::kResetPosition):
            offset_ = std::round(pos_);
            break;
        case Op(StepCmd::kStartHoming):
            if (n >= 1) {
                homing_ = true;
                homeControl_ = d[0];
                checkHoming();
            }
            break;
        case Op(kModuleGetStatus):
            items = n >= 1 ? d[0] : 0;
            break;
        default:
            break;
    }
    std::vector<uint8_t> reply{statusByte()};
    if (items & kItemPosition) AppendLE32(reply, position());
    if (items & kItemStepInputs) reply.push_back(inputByte());
    if (items & kItemHomePosition) AppendLE32(reply, homePosition());
    if (items & kItemType) appendType(reply);
    return reply;
}

void StepperModule::move(const uint8_t* d, int n) {
    const uint8_t c = d[0];
    const bool positionMode = (c & 0x01) != 0;
    if (positionMode ? n < 7 : n < 3) return;  // incomplete frame: ignored
    const uint8_t* sp = positionMode ? d + 5 : d + 1;
    if (c & 0x02) speedByte_ = sp[0];
    if (c & 0x04) accelByte_ = sp[1];
    cmdSpeed_ = speedByte_ * kSpeedUnit * factor_;
    cmdAcc_ = accelByte_ * kAccelUnit * factor_;
    if (!(c & 0x80)) return;
    amp_ = true;
    if (positionMode) {
        target_ = offset_ + double(ReadLE32(d + 1));
        mode_ = Mode::Position;
    } else {
        reverse_ = (c & 0x10) != 0;
        mode_ = Mode::Velocity;
    }
}

void StepperModule::stopMotion(bool abrupt) {
    if (abrupt || mode_ == Mode::Hold) {
        vel_ = 0;
        mode_ = Mode::Hold;
    } else {
        mode_ = Mode::Decelerate;
    }
}

void StepperModule::checkHoming() {
    const uint8_t c = homeControl_;
    if ((c & 0x0B) != 0 && !((c & 0x01) && limit1()) && !((c & 0x02) && limit2()) && !((c & 0x08) && homeSwitch()))
        return;
    homePhys_ = std::round(pos_);
    homing_ = false;
    if (c & 0x10) stopMotion(true);
    else if (c & 0x20) stopMotion(false);
}

void StepperModule::step(double dt) {
    if ((external_ & EStop) && !(params_ & 0x08)) {
        stopMotion(true);
        if (params_ & 0x10) amp_ = false;
    }
    switch (mode_) {
        case Mode::Hold:
            vel_ = 0;
            break;
        case Mode::Position:
            if (PositionStep(pos_, vel_, target_, cmdSpeed_, cmdAcc_, dt)) mode_ = Mode::Hold;
            break;
        case Mode::Velocity:
            VelocityStep(pos_, vel_, (reverse_ ? -1.0 : 1.0) * cmdSpeed_, cmdAcc_, dt);
            break;
        case Mode::Decelerate:
            VelocityStep(pos_, vel_, 0, cmdAcc_, dt);
            if (vel_ == 0) mode_ = Mode::Hold;
            break;
    }
    pos_ = Bound(pos_);
    // The limit switches stop motion into them unless SetParam said to ignore them.
    if (!(params_ & 0x04) && ((limit1() && vel_ < 0) || (limit2() && vel_ > 0))) stopMotion(true);
    if (homing_) checkHoming();
}

void StepperModule::appendFields(std::string& out) const {
    for (double v : {pos_, vel_, offset_, target_, cmdSpeed_, cmdAcc_, homePhys_}) Put(out, v);
    Put(out, mode_);
    Put(out, amp_);
    Put(out, homing_);
    Put(out, homeControl_);
    Put(out, external_);
    Put(out, params_);
    Put(out, factor_);
    Put(out, outputs_);
    Put(out, speedByte_);
    Put(out, accelByte_);
    Put(out, reverse_);
    for (uint8_t v : {minSpeed_, runCurrent_, holdCurrent_, thermalLimit_}) Put(out, v);
}

bool StepperModule::idle() const {
    // Homing goes on watching the switches, which may be set from outside.
    return mode_ == Mode::Hold && !homing_ &&
           !((external_ & EStop) && !(params_ & 0x08) && (params_ & 0x10) && amp_);
}

// ---------------------------------------------------------------------------
// I/O

void IoModule::reset() {
    inputMask_ = 0x0FFF;
    latch_ = 0;
    pwm_[0] = pwm_[1] = 0;
}

void IoModule::appendFields(std::string& out) const {
    Put(out, inputMask_);
    Put(out, latch_);
    Put(out, external_);
    Put(out, pwm_[0]);
    Put(out, pwm_[1]);
}

uint16_t IoModule::inputBits() const {
    return uint16_t(((latch_ & ~inputMask_) | (external_ & inputMask_)) & 0x0FFF);
}

void IoModule::setOutputs(bool set, uint16_t mask) {
    if (set) latch_ = uint16_t((latch_ | mask) & 0x0FFF);
    else latch_ = uint16_t(latch_ & mask & 0x0FFF);
}

std::vector<uint8_t> IoModule::handle(uint8_t command, const uint8_t* d, int n) {
    uint8_t items = 0;
    switch (Op(command)) {
        case Op(IoCmd::kMakeOutputs):
            // A 0 bit makes the pin an output.
            if (n >= 2) inputMask_ = uint16_t((d[0] | (d[1] << 8)) & 0x0FFF);
            break;
        case Op(IoCmd::kSetPWMs):
            if (n >= 2) {
                pwm_[0] = d[0];
                pwm_[1] = d[1];
            }
            break;
        case Op(kModuleGetStatus):
            items = n >= 1 ? d[0] : 0;
            break;
        default:
            break;
    }
    std::vector<uint8_t> reply{0};
    if (items & kItemInputBits) {
        uint16_t bits = inputBits();
        reply.push_back(uint8_t(bits & 0xFF));
        reply.push_back(uint8_t(bits >> 8));
    }
    if (items & kItemType) appendType(reply);
    return reply;
}

// ---------------------------------------------------------------------------

std::vector<uint8_t> BareModule::handle(uint8_t command, const uint8_t* d, int n) {
    std::vector<uint8_t> reply{0};
    if (Op(command) == Op(kModuleGetStatus) && n >= 1 && (d[0] & kItemType)) appendType(reply);
    return reply;
}

}  // namespace sim
