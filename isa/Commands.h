#pragma once
// Command and condition lists of the four command classes, in combo box order.

#include "isa/Vocabulary.h"

inline constexpr const char* kMasterCommands[17] = {
    "GoTo", "Call", "Return", "If-GoTo", "StopProgram", "Print", "SetTimer", "GetStatus", "MonitorSub",
    "Delay", "WaitFor", "ClearKey", "SetCounter", "CountDown", "TavoInit", "Reset", "ChangeBaud"};

inline constexpr const char* kServoCommands[9] = {
    "Move", "Stop", "SetGain", "ResetPosition", "StartHoming", "GetStatus", "ClearStatBits", "If-GoTo", "WaitFor"};

inline constexpr const char* kServoConditions[14] = {
    "Move Done", "Move NOT Done", "Power On", "Power NOT On", "Overcurrent", "NO Overcurrent",
    "Position Error", "NO Position Error", "Limit1 HIGH", "Limit1 LO", "Limit2 HIGH", "Limit2 LO",
    "Home In Progress", "Homing Done"};

inline constexpr const char* kStepCommands[9] = {
    "Move", "Stop", "SetParam", "SetOutputs", "ResetPosition", "StartHoming", "GetStatus", "If-GoTo", "WaitFor"};

inline constexpr const char* kStepConditions[22] = {
    "Moving", "Not Moving", "Power On", "Power Off", "Amp Enabled", "Amp Disabled", "At Speed", "NOT At Speed",
    "Home In Progress", "Homing Done", "Limit1 HI", "Limit1 LO", "Limit2 HI", "Limit2 LO", "Home Sw. HI",
    "Home Sw. LO", "E-Stop HI", "E-Stop LO", "Input1 HI", "Input1 LO", "Input2 HI", "Input2 LO"};

inline constexpr const char* kIoCommands[6] = {"MakeOutputs", "SetOutputs", "SetPWMs", "GetStatus", "If-GoTo", "WaitFor"};
