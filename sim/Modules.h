#pragma once
// The simulated slave modules on the master's network: servo, stepper, I/O,
// and a bare module of any other type.  Each takes the command byte and data
// bytes of one frame and returns its reply (status byte first, then the
// status items asked for); between frames its motion is integrated in
// one-millisecond steps of simulated time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "isa/Vocabulary.h"

namespace sim {

using Micros = int64_t;

constexpr int kServoType = kTypeServo;
constexpr int kIoType = kTypeIo;
constexpr int kStepperType = kTypeStepper;

class SimModule {
public:
    virtual ~SimModule() = default;
    virtual int typeCode() const = 0;
    // The byte that follows the type code in the type item.
    virtual uint8_t firmwareVersion() const = 0;
    // One frame: command byte (high nibble = data count) and its data bytes.
    virtual std::vector<uint8_t> handle(uint8_t command, const uint8_t* data, int count) = 0;
    // Back to the power-up state (time keeps running).
    virtual void reset() = 0;
    // Integrates the module's motion up to time t (never backwards).
    void advanceTo(Micros t);
    Micros time() const { return time_; }
    // A copy of the module in its present state (the explorer forks paths).
    virtual std::unique_ptr<SimModule> clone() const = 0;
    // Appends the bytes of every part of the state that can change what the
    // module does next; its time counts only while it moves, as its offset
    // from now.  Equal bytes: the same future.
    void appendState(std::string& out, Micros now) const;

protected:
    // One step of dt seconds.
    virtual void step(double dt) = 0;
    // True when stepping would change nothing, so time may jump.
    virtual bool idle() const = 0;
    // The type item: type code, then the firmware byte.
    void appendType(std::vector<uint8_t>& reply) const;
    virtual void appendFields(std::string& out) const = 0;
    template <typename T>
    static void Put(std::string& out, const T& v) {
        out.append(reinterpret_cast<const char*>(&v), sizeof v);
    }

private:
    Micros time_ = 0;
};

std::unique_ptr<SimModule> MakeModule(int typeCode);

// A module on the master's network: copied whole when the master is.
class ModuleSlot {
public:
    explicit ModuleSlot(std::unique_ptr<SimModule> m) : m_(std::move(m)) {}
    ModuleSlot(const ModuleSlot& o) : m_(o.m_->clone()) {}
    ModuleSlot& operator=(const ModuleSlot& o) {
        if (this != &o) m_ = o.m_->clone();
        return *this;
    }
    ModuleSlot(ModuleSlot&&) = default;
    ModuleSlot& operator=(ModuleSlot&&) = default;
    SimModule* operator->() const { return m_.get(); }
    SimModule* get() const { return m_.get(); }

private:
    std::unique_ptr<SimModule> m_;
};

// Positions a module reports are 32-bit two's complement of its counter.
int32_t Wrap32(int64_t value);
void AppendLE32(std::vector<uint8_t>& out, int32_t value);

// ---------------------------------------------------------------------------

// A servo motor with an incremental encoder.  Velocity in counts per second;
// acceleration in counts per second per hundredth of a second (100 counts/s²
// per unit); a PWM value drives the motor at 50 counts/s per unit.
class ServoModule : public SimModule {
public:
    std::unique_ptr<SimModule> clone() const override { return std::make_unique<ServoModule>(*this); }
    static constexpr double kAccelUnit = 100.0;      // counts/s² per unit
    static constexpr double kPwmUnit = 50.0;         // counts/s per PWM unit
    static constexpr int64_t kLimitPosition = 200000;   // limit switches at ∓ this
    static constexpr int64_t kIndexSpacing = 2000;      // an index pulse every so many counts

    enum Status : uint8_t {
        MoveDone = ServoStatus::kMoveDone,
        Overcurrent = ServoStatus::kOvercurrent,
        PowerOn = ServoStatus::kPowerOn,
        PositionError = ServoStatus::kPositionError,
        Limit1 = ServoStatus::kLimit1,
        Limit2 = ServoStatus::kLimit2,
        Homing = ServoStatus::kHoming,
    };

    ServoModule() { reset(); }
    int typeCode() const override { return kServoType; }
    uint8_t firmwareVersion() const override { return 0x0B; }
    std::vector<uint8_t> handle(uint8_t command, const uint8_t* data, int count) override;
    void reset() override;

    uint8_t statusByte() const;
    int32_t position() const;        // as reported
    int32_t homePosition() const;    // as reported
    double velocity() const { return vel_; }
    bool amplifierOn() const { return amp_; }
    const uint16_t* gains() const { return gains_; }
    // Moves the motor shaft by hand (tests, demonstrations).
    void setPhysicalPosition(double p) { pos_ = p; }

protected:
    void step(double dt) override;
    bool idle() const override;
    void appendFields(std::string& out) const override;

private:
    enum class Mode { Hold, Position, Velocity, Pwm, Decelerate };
    void move(const uint8_t* d, int n);
    void stop(uint8_t control);
    void startHoming(uint8_t control);
    void checkHoming(double before);
    void applyStopAction(uint8_t control);
    bool limit1() const { return pos_ <= double(-kLimitPosition); }
    bool limit2() const { return pos_ >= double(kLimitPosition); }

    double pos_ = 0, vel_ = 0;       // physical counts, counts/s
    double offset_ = 0;              // reported = physical - offset
    double target_ = 0;              // physical target of a position move
    double cmdVel_ = 0, cmdAcc_ = 0; // counts/s, counts/s²
    int32_t loadedPos_ = 0;
    uint32_t loadedVel_ = 0, loadedAcc_ = 0;
    uint8_t pwm_ = 0;
    bool reverse_ = false;           // 0x40 of the last Move: reverse, or relative
    Mode mode_ = Mode::Hold;
    bool amp_ = true;
    bool moveDone_ = true;
    bool homing_ = false;
    uint8_t homeControl_ = 0;
    double homePhys_ = 0;
    uint16_t gains_[9] = {};
};

// A stepper motor.  Speed bytes count 25 steps/s and acceleration bytes
// 250 steps/s², both times the speed factor (1, 2, 4 or 8) of SetParam.
class StepperModule : public SimModule {
public:
    std::unique_ptr<SimModule> clone() const override { return std::make_unique<StepperModule>(*this); }
    static constexpr double kSpeedUnit = 25.0;
    static constexpr double kAccelUnit = 250.0;
    static constexpr int64_t kLimitPosition = 200000;
    static constexpr int64_t kHomeSwitchFrom = 1000;   // home switch high from here ...
    static constexpr int64_t kHomeSwitchTo = 1099;     // ... to here (physical steps)

    enum Status : uint8_t {
        Moving = StepStatus::kMoving,
        AmpEnabled = StepStatus::kAmpEnabled,
        PowerOn = StepStatus::kPowerOn,
        AtSpeed = StepStatus::kAtSpeed,
        Homing = StepStatus::kHoming,
    };
    enum Input : uint8_t {
        EStop = StepInput::kEStop,
        Input1 = StepInput::kInput1,
        Input2 = StepInput::kInput2,
        Limit1 = StepInput::kLimit1,
        Limit2 = StepInput::kLimit2,
        HomeSwitch = StepInput::kHomeSwitch,
    };

    StepperModule() { reset(); }
    int typeCode() const override { return kStepperType; }
    uint8_t firmwareVersion() const override { return 0x0C; }
    std::vector<uint8_t> handle(uint8_t command, const uint8_t* data, int count) override;
    void reset() override;

    uint8_t statusByte() const;
    uint8_t inputByte() const;
    int32_t position() const;
    int32_t homePosition() const;
    double velocity() const { return vel_; }
    int speedFactor() const { return factor_; }
    uint8_t outputs() const { return outputs_; }
    // SetParam's minimum speed, run and hold currents and thermal limit (stored only).
    uint8_t minSpeed() const { return minSpeed_; }
    uint8_t runCurrent() const { return runCurrent_; }
    uint8_t holdCurrent() const { return holdCurrent_; }
    uint8_t thermalLimit() const { return thermalLimit_; }
    // The inputs held from outside, as bits of the input byte: E-Stop, Input 1
    // and Input 2, and Limit 1, Limit 2 and the home switch held high as if
    // the axis stood on them (they then stop motion and end homing as the
    // switches the position reaches do).  A reset of the master leaves them.
    void setExternalInputs(uint8_t bits) { external_ = bits & kOutsideInputs; }
    uint8_t externalInputs() const { return external_; }
    static constexpr uint8_t kOutsideInputs = EStop | Input1 | Input2 | Limit1 | Limit2 | HomeSwitch;

protected:
    void step(double dt) override;
    bool idle() const override;
    void appendFields(std::string& out) const override;

private:
    enum class Mode { Hold, Position, Velocity, Decelerate };
    void move(const uint8_t* d, int n);
    void stopMotion(bool abrupt);
    void checkHoming();
    bool limit1() const { return (external_ & Limit1) || pos_ <= double(-kLimitPosition); }
    bool limit2() const { return (external_ & Limit2) || pos_ >= double(kLimitPosition); }
    bool homeSwitch() const;

    double pos_ = 0, vel_ = 0, offset_ = 0, target_ = 0;
    double cmdSpeed_ = 0, cmdAcc_ = 0;
    Mode mode_ = Mode::Hold;
    bool amp_ = true;
    bool homing_ = false;
    uint8_t homeControl_ = 0;
    double homePhys_ = 0;
    uint8_t external_ = 0;
    uint8_t params_ = 0x03;          // SetParam control byte
    int factor_ = 1;
    uint8_t minSpeed_ = 1, runCurrent_ = 20, holdCurrent_ = 10, thermalLimit_ = 0;
    uint8_t outputs_ = 0x0E;
    uint8_t speedByte_ = 0, accelByte_ = 0;
    bool reverse_ = false;
};

// Twelve bits that are inputs or outputs, and two PWM outputs.  An output bit
// reads back what it drives; an input bit reads the external level (low
// unless a test sets it).
class IoModule : public SimModule {
public:
    std::unique_ptr<SimModule> clone() const override { return std::make_unique<IoModule>(*this); }
    IoModule() { reset(); }
    int typeCode() const override { return kIoType; }
    uint8_t firmwareVersion() const override { return 0x0A; }
    std::vector<uint8_t> handle(uint8_t command, const uint8_t* data, int count) override;
    void reset() override;

    // SetOutputs of the master: set (true) ORs mask in, clear ANDs it.
    void setOutputs(bool set, uint16_t mask);
    uint16_t inputBits() const;
    uint16_t directions() const { return inputMask_; }   // 1 = input
    uint16_t outputLatch() const { return latch_; }
    uint8_t pwm(int which) const { return pwm_[which & 1]; }
    void setExternalLevels(uint16_t bits) { external_ = bits & 0x0FFF; }
    uint16_t externalLevels() const { return external_; }

protected:
    void step(double) override {}
    bool idle() const override { return true; }
    void appendFields(std::string& out) const override;

private:
    uint16_t inputMask_ = 0x0FFF;
    uint16_t latch_ = 0;
    uint16_t external_ = 0;
    uint8_t pwm_[2] = {0, 0};
};

// A module of any other type: it answers its status byte and its type.
class BareModule : public SimModule {
public:
    std::unique_ptr<SimModule> clone() const override { return std::make_unique<BareModule>(*this); }
    explicit BareModule(int type) : type_(type) {}
    int typeCode() const override { return type_; }
    uint8_t firmwareVersion() const override { return 0x01; }
    std::vector<uint8_t> handle(uint8_t command, const uint8_t* data, int count) override;
    void reset() override {}

protected:
    void step(double) override {}
    bool idle() const override { return true; }
    void appendFields(std::string& out) const override { Put(out, type_); }

private:
    int type_;
};

}  // namespace sim
