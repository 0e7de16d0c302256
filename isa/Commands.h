#pragma once
// The command boxes' lists, in combo box order, as plain arrays for the
// program text, which names commands by these words.  They are the names of
// the command descriptions (isa/Describe.h), which the window's command boxes
// list; a test keeps the two alike.

#include "isa/Vocabulary.h"

inline constexpr const char* kMasterCommands[17] = {
    "GoTo", "Call", "Return", "If-GoTo", "StopProgram", "Print", "SetTimer", "GetStatus", "MonitorSub",
    "Delay", "WaitFor", "ClearKey", "SetCounter", "CountDown", "TavoInit", "Reset", "ChangeBaud"};

inline constexpr const char* kServoCommands[9] = {
    "Move", "Stop", "SetGain", "ResetPosition", "StartHoming", "GetStatus", "ClearStatBits", "If-GoTo", "WaitFor"};

inline constexpr const char* kStepCommands[9] = {
    "Move", "Stop", "SetParam", "SetOutputs", "ResetPosition", "StartHoming", "GetStatus", "If-GoTo", "WaitFor"};

inline constexpr const char* kIoCommands[6] = {"MakeOutputs", "SetOutputs", "SetPWMs", "GetStatus", "If-GoTo", "WaitFor"};
